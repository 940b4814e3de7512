#include "ui/CellText.h"

#include "ui/ScriptCellDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

/// The faint line between two segments, as the table paints it in other rows.
class Divider final : public QWidget
{
public:
    explicit Divider(QWidget *parent)
        : QWidget(parent)
    {
        setFixedHeight(1);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QColor colour = palette().color(QPalette::PlaceholderText);
        colour.setAlphaF(0.4f);
        QPainter(this).fillRect(rect(), colour);
    }
};

} // namespace

CellText::CellText(const QStringList &pieces, const QFont &font, int lineLimit, QWidget *parent)
    : QWidget(parent)
    , m_pieces(pieces)
    , m_lineLimit(lineLimit)
{
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(marginX, marginY, marginX, marginY);
    stack->setSpacing(segmentSpacing);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            stack->addWidget(new Divider(this));
        auto *label = new QLabel(this);
        label->setFont(font);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setContextMenuPolicy(Qt::NoContextMenu); // the cell's own menu opens instead
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // A text selection is drawn in the application's full accent, not in the chosen row's
        // softened one; only these roles are set, every other colour comes from the table.
        QPalette palette;
        const QPalette accent = QApplication::palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Highlight, accent.color(group, QPalette::Highlight));
            palette.setColor(group, QPalette::HighlightedText, accent.color(group, QPalette::HighlightedText));
        }
        label->setPalette(palette);
        stack->addWidget(label);
        m_labels.append(label);
    }
    stack->addStretch(1);
    setAttribute(Qt::WA_TranslucentBackground);
}

void CellText::layOut(int width) const
{
    if (width == m_laidOutWidth)
        return;
    m_laidOutWidth = width;
    const int inner = std::max(width - 2 * marginX, 1);
    for (qsizetype i = 0; i < m_labels.size(); ++i) {
        // The painted lines exactly, so the row keeps its height when it is selected.
        QLabel *label = m_labels.at(i);
        const QString text = ScriptCellDelegate::wrap(m_pieces.at(i), label->font(), inner, m_lineLimit).join(u'\n');
        if (label->text() != text)
            label->setText(text);
    }
}

int CellText::heightForWidth(int width) const
{
    layOut(width);
    int height = 2 * marginY;
    for (qsizetype i = 0; i < m_labels.size(); ++i)
        height += m_labels.at(i)->sizeHint().height() + (i > 0 ? 1 + 2 * segmentSpacing : 0);
    return height;
}

QSize CellText::sizeHint() const
{
    // The table asks before it has sized the cell; the row's height comes from heightForWidth
    // at the column's width instead.
    return {0, 0};
}

void CellText::resizeEvent(QResizeEvent *event)
{
    layOut(width());
    QWidget::resizeEvent(event);
}

QString CellText::selectedText() const
{
    QStringList parts;
    for (const QLabel *label : m_labels) {
        if (label->hasSelectedText())
            parts.append(label->selectedText());
    }
    return parts.join(u'\n');
}

} // namespace tarnwick
