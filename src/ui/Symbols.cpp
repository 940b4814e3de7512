#include "ui/Symbols.h"

#include "ui/SymbolIconEngine.h"

#include <QHash>
#include <QPainterPathStroker>

#include <initializer_list>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

// Drawings are on SymbolIconEngine's 24-unit square, with lines 2 units wide.

QPainterPath polyline(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(points));
    return path;
}

QPainterPath line(qreal x1, qreal y1, qreal x2, qreal y2) { return polyline({{x1, y1}, {x2, y2}}); }

QPainterPath polygon(std::initializer_list<QPointF> points)
{
    QPainterPath path = polyline(points);
    path.closeSubpath();
    return path;
}

QPainterPath rounded(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath circle(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath join(std::initializer_list<QPainterPath> parts)
{
    QPainterPath path;
    for (const QPainterPath &part : parts)
        path.addPath(part);
    return path;
}

// The area a line covers, for cutting one shape out of another.
QPainterPath outline(const QPainterPath &line, qreal width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line).simplified();
}

QPainterPath plus(qreal x, qreal y, qreal half)
{
    return join({line(x - half, y, x + half, y), line(x, y - half, x, y + half)});
}

// A capsule on a stand, centred on x.
SymbolDrawing microphone(qreal x, bool filled)
{
    const QPainterPath capsule = rounded(QRectF(x - 3, 2.5, 6, 11.5), 3);
    const QRectF cradle(x - 6.5, 4.5, 13, 13);
    QPainterPath stand;
    stand.arcMoveTo(cradle, 180);
    stand.arcTo(cradle, 180, 180);
    stand.addPath(join({line(x, 17.5, x, 21), line(x - 3.5, 21, x + 3.5, 21)}));
    if (filled)
        return {stand, capsule, {}};
    return {join({stand, capsule}), {}, {}};
}

SymbolDrawing stroked(const QPainterPath &lines) { return {lines, {}, {}}; }

SymbolDrawing filled(const QPainterPath &areas, QColor colour = {}) { return {{}, areas, colour}; }

SymbolDrawing micWithPlus()
{
    SymbolDrawing drawing = microphone(9.5, false);
    drawing.lines.addPath(plus(19, 5.5, 3));
    return drawing;
}

// The back page shows only where the front one, with a gap around it, does not cover it.
SymbolDrawing twoPages()
{
    const QRectF front(9, 7.5, 11, 14);
    const QPainterPath back = outline(rounded(QRectF(4, 2.5, 11, 14), 2), 2);
    return {rounded(front, 2), back.subtracted(rounded(front.adjusted(-2.5, -2.5, 2.5, 2.5), 3.5)), {}};
}

struct Source
{
    QString theme;
    SymbolDrawing drawing;
};

QHash<QString, Source> sources()
{
    const QPainterPath check = polyline({{7.8, 12.4}, {10.8, 15.4}, {16.2, 9}});
    const QPainterPath triangle = polygon({{7.5, 5}, {19, 12}, {7.5, 19}});
    const QPainterPath folder = polygon({{3, 5}, {9, 5}, {11, 7.5}, {21, 7.5}, {21, 19.5}, {3, 19.5}});
    const QPainterPath film =
        join({rounded(QRectF(3, 3.5, 18, 17), 2), line(7.5, 3.5, 7.5, 20.5), line(16.5, 3.5, 16.5, 20.5),
              line(3, 9, 7.5, 9), line(3, 15, 7.5, 15), line(16.5, 9, 21, 9), line(16.5, 15, 21, 15)});
    const QPainterPath table = join({rounded(QRectF(3, 4, 18, 16), 2), line(3, 9.5, 21, 9.5),
                                     line(3, 14.75, 21, 14.75), line(9, 4, 9, 20), line(15, 4, 15, 20)});
    const QPainterPath trash =
        join({line(3.5, 6.5, 20.5, 6.5), polyline({{9, 6.5}, {9, 3.5}, {15, 3.5}, {15, 6.5}}),
              polyline({{5.5, 6.5}, {6.8, 20.5}, {17.2, 20.5}, {18.5, 6.5}}), line(10, 10, 10, 17),
              line(14, 10, 14, 17)});
    const QPainterPath scissors = join(
        {circle({7, 17.5}, 3), circle({17, 17.5}, 3), line(9.2, 15.3, 17.5, 3), line(14.8, 15.3, 6.5, 3)});
    const QPainterPath pause =
        join({rounded(QRectF(6, 4.5, 4.5, 15), 1.2), rounded(QRectF(13.5, 4.5, 4.5, 15), 1.2)});
    return {
        {u"folder"_s, {u"folder-open"_s, stroked(join({folder, line(3, 11, 21, 11)}))}},
        {u"film"_s, {u"video-x-generic"_s, stroked(film)}},
        {u"tablecells"_s, {u"document-import"_s, stroked(table)}},
        {u"xmark"_s, {u"process-stop"_s, stroked(join({line(6, 6, 18, 18), line(18, 6, 6, 18)}))}},
        {u"checkmark"_s, {u"document-save"_s, stroked(polyline({{4.5, 12.5}, {9.5, 17.5}, {19.5, 6.5}}))}},
        {u"checkmark.circle"_s, {u"emblem-default"_s, stroked(join({circle({12, 12}, 9), check}))}},
        {u"checkmark.circle.fill"_s,
         {u"emblem-ok"_s, filled(circle({12, 12}, 10).subtracted(outline(check, 2.2)))}},
        {u"mic"_s, {u"audio-input-microphone"_s, microphone(12, false)}},
        {u"mic.fill"_s, {u"media-record"_s, microphone(12, true)}},
        {u"mic.badge.plus"_s, {u"list-add"_s, micWithPlus()}},
        // The recording light keeps its red on any palette.
        {u"record.circle.fill"_s, {u"media-record"_s, filled(circle({12, 12}, 8), QColor(0xe0, 0x34, 0x2f))}},
        // Stroked as well as filled, so the corners come out round.
        {u"play.fill"_s, {u"media-playback-start"_s, {triangle, triangle, {}}}},
        {u"pause.fill"_s, {u"media-playback-pause"_s, filled(pause)}},
        {u"trash"_s, {u"user-trash"_s, stroked(trash)}},
        {u"doc.on.doc"_s, {u"edit-copy"_s, twoPages()}},
        {u"scissors"_s, {u"edit-cut"_s, stroked(scissors)}},
    };
}

} // namespace

QIcon symbol(const QString &name)
{
    static const QHash<QString, Source> known = sources();
    const auto found = known.constFind(name);
    if (found == known.cend())
        return {};
    return QIcon::fromTheme(found->theme, QIcon(new SymbolIconEngine(found->drawing)));
}

} // namespace tarnwick
