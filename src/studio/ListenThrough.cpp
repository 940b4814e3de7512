#include "studio/ListenThrough.h"

#include "studio/Studio.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// "3" for a block without markers, "3 (intro)" for a marked segment.
QString nameOf(const ScriptBlock &block, const VoiceSegment &segment)
{
    return segment.id == block.id ? block.number : block.number + u" ("_s + segment.label + u')';
}

} // namespace

ListenThrough::ListenThrough(Studio &studio)
    : m_studio(studio)
{
    connect(&studio, &Studio::audioStateChanged, this, &ListenThrough::playbackChanged);
    // The user choosing, recording or changing anything ends it; its own choosing does not.
    for (auto signal : {&Studio::selectedRecordingIDChanged, &Studio::blocksChanged, &Studio::takesChanged,
                        &Studio::lockedChanged})
        connect(&studio, signal, this, &ListenThrough::interrupted);
}

ListenThrough::~ListenThrough() = default;

void ListenThrough::start()
{
    if (m_listening || m_studio.locked() || !m_studio.store())
        return;
    const QList<ScriptBlock> &blocks = m_studio.blocks();
    const auto from = std::find_if(blocks.cbegin(), blocks.cend(), [this](const ScriptBlock &block) {
        return block.id == m_studio.selectedBlockID();
    });
    if (from == blocks.cend())
        return;
    std::deque<Step> steps;
    bool anyTake = false;
    for (auto block = from; block != blocks.cend(); ++block) {
        for (const VoiceSegment &segment : block->voiceSegments()) {
            steps.push_back({*block, segment, m_studio.selectedTake(segment.id)});
            anyTake = anyTake || steps.back().take.has_value();
        }
    }
    if (!anyTake) {
        m_studio.refuse(u"Нет выбранных дублей от блока "_s + from->number + u" до конца сценария"_s);
        return;
    }
    m_steps = std::move(steps);
    m_skipped.clear();
    setListening(true);
    m_studio.setMessage(u"Идёт прослушивание подряд: пробел или Esc остановит его"_s);
    playNext();
}

void ListenThrough::stop()
{
    if (m_listening)
        finish(u"Прослушивание остановлено"_s);
}

void ListenThrough::playNext()
{
    while (!m_steps.empty() && !m_steps.front().take) {
        m_skipped.append(nameOf(m_steps.front().block, m_steps.front().segment));
        m_steps.pop_front();
    }
    if (m_steps.empty()) {
        finish(u"Прослушивание окончено"_s);
        return;
    }
    const Step step = m_steps.front();
    m_steps.pop_front();
    m_acting = true;
    m_studio.setSelection(step.block.id, step.segment.id);
    const bool playing = m_studio.attempt([&] {
        m_studio.audio().play(*step.take, m_studio.store()->audioURL(*step.take),
                              m_studio.playbackRegion(*step.take));
    });
    m_acting = false;
    if (!playing) {
        // The status line holds the error; the takes after it are not played.
        m_steps.clear();
        setListening(false);
        return;
    }
    m_playing = step.take;
}

void ListenThrough::playbackChanged()
{
    if (!m_listening || m_acting)
        return;
    const std::optional<QUuid> now = m_studio.playingID();
    if (m_playing && now == m_playing->id)
        return;
    if (now || !m_playing) {
        finish(u"Прослушивание остановлено"_s); // something else plays or records now
        return;
    }
    m_playing.reset();
    const bool more = std::any_of(m_steps.cbegin(), m_steps.cend(), [](const Step &step) { return step.take; });
    if (!more) {
        playNext(); // names the skipped segments at the end and finishes
        return;
    }
    m_gapTimer = m_studio.audio().createTimer(gap);
    const QPointer<AudioTimer> timer = m_gapTimer.get();
    connect(
        m_gapTimer.get(), &AudioTimer::timeout, this,
        [this, timer] {
            if (!timer || timer != m_gapTimer.get())
                return;
            m_gapTimer.reset();
            playNext();
        },
        Qt::QueuedConnection);
}

void ListenThrough::interrupted()
{
    if (m_listening && !m_acting)
        stop();
}

void ListenThrough::finish(const QString &summary)
{
    m_gapTimer.reset();
    m_steps.clear();
    if (m_playing && m_studio.playingID() == m_playing->id) {
        m_acting = true;
        m_studio.audio().stopPlayback();
        m_acting = false;
    }
    m_playing.reset();
    setListening(false);
    if (m_skipped.isEmpty()) {
        m_studio.setMessage(summary);
        return;
    }
    m_studio.setMessage(summary + u". Пропущены реплики без выбранного дубля: "_s + m_skipped.join(u", "_s),
                        {Outcome::Result::done, {}, true});
}

void ListenThrough::setListening(bool listening)
{
    if (m_listening == listening)
        return;
    m_listening = listening;
    emit listeningChanged();
}

} // namespace tarnwick
