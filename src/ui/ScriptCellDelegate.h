#pragma once

#include "studio/BlockStatus.h"
#include "ui/AudioCellLayout.h"

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

#include <optional>

class QTableView;

namespace tarnwick {

class ScriptTableModel;
class ScriptFilterModel;
class Studio;

/// Draws the table's cells: wrapped script text within the line limit, the status dot, and the
/// audio column of rows other than the selected one, whose live controls are a widget.
class ScriptCellDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    ScriptCellDelegate(ScriptTableModel &model, ScriptFilterModel &filter, QTableView &table);

    /// 0 means every line.
    void setLineLimit(int lines) { m_lineLimit = lines; }

    /// The colour of a status's dot.
    static QColor statusColour(const BlockStatus &status, const QPalette &palette);
    /// A text cut into the lines it takes in `width`, the last one elided when over `lineLimit`.
    static QStringList wrap(const QString &text, const QFont &font, int width, int lineLimit);
    /// A status text as its cell shows it in a column `width` wide: on two lines at most.
    static QStringList statusLines(const QString &status, const QFont &base, int width);
    /// The flags of the row's chosen takes under its status, with a warning sign.
    static QStringList flagLines(const QString &flags, const QFont &base, int width);
    /// Where everything of a row's audio cell sits, for a cell `width` wide.
    AudioCellLayout audioLayout(int sourceRow, int width, const QFont &font) const;

    /// A text cell's pieces as shown: one per marked segment of a voice text, or the text whole.
    QStringList textPieces(const QModelIndex &source) const;
    /// The font a text cell is drawn in.
    static QFont textFont(const QModelIndex &source, const QFont &base);
    int lineLimit() const { return m_lineLimit; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    /// A painted take button's tooltip, as the live one has.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int textHeight(const QModelIndex &source, const QFont &font, int width) const;
    void paintText(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &source,
                   bool live) const;
    void paintAudio(QPainter *painter, const QStyleOptionViewItem &option, int sourceRow) const;

    ScriptTableModel &m_model;
    ScriptFilterModel &m_filter;
    QTableView &m_table;
    QObject *m_viewport; // watched for first clicks on painted buttons
    int m_lineLimit = 0;
    QPersistentModelIndex m_pressedPicture; // a painted audio cell under a primary press
};

} // namespace tarnwick
