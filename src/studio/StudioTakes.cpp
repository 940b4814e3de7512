// Playing, choosing and deleting takes, and the status of a block that rests on them.

#include "studio/Studio.h"

#include "audio/AudioFile.h"
#include "core/FileAccess.h"
#include "core/StudioError.h"
#include "studio/ListenThrough.h"

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

    const qsizetype position = found - m_takes.cbegin();
    const Take deleted = *found;
    QList<Take> remaining = m_takes;
    remaining.removeAt(position);
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
        // Undo is offered even when the trash refuses: the file then stays where it was.
        setLastDeletion(DeletedTake{deleted, position, {}});
        if (files::exists(location)) {
            const QString trashed = m_services.trash->moveToTrash(location);
            m_lastDeletion->trashedPath = trashed;
        }
        setMessage(u"Дубль перемещён в Корзину"_s);
    });
}

void Studio::undoDelete()
{
    if (locked() || !m_store || !m_lastDeletion)
        return;
    const DeletedTake deleted = *m_lastDeletion;
    attempt([&] {
        const QString location = m_store->audioURL(deleted.take);
        // The file may also have been put back by hand, from the file manager.
        const bool inRecordings = files::exists(location);
        if (!inRecordings && (deleted.trashedPath.isEmpty() || !files::exists(deleted.trashedPath))) {
            setLastDeletion(std::nullopt);
            throw StudioError(u"Файла «"_s + deleted.take.fileName
                              + u"» больше нет в Корзине: дубль не восстановить"_s);
        }
        QList<Take> restored = m_takes;
        for (Take &other : restored) {
            if (deleted.take.selected && other.blockID == deleted.take.blockID)
                other.selected = false; // the mark handed on at the delete comes back
        }
        restored.insert(std::min(deleted.position, restored.size()), deleted.take);
        // The file first: a failed manifest save then leaves it in Recordings, and a second
        // undo finds it there.
        if (!inRecordings)
            m_services.trash->restore(deleted.trashedPath, location);
        m_store->saveManifest(restored);
        setTakes(std::move(restored));
        setMessage(u"Дубль восстановлен"_s);
    });
}

void Studio::listenThrough()
{
    m_listenThrough->start();
}

void Studio::stopListening()
{
    m_listenThrough->stop();
}

bool Studio::listening() const
{
    return m_listenThrough->listening();
}

PlaybackRegion Studio::playbackRegion(const Take &take) const
{
    PlaybackRegion region;
    if (const std::optional<TrimPoints> points = trimPoints(take.id)) {
        region.startSeconds = points->in;
        region.endSeconds = points->out;
    }
    // Unmeasured takes play as recorded rather than at a guessed gain.
    const std::optional<TakeFigures> measured = figures(take.id);
    if (measured && measured->integratedLUFS)
        region.gainDB = gainFor(exportPreset(), *measured->integratedLUFS, measured->truePeakDBTP).gainDB;
    return region;
}

LoudnessPreset Studio::exportPreset() const
{
    return loudnessPresetNamed(m_services.defaults->text(u"exportPreset"_s).value_or(QString()))
        .value_or(LoudnessPreset::r128);
}

void Studio::setExportPreset(LoudnessPreset preset)
{
    m_services.defaults->setText(u"exportPreset"_s, loudnessPresetName(preset));
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

BlockStatus Studio::status(const ScriptBlock &block) const
{
    // The facts of the scenario's own blocks are worked out once; a block from elsewhere (a
    // stale cell) is worked out now, with the same rules.
    const auto cached = m_blockFacts.constFind(block.id);
    const BlockFacts facts = cached != m_blockFacts.cend() && cached->block == block ? *cached : factsOf(block);
    const auto anySegment = [&facts](const std::function<bool(const VoiceSegment &)> &test) {
        return std::any_of(facts.segments.cbegin(), facts.segments.cend(), test);
    };
    return BlockStatus::of(StatusFacts{
        .faultyMarkup = facts.faultyMarkup,
        .recordingHere = m_audio->recording()
            && anySegment([this](const VoiceSegment &segment) { return segment.id == m_selectedRecordingID; }),
        .marked = facts.hasMarkers,
        .everySegmentChosen = std::all_of(facts.segments.cbegin(), facts.segments.cend(),
                                          [this](const VoiceSegment &segment) { return hasSelectedTake(segment.id); }),
        .anySegmentTake = anySegment([this](const VoiceSegment &segment) { return hasTake(segment.id); }),
        .blockChosen = hasSelectedTake(block.id),
        .blockTake = hasTake(block.id),
        .voiceStatus = block.voiceStatus,
    });
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
    return std::count_if(m_blocks.cbegin(), m_blocks.cend(),
                         [this](const ScriptBlock &block) { return isDone(status(block)); });
}

} // namespace tarnwick
