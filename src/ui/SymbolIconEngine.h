#pragma once

#include <QColor>
#include <QIconEngine>
#include <QPainterPath>

namespace tarnwick {

/// A symbol drawn on a 24-unit square: lines stroked with a round pen, areas filled. Colours come
/// from the palette at paint time, so the picture follows dark themes and greys out when disabled.
struct SymbolDrawing
{
    QPainterPath lines;
    QPainterPath areas;
    QColor areaColour; // invalid: the text colour; a fixed colour still greys out when disabled
};

/// Paints one SymbolDrawing at any size and device pixel ratio, in the application palette's
/// text colour for the icon's mode.
class SymbolIconEngine final : public QIconEngine
{
public:
    explicit SymbolIconEngine(SymbolDrawing drawing);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    QString key() const override;
    bool isNull() override { return false; }

private:
    SymbolDrawing m_drawing;
};

} // namespace tarnwick
