#pragma once

#include "core/ScriptBlock.h"
#include "core/Take.h"
#include "core/VoiceSegment.h"

#include <QFont>
#include <QList>
#include <QRect>
#include <QStringList>

#include <optional>

class QPainter;
class QPalette;
class QStyleOptionButton;
class QStyleOptionToolButton;
class QWidget;

namespace tarnwick {

class Studio;

/// What a segment's cell shows, worked out from the studio once per layout.
struct SegmentState
{
    QList<Take> takes;           // oldest first
    std::optional<Take> current; // the chosen take, else the oldest
    std::optional<Take> shown;   // on the take button: the one playing, else `current`
    qsizetype shownNumber = 0;   // 1-based position of `shown` in `takes`
    bool recording = false;      // this segment is the one being recorded
    bool selected = false;       // this segment is the studio's selected recording

    static SegmentState of(const Studio &studio, const VoiceSegment &segment);
};

/// One button of a segment's action row, alike in the painted and the live cell.
struct CellButton
{
    enum Kind { record, take, takesMenu, newTake };
    Kind kind = record;
    QRect rect;      // in the cell's coordinates
    QString text;    // as shown
    QString name;    // what the button is called, for accessibility
    QString icon;    // a symbol name
    QString toolTip;
    bool enabled = true;
    bool chosen = false; // the chosen take: tinted green
};

/// Where one segment's text, status line and controls sit.
struct SegmentLayout
{
    VoiceSegment segment;
    SegmentState state;
    QRect frame;           // the rounded frame
    QStringList textLines; // marked blocks only: the segment's text, wrapped
    QRect text;
    QRect statusLine;
    QRect action;          // the row of buttons, or the recording strip
    QString note;          // a voice status shown instead of the record button
    QList<CellButton> buttons;

    const CellButton *buttonAt(QPoint point) const;
};

/// The geometry of every text and button of a row's audio cell, in the cell's coordinates. The
/// table draws other rows from it and the chosen row's live widgets follow it, so both look and
/// answer alike and a row keeps its height when chosen.
struct AudioCellLayout
{
    static constexpr int actionHeight = 32; // the recording strip's height, kept by every action row

    QFont font; // the table's
    int width = 0;
    bool marked = false;
    QStringList issueLines; // the marker problem, wrapped; then there are no segments
    QList<SegmentLayout> segments;
    int height = 0;

    /// `segments` and `issue` are the block's, worked out once by the caller.
    static AudioCellLayout of(const Studio &studio, const ScriptBlock &block, const QList<VoiceSegment> &segments,
                              const std::optional<QString> &issue, int width, const QFont &base);

    /// The segment under a point: the one whose frame holds it, else the nearest one; -1 when none.
    qsizetype segmentAt(QPoint point) const;

    /// Draws the cell at the painter's origin; with `live`, only what has no widget of its own.
    void paint(QPainter &painter, const QPalette &palette, const QWidget *widget, bool live) const;

    static QFont textFont(const QFont &base);
    static QFont captionFont(const QFont &base, QFont::Weight weight);
    /// The button's own colours: green for the chosen take.
    static QPalette buttonPalette(const QPalette &base, const CellButton &button);
    /// How a takes menu button is drawn: its number with the pull-down arrow.
    static void addMenuArrow(QStyleOptionToolButton &option);
};

/// m:ss of a duration in seconds.
QString minutesAndSeconds(double seconds);

} // namespace tarnwick
