#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;

namespace tarnwick {

/// The script text of one cell of the selected row as live labels, so it can be selected and
/// copied with the mouse; other rows are painted. Shows the lines the table paints: each piece
/// (a marked segment, or the whole text) wrapped to the width, at most `lineLimit` lines of it
/// (0: all), pieces stacked with a divider between them. Transparent: the table's row
/// background and tint show through.
class CellText final : public QWidget
{
    Q_OBJECT

public:
    CellText(const QStringList &pieces, const QFont &font, int lineLimit, QWidget *parent = nullptr);

    /// What the mouse has selected, over all pieces; empty when nothing is.
    QString selectedText() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    static constexpr int marginX = 7;
    static constexpr int marginY = 6;
    static constexpr int segmentSpacing = 8;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOut(int width) const; // fills the labels with the lines for `width`

    QStringList m_pieces;
    int m_lineLimit;
    mutable int m_laidOutWidth = -1;
    QList<QLabel *> m_labels;
};

} // namespace tarnwick
