// Playing, choosing and deleting takes, and the status of a block that rests on them.

#include "studio/Studio.h"

#include "audio/AudioFile.h"
#include "core/FileAccess.h"
#include "core/StudioError.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarnwick {

void Studio::togglePlayback(const Take &take)
{
    if (locked() || !m_store)
        return;
    attempt([&] { m_audio->togglePlayback(take, m_store->audioURL(take)); });
}

void Studio::playLatestTake()
{
    const QList<Take> segmentTakes = takes(m_selectedRecordingID);
    if (!segmentTakes.isEmpty())
        togglePlayback(segmentTakes.constLast()); // oldest first
}

std::optional<double> Studio::takeDuration(const Take &take) const
{
    if (const auto known = m_durations.constFind(take.id); known != m_durations.cend())
        return *known;
    std::optional<double> seconds;
    if (m_store) {
        try {
            seconds = audioFileDuration(m_store->audioURL(take));
        } catch (const StudioError &) {
            // a bad file name has no length to show; playing it says why
        }
    }
    m_durations.insert(take.id, seconds);
    return seconds;
}

void Studio::select(const Take &take)
{
    if (locked() || !m_store)
        return;
    QList<Take> updated = m_takes;
    for (Take &other : updated) {
        if (other.blockID == take.blockID)
            other.selected = other.id == take.id;
    }
    attempt([&] {
        m_store->saveManifest(updated);
        setTakes(std::move(updated));
        setMessage(u"Лучший дубль выбран"_s);
    });
}

void Studio::deleteTake(const Take &take)
{
    if (locked() || !m_store)
        return;
    const auto found = std::find_if(m_takes.cbegin(), m_takes.cend(),
                                    [&](const Take &other) { return other.id == take.id; });
    if (found == m_takes.cend())
        return;
    m_audio->stopPlayback();

    QList<Take> remaining = m_takes;
    remaining.removeAt(found - m_takes.cbegin());
    const bool stillChosen = std::any_of(remaining.cbegin(), remaining.cend(), [&](const Take &other) {
        return other.blockID == take.blockID && other.selected;
    });
    if (!stillChosen) {
        // The mark goes to the earliest committed take left of that segment.
        const auto heir = std::find_if(remaining.begin(), remaining.end(),
                                       [&](const Take &other) { return other.blockID == take.blockID; });
        if (heir != remaining.end())
            heir->selected = true;
    }
    attempt([&] {
        const QString location = m_store->audioURL(take);
        m_store->saveManifest(remaining);
        setTakes(std::move(remaining));
        if (files::exists(location))
            m_services.trash->moveToTrash(location);
        setMessage(u"Дубль перемещён в Корзину"_s);
    });
}

void Studio::removeTakes(const QList<Take> &group, const ProjectStore &store)
{
    m_audio->stopPlayback();
    QList<Take> remaining;
    for (const Take &take : m_takes) {
        if (!group.contains(take))
            remaining.append(take);
    }
    store.saveManifest(remaining);
    setTakes(std::move(remaining));
    for (const Take &take : group) {
        try {
            const QString location = store.audioURL(take);
            if (files::exists(location))
                m_services.trash->moveToTrash(location);
        } catch (const StudioError &) {
            // The take is out of the manifest; a file that will not move stays in Recordings/.
        }
    }
}

// --- status and take queries ------------------------------------------------------------

Studio::BlockFacts Studio::factsOf(const ScriptBlock &block) const
{
    BlockFacts facts{block, block.voiceSegments(), false, block.voiceMarkerIssue().has_value()};
    facts.hasMarkers = facts.segments.constFirst().id.startsWith(voicePrefix);
    return facts;
}

QString Studio::status(const ScriptBlock &block) const
{
    // The facts of the scenario's own blocks are worked out once; a block from elsewhere (a
    // stale cell) is worked out now, with the same rules.
    const auto cached = m_blockFacts.constFind(block.id);
    const BlockFacts facts = cached != m_blockFacts.cend() && cached->block == block ? *cached : factsOf(block);

    if (facts.faultyMarkup)
        return u"Ошибка разметки"_s;
    if (m_audio->recording()) {
        for (const VoiceSegment &segment : facts.segments) {
            if (segment.id == m_selectedRecordingID)
                return u"Запись"_s;
        }
    }
    if (facts.hasMarkers) {
        const bool allChosen = std::all_of(facts.segments.cbegin(), facts.segments.cend(),
                                           [this](const VoiceSegment &segment) { return hasSelectedTake(segment.id); });
        if (allChosen)
            return u"Утверждено"_s;
        const bool anyTake = std::any_of(facts.segments.cbegin(), facts.segments.cend(),
                                         [this](const VoiceSegment &segment) { return hasTake(segment.id); });
        if (anyTake)
            return u"В работе"_s;
    }
    if (hasSelectedTake(block.id))
        return u"Утверждено"_s;
    if (hasTake(block.id))
        return u"Есть дубли"_s;
    if (block.voiceStatus && !block.voiceStatus->isEmpty())
        return *block.voiceStatus;
    return u"Не записано"_s;
}

bool Studio::hasTake(const QString &recordingID) const
{
    return m_takeIndex.contains(recordingID);
}

bool Studio::hasSelectedTake(const QString &recordingID) const
{
    const auto found = m_takeIndex.constFind(recordingID);
    return found != m_takeIndex.cend() && found->firstSelected >= 0;
}

QList<Take> Studio::takes(const QString &recordingID) const
{
    QList<Take> result;
    for (const qsizetype position : m_takeIndex.value(recordingID).positions)
        result.append(m_takes.at(position));
    std::stable_sort(result.begin(), result.end(),
                     [](const Take &a, const Take &b) { return a.createdAt < b.createdAt; });
    return result;
}

std::optional<Take> Studio::selectedTake(const QString &recordingID) const
{
    const auto found = m_takeIndex.constFind(recordingID);
    if (found == m_takeIndex.cend() || found->firstSelected < 0)
        return std::nullopt;
    return m_takes.at(found->firstSelected);
}

qsizetype Studio::doneCount() const
{
    return std::count_if(m_blocks.cbegin(), m_blocks.cend(), [this](const ScriptBlock &block) {
        const QString text = status(block);
        return text == u"Утверждено" || text == u"Озвучено";
    });
}

} // namespace tarnwick
