#include "ui/MessageLabel.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace tarnwick {

MessageLabel::MessageLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setMinimumWidth(120);
    setFixedHeight(2 * fontMetrics().lineSpacing() + 2);
}

void MessageLabel::setFullText(const QString &text)
{
    m_fullText = text;
    layOut();
}

void MessageLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    layOut();
}

void MessageLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        setFixedHeight(2 * fontMetrics().lineSpacing() + 2);
        layOut();
    }
}

void MessageLabel::layOut()
{
    const int width = std::max(contentsRect().width(), 1);
    const QString text = QString(m_fullText).replace(u'\n', u' ');
    QTextLayout layout(text, font());
    layout.beginLayout();
    QStringList lines;
    qsizetype rest = 0;
    qsizetype lastStart = 0;
    while (lines.size() < 2) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        lastStart = line.textStart();
        rest = line.textStart() + line.textLength();
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    m_cut = rest < text.size();
    if (m_cut && !lines.isEmpty())
        lines.last() = fontMetrics().elidedText(text.mid(lastStart).simplified(), Qt::ElideRight, width);
    setText(lines.join(u'\n'));
    setToolTip(m_cut ? m_fullText : QString());
}

void MessageLabel::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(u"Копировать сообщение"_s, this,
                   [this] { QGuiApplication::clipboard()->setText(m_fullText); });
    menu.exec(event->globalPos());
}

} // namespace tarnwick
