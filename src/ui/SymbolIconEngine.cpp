#include "ui/SymbolIconEngine.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

constexpr qreal gridSide = 24.0;
constexpr qreal lineWidth = 2.0;

// Symbols sit on buttons and in menus, so they take the colour those widgets give their text.
QColor textColour(const QPalette &palette, QIcon::Mode mode)
{
    switch (mode) {
    case QIcon::Normal:
    case QIcon::Active:
        return palette.color(QPalette::Active, QPalette::ButtonText);
    case QIcon::Disabled:
        return palette.color(QPalette::Disabled, QPalette::ButtonText);
    case QIcon::Selected:
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    }
    return palette.color(QPalette::ButtonText);
}

} // namespace

SymbolIconEngine::SymbolIconEngine(SymbolDrawing drawing)
    : m_drawing(std::move(drawing))
{
}

void SymbolIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State)
{
    // Read at paint time, not when the icon was made, so a palette change reaches existing buttons.
    const QColor text = textColour(QGuiApplication::palette(), mode);
    const qreal side = std::min(rect.width(), rect.height());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
    painter->scale(side / gridSide, side / gridSide);

    painter->setPen(QPen(text, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(m_drawing.lines);

    const bool ownColour = m_drawing.areaColour.isValid() && mode != QIcon::Disabled;
    painter->setPen(Qt::NoPen);
    painter->setBrush(ownColour ? m_drawing.areaColour : text);
    painter->drawPath(m_drawing.areas);
    painter->restore();
}

QPixmap SymbolIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    if (size.isEmpty())
        return {};
    QPixmap result(size);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return result;
}

QIconEngine *SymbolIconEngine::clone() const { return new SymbolIconEngine(m_drawing); }

QString SymbolIconEngine::key() const { return u"tarnwick-symbol"_s; }

} // namespace tarnwick
