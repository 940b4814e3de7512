#pragma once

#include "core/ScriptBlock.h"
#include "core/Take.h"
#include "core/VoiceSegment.h"
#include "ui/AudioCellLayout.h"
#include "ui/RightClickMenu.h"

#include <QWidget>

namespace tarnwick {

class Studio;

/// The entries of a segment's context menu, for the number of takes it has.
QList<ContextMenuAction> segmentMenu(Studio &studio, const ScriptBlock &block, const VoiceSegment &segment);
/// The take button's own menu: choose it, or delete it.
QList<ContextMenuAction> takeMenu(Studio &studio, const Take &take);
/// The pull-down of every take of a segment, each with its length.
QList<ContextMenuAction> takesMenu(Studio &studio, const SegmentState &state);

/// What a click on one of a segment's buttons does, in the painted and the live cell alike; a
/// menu opens at `menuAt` (global) with `menuParent`, which outlives it.
void pressCellButton(Studio &studio, const ScriptBlock &block, const SegmentLayout &piece, const CellButton &button,
                     QWidget *menuParent, QPoint menuAt);

/// Where one segment is recorded, listened to and chosen, as live widgets placed where the
/// layout puts them; the audio cell draws everything else. A click anywhere in it chooses the
/// segment.
class SegmentAudioCell final : public QWidget
{
    Q_OBJECT

public:
    SegmentAudioCell(Studio &studio, const ScriptBlock &block, const SegmentLayout &piece, const QFont &font,
                     QWidget *parent);

    const VoiceSegment &segment() const { return m_segment; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void choose();

    Studio &m_studio;
    ScriptBlock m_block;
    VoiceSegment m_segment;
};

/// The audio column of the chosen row: the painted cell's layout with live controls, so the
/// row neither changes its look nor its height when chosen. Built anew whenever the row
/// changes; keeps no state.
class AudioCell final : public QWidget
{
    Q_OBJECT

public:
    AudioCell(Studio &studio, const ScriptBlock &block, QWidget *parent = nullptr);

    const QString &blockID() const { return m_block.id; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override { return {0, 0}; } // the row's height comes from heightForWidth

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    Studio &m_studio;
    ScriptBlock m_block;
    QList<VoiceSegment> m_segments;
    std::optional<QString> m_issue;
    AudioCellLayout m_layout;
};

} // namespace tarnwick
