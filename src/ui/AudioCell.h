#pragma once

#include "core/ScriptBlock.h"
#include "core/Take.h"
#include "core/VoiceSegment.h"

#include <QFrame>

class QMenu;

namespace tarnwick {

class Studio;

/// What a segment's cell shows, worked out from the studio once per build.
struct SegmentState
{
    QList<Take> takes;          // oldest first
    std::optional<Take> current; // the chosen take, else the oldest
    qsizetype currentNumber = 0; // 1-based position of `current` in `takes`
    bool recording = false;      // this segment is the one being recorded
    bool selected = false;       // this segment is the studio's selected recording

    static SegmentState of(const Studio &studio, const VoiceSegment &segment);
};

/// Every command of a segment's context menu, for the number of takes it has.
void fillSegmentMenu(QMenu &menu, Studio &studio, const ScriptBlock &block, const VoiceSegment &segment);

/// Where one segment is recorded, listened to and chosen: its text and state when the block is
/// marked, then a record button, the recording strip or the take controls.
class SegmentAudioCell final : public QFrame
{
    Q_OBJECT

public:
    static constexpr int actionHeight = 32; // the recording strip's height, kept by every action row

    SegmentAudioCell(Studio &studio,
                     const ScriptBlock &block,
                     const VoiceSegment &segment,
                     bool showLabel,
                     QWidget *parent = nullptr);

    const VoiceSegment &segment() const { return m_segment; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QWidget *actionArea();

    Studio &m_studio;
    ScriptBlock m_block;
    VoiceSegment m_segment;
    bool m_showLabel;
    SegmentState m_state;
};

/// The audio column of the selected row: one segment cell per voice segment, or the marker
/// problem in red. Built anew whenever the row changes; keeps no state.
class AudioCell final : public QWidget
{
    Q_OBJECT

public:
    AudioCell(Studio &studio, const ScriptBlock &block, QWidget *parent = nullptr);

    const QString &blockID() const { return m_blockID; }

private:
    QString m_blockID;
};

} // namespace tarnwick
