// Keeping the speaker in the flow: the next line to record, the next block that needs one, and
// the project's folder.

#include "studio/Studio.h"

using namespace Qt::StringLiterals;

namespace tarnwick {

std::optional<ScriptBlock> Studio::blockOfRecording(const QString &recordingID) const
{
    for (const ScriptBlock &block : m_blocks) {
        const QList<VoiceSegment> &segments = m_blockFacts.value(block.id).segments;
        if (block.id == recordingID ||
            std::any_of(segments.cbegin(), segments.cend(),
                        [&](const VoiceSegment &segment) { return segment.id == recordingID; }))
            return block;
    }
    return std::nullopt;
}

std::optional<VoiceSegment> Studio::firstUnchosenSegment(const ScriptBlock &block) const
{
    for (const VoiceSegment &segment : m_blockFacts.value(block.id).segments) {
        if (!hasSelectedTake(segment.id))
            return segment;
    }
    return std::nullopt;
}

/// The first segment without a chosen take after `recordingID`: later in its block, else in the
/// blocks that follow and still need recording.
std::optional<std::pair<ScriptBlock, VoiceSegment>> Studio::segmentAfter(const QString &recordingID) const
{
    const std::optional<ScriptBlock> current = blockOfRecording(recordingID);
    if (!current)
        return std::nullopt;
    bool passed = false;
    for (const VoiceSegment &segment : m_blockFacts.value(current->id).segments) {
        if (passed && !hasSelectedTake(segment.id))
            return std::pair(*current, segment);
        passed = passed || segment.id == recordingID;
    }
    const auto from = std::find_if(m_blocks.cbegin(), m_blocks.cend(),
                                   [&](const ScriptBlock &block) { return block.id == current->id; });
    for (auto block = from + 1; block < m_blocks.cend(); ++block) {
        if (!awaitsTake(status(*block)))
            continue;
        if (const std::optional<VoiceSegment> segment = firstUnchosenSegment(*block))
            return std::pair(*block, *segment);
    }
    return std::nullopt;
}

void Studio::saveAndRecordNext()
{
    if (!m_pendingTake) {
        if (const std::optional<ScriptBlock> block = selectedBlock())
            record(*block);
        return;
    }
    if (!m_audio->recording())
        return; // a failed save: the speaker retries or cancels first
    const QString recordingID = m_pendingTake->blockID;
    stopRecording();
    if (m_pendingTake)
        return;
    const std::optional<std::pair<ScriptBlock, VoiceSegment>> next = segmentAfter(recordingID);
    if (!next) {
        setMessage(u"Дубль сохранён. Дальше записывать нечего"_s);
        return;
    }
    setSelection(next->first.id, next->second.id);
    record(next->first, next->second);
}

void Studio::selectNextBlockToRecord()
{
    if (locked() || m_blocks.isEmpty())
        return;
    const auto selected = std::find_if(m_blocks.cbegin(), m_blocks.cend(), [this](const ScriptBlock &block) {
        return block.id == m_selectedBlockID;
    });
    const qsizetype from = selected == m_blocks.cend() ? -1 : selected - m_blocks.cbegin();
    for (qsizetype step = 1; step <= m_blocks.size(); ++step) {
        const ScriptBlock &block = m_blocks.at((from + step) % m_blocks.size());
        if (!awaitsTake(status(block)))
            continue;
        const std::optional<VoiceSegment> segment = firstUnchosenSegment(block);
        setSelection(block.id, segment ? segment->id : m_blockFacts.value(block.id).segments.constFirst().id);
        m_audio->stopPlayback();
        return;
    }
    setMessage(u"Все блоки записаны"_s);
}

void Studio::showProject(const std::function<bool(const QString &)> &openFolder)
{
    if (m_store && !openFolder(m_store->root()))
        report(u"Не удалось открыть папку «"_s + m_store->root() + u"»"_s);
}

} // namespace tarnwick
