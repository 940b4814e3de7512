#include "core/ExportPlan.h"

#include <QHash>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

constexpr qsizetype namedMissingBlocks = 5;

/// The text of segment `id` in one language; the whole text when that language has no such marker.
QString segmentText(const QString &text, const VoiceSegment &segment, const ScriptBlock &block)
{
    if (!segment.id.startsWith(voicePrefix))
        return text;
    for (const VoiceSegment &other : VoiceSegment::parse(text, block.id, block.number)) {
        if (other.id == segment.id)
            return other.text;
    }
    return text;
}

} // namespace

QString fileNamePart(const QString &text)
{
    QString part = text;
    for (QChar &ch : part) {
        if (!ch.isLetterOrNumber() && ch != u'.' && ch != u'-')
            ch = u'_';
    }
    return part;
}

ExportPlan planExport(const QList<ScriptBlock> &blocks, const QList<Take> &takes)
{
    // Per recording id, its takes oldest first (manifest order on ties) and the first chosen one.
    QHash<QString, QList<Take>> byRecording;
    for (const Take &take : takes)
        byRecording[take.blockID].append(take);
    for (QList<Take> &list : byRecording)
        std::stable_sort(list.begin(), list.end(),
                         [](const Take &a, const Take &b) { return a.createdAt < b.createdAt; });

    ExportPlan plan;
    for (const ScriptBlock &block : blocks) {
        for (const VoiceSegment &segment : block.voiceSegments()) {
            const QList<Take> segmentTakes = byRecording.value(segment.id);
            const auto chosen = std::find_if(segmentTakes.cbegin(), segmentTakes.cend(),
                                             [](const Take &take) { return take.selected; });
            if (chosen == segmentTakes.cend()) {
                plan.missing.append({block, segment.label});
                continue;
            }
            PlannedClip clip;
            clip.block = block;
            clip.segmentID = segment.id;
            clip.segmentLabel = segment.label;
            clip.russian = segmentText(block.russian, segment, block);
            clip.english = segmentText(block.english, segment, block);
            clip.take = *chosen;
            clip.takeNumber = int(chosen - segmentTakes.cbegin()) + 1;
            plan.clips.append(clip);
        }
    }
    // Names sort in script order: the position is padded to the width the count needs.
    const int width = plan.clips.size() > 999 ? 4 : 3;
    for (qsizetype i = 0; i < plan.clips.size(); ++i) {
        PlannedClip &clip = plan.clips[i];
        clip.position = int(i) + 1;
        clip.fileName = u"%1_"_s.arg(clip.position, width, 10, QChar(u'0')) + fileNamePart(clip.block.number);
        if (clip.segmentID.startsWith(voicePrefix))
            clip.fileName += u'_' + fileNamePart(clip.segmentLabel);
        clip.fileName += u".wav"_s;
    }
    return plan;
}

QString missingTakesMessage(const QList<MissingSegment> &missing)
{
    QStringList numbers;
    for (const MissingSegment &segment : missing) {
        if (numbers.size() == namedMissingBlocks)
            break;
        if (numbers.isEmpty() || numbers.constLast() != segment.block.number)
            numbers.append(segment.block.number);
    }
    const bool more = std::any_of(missing.cbegin(), missing.cend(), [&](const MissingSegment &segment) {
        return !numbers.contains(segment.block.number);
    });
    return u"Сегментов без выбранного дубля: "_s + QString::number(missing.size()) + u" (блоки "_s
           + numbers.join(u", "_s) + (more ? u"…"_s : QString())
           + u"). Выберите дубли или разрешите частичный экспорт"_s;
}

} // namespace tarnwick
