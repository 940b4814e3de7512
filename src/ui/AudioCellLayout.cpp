#include "ui/AudioCellLayout.h"

#include "studio/Studio.h"
#include "ui/ScriptCellDelegate.h"
#include "ui/Symbols.h"
#include "ui/TakeFiguresText.h"
#include "ui/TakeNoteDialog.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionToolButton>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

const QColor red(255, 59, 48);
const QColor green(52, 199, 89);
const QColor orange(255, 149, 0);
constexpr int iconSide = 16;

QColor withAlpha(QColor colour, float alpha)
{
    colour.setAlphaF(alpha);
    return colour;
}

int linesHeight(const QStringList &lines, const QFont &font)
{
    return static_cast<int>(lines.size()) * QFontMetrics(font).lineSpacing();
}

void drawLines(QPainter &painter, const QStringList &lines, const QFont &font, QRect area, Qt::Alignment vertical)
{
    painter.setFont(font);
    const int line = QFontMetrics(font).lineSpacing();
    int y = vertical == Qt::AlignVCenter ? area.top() + (area.height() - linesHeight(lines, font)) / 2 : area.top();
    for (const QString &text : lines) {
        painter.drawText(QRect(area.left(), y, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += line;
    }
}

// The sizes a QPushButton and a QToolButton ask for with these contents.
QSize pushButtonSize(const QString &text, const QFontMetrics &metrics)
{
    QStyleOptionButton option;
    option.fontMetrics = metrics;
    option.iconSize = QSize(iconSide, iconSide);
    option.text = text;
    const QSize content = metrics.size(Qt::TextShowMnemonic, text);
    const QSize size(iconSide + 4 + content.width(), std::max(iconSide, content.height()));
    option.rect.setSize(size);
    return QApplication::style()->sizeFromContents(QStyle::CT_PushButton, &option, size);
}

QSize toolButtonSize(const QString &text, bool menu, const QFontMetrics &metrics)
{
    QStyleOptionToolButton option;
    option.fontMetrics = metrics;
    option.iconSize = QSize(iconSide, iconSide);
    option.text = text;
    option.toolButtonStyle = text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly;
    QSize size(iconSide, iconSide);
    if (!text.isEmpty())
        size = metrics.size(Qt::TextShowMnemonic, text) + QSize(2 * metrics.horizontalAdvance(u' '), 0);
    option.rect.setSize(size);
    if (menu)
        size.rwidth() += QApplication::style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option);
    return QApplication::style()->sizeFromContents(QStyle::CT_ToolButton, &option, size);
}

QString takeTitle(qsizetype number)
{
    return u"Дубль "_s + QString::number(number);
}

QList<CellButton> buttonsOf(const Studio &studio, const SegmentState &state, const QFontMetrics &metrics)
{
    const bool enabled = !studio.locked();
    if (state.takes.isEmpty()) {
        const QString title = u"Записать эту реплику"_s;
        return {{CellButton::record, QRect({}, pushButtonSize(title, metrics)), title, title, u"mic"_s, {}, enabled,
                 false}};
    }
    QList<CellButton> buttons;
    const Take &take = *state.shown;
    QString text = takeTitle(state.shownNumber);
    if (const std::optional<double> seconds = studio.takeDuration(take))
        text += u" · "_s + minutesAndSeconds(*seconds);
    const std::optional<TakeFigures> figures = studio.figures(take.id);
    text += flagMark(figures);
    QString toolTip = u"Прослушать или остановить. Последний дубль: Ctrl+P"_s;
    if (const QString review = takeReviewText(take); !review.isEmpty())
        toolTip += u'\n' + review;
    if (figures)
        toolTip = figuresToolTip(figures) + u"\n\n"_s + toolTip;
    const bool playing = studio.playingID() == take.id;
    buttons.append({CellButton::take, QRect({}, pushButtonSize(text, metrics)), text, takeTitle(state.shownNumber),
                    playing ? u"pause.fill"_s : u"play.fill"_s, toolTip, enabled, take.selected});
    if (state.takes.size() >= 2) {
        const QString count = QString::number(state.takes.size());
        buttons.append({CellButton::takesMenu, QRect({}, toolButtonSize(count, true, metrics)), count,
                        u"Дубли: "_s + count, {}, u"Все дубли"_s, true, false});
    }
    buttons.append({CellButton::newTake, QRect({}, toolButtonSize({}, false, metrics)), {}, u"Новый дубль"_s,
                    u"mic.badge.plus"_s, u"Новый дубль"_s, enabled, false});
    return buttons;
}

} // namespace

QString minutesAndSeconds(double seconds)
{
    // Rounded: a take of 0.96 s read as "0:00" looks empty.
    const long long whole = std::llround(std::max(seconds, 0.0));
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

SegmentState SegmentState::of(const Studio &studio, const VoiceSegment &segment)
{
    SegmentState state;
    state.takes = studio.takes(segment.id);
    state.selected = studio.selectedRecordingID() == segment.id;
    state.recording = state.selected && studio.recording();
    if (state.takes.isEmpty())
        return state;
    state.current = studio.selectedTake(segment.id).value_or(state.takes.constFirst());
    state.shown = state.current;
    const std::optional<QUuid> playing = studio.playingID();
    for (const Take &take : state.takes) {
        if (take.id == playing)
            state.shown = take;
    }
    const qsizetype position = state.takes.indexOf(*state.shown);
    state.shownNumber = position < 0 ? 1 : position + 1;
    return state;
}

const CellButton *SegmentLayout::buttonAt(QPoint point) const
{
    for (const CellButton &button : buttons) {
        if (button.rect.contains(point))
            return &button;
    }
    return nullptr;
}

AudioCellLayout AudioCellLayout::of(const Studio &studio, const ScriptBlock &block,
                                    const QList<VoiceSegment> &segments, const std::optional<QString> &issue,
                                    int width, const QFont &base)
{
    AudioCellLayout layout;
    layout.font = base;
    layout.width = width;
    layout.marked = !segments.isEmpty() && segments.constFirst().id.startsWith(voicePrefix);
    if (issue) {
        layout.issueLines = ScriptCellDelegate::wrap(*issue, captionFont(base, QFont::Normal), width - 8, 0);
        layout.height = linesHeight(layout.issueLines, captionFont(base, QFont::Normal)) + 12;
        return layout;
    }
    const QFont text = textFont(base);
    const int captionLine = QFontMetrics(captionFont(base, QFont::DemiBold)).lineSpacing();
    const QFontMetrics metrics(base);
    const StoredStatus stored = storedStatus(block.voiceStatus);
    int y = 6;
    for (const VoiceSegment &segment : segments) {
        if (!layout.segments.isEmpty())
            y += 13; // a divider with 6 above and below
        SegmentLayout piece{segment, SegmentState::of(studio, segment), {}, {}, {}, {}, {}, {}, {}};
        const int margin = layout.marked ? 7 : 0;
        const int left = 4 + margin;
        const int inner = width - 8 - 2 * margin;
        int top = y + margin;
        if (layout.marked) {
            piece.textLines = ScriptCellDelegate::wrap(segment.text, text, inner, 0);
            piece.text = QRect(left, top, inner, linesHeight(piece.textLines, text));
            piece.statusLine = QRect(left, piece.text.bottom() + 1 + 7, inner, captionLine);
            top = piece.statusLine.bottom() + 1 + 7;
        }
        piece.action = QRect(left, top, inner, actionHeight);
        piece.frame = QRect(4, y, width - 8, piece.action.bottom() + 1 + margin - y);
        y = piece.frame.bottom() + 1;
        if (!piece.state.recording && piece.state.takes.isEmpty() && stored == StoredStatus::voiced)
            piece.note = u"На таймлайне"_s;
        else if (!piece.state.recording && piece.state.takes.isEmpty() && stored == StoredStatus::toCheck)
            piece.note = u"Проверить в Premiere"_s;
        else if (!piece.state.recording)
            piece.buttons = buttonsOf(studio, piece.state, metrics);
        int x = piece.action.left();
        for (CellButton &button : piece.buttons) {
            button.rect.moveTo(x, piece.action.top() + (actionHeight - button.rect.height()) / 2);
            x = button.rect.right() + 1 + 8;
        }
        layout.segments.append(piece);
    }
    layout.height = y + 6;
    return layout;
}

qsizetype AudioCellLayout::segmentAt(QPoint point) const
{
    qsizetype nearest = segments.isEmpty() ? -1 : 0;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (segments.at(i).frame.contains(point))
            return i;
        if (point.y() >= segments.at(i).frame.top())
            nearest = i;
    }
    return nearest;
}

QFont AudioCellLayout::textFont(const QFont &base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 1.08);
    font.setWeight(QFont::Medium);
    return font;
}

QFont AudioCellLayout::captionFont(const QFont &base, QFont::Weight weight)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.9);
    font.setWeight(weight);
    return font;
}

QPalette AudioCellLayout::buttonPalette(const QPalette &base, const CellButton &button)
{
    QPalette palette = base;
    if (!button.chosen)
        return palette;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor plain = palette.color(group, QPalette::Button);
        palette.setColor(group, QPalette::Button,
                         QColor::fromRgbF(plain.redF() * 0.78f + green.redF() * 0.22f,
                                          plain.greenF() * 0.78f + green.greenF() * 0.22f,
                                          plain.blueF() * 0.78f + green.blueF() * 0.22f));
        palette.setColor(group, QPalette::ButtonText, green.darker(150));
    }
    return palette;
}

void AudioCellLayout::addMenuArrow(QStyleOptionToolButton &option)
{
    option.features |= QStyleOptionToolButton::HasMenu;
}

void AudioCellLayout::paint(QPainter &painter, const QPalette &palette, const QWidget *widget, bool live) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor secondary = palette.color(QPalette::PlaceholderText);
    if (!issueLines.isEmpty()) {
        painter.setPen(red);
        drawLines(painter, issueLines, captionFont(font, QFont::Normal), QRect(4, 6, width - 8, height - 12),
                  Qt::AlignTop);
    }
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const SegmentLayout &piece = segments.at(i);
        const SegmentState &state = piece.state;
        if (i > 0) {
            painter.setPen(withAlpha(secondary, 0.4f));
            const int y = piece.frame.top() - 7;
            painter.drawLine(piece.frame.left(), y, piece.frame.right(), y);
        }
        const bool outlined = state.selected && marked;
        if (state.recording || outlined) {
            // The application's accent: the table's own is softened for its chosen row.
            const QColor tint = state.recording ? red : QApplication::palette().color(QPalette::Highlight);
            painter.setPen(outlined ? QPen(withAlpha(tint, 0.45f), 1) : Qt::NoPen);
            painter.setBrush(withAlpha(tint, 0.13f));
            painter.drawRoundedRect(QRectF(piece.frame).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
            painter.setBrush(Qt::NoBrush);
        }
        if (marked) {
            if (!live) {
                painter.setPen(palette.color(QPalette::Text));
                drawLines(painter, piece.textLines, textFont(font), piece.text, Qt::AlignTop);
            }
            const QFont::Weight weight = state.recording || !state.takes.isEmpty() ? QFont::DemiBold : QFont::Normal;
            painter.setPen(state.recording ? red : state.takes.isEmpty() ? secondary : green);
            const QString line = state.recording           ? u"● Идёт запись"_s
                                 : state.takes.isEmpty() ? statusText({})
                                                         : u"✓ Есть дубль"_s;
            drawLines(painter, {line}, captionFont(font, weight), piece.statusLine, Qt::AlignTop);
        }
        if (!piece.note.isEmpty()) {
            painter.setPen(piece.note == u"На таймлайне" ? secondary : orange);
            drawLines(painter, {piece.note}, captionFont(font, QFont::Normal), piece.action, Qt::AlignVCenter);
        }
        if (live)
            continue;
        if (state.recording) {
            // The strip of the live cell, without its moving parts.
            painter.setPen(QPen(withAlpha(red, 0.24f), 1));
            painter.setBrush(withAlpha(red, 0.08f));
            painter.drawRoundedRect(QRectF(piece.action).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        }
        painter.setFont(font);
        for (const CellButton &button : piece.buttons) {
            const QStyle::State enabled = button.enabled ? QStyle::State_Enabled : QStyle::State_None;
            const QStyle::State active = widget && widget->isActiveWindow() ? QStyle::State_Active : QStyle::State_None;
            if (button.kind == CellButton::record || button.kind == CellButton::take) {
                QStyleOptionButton option;
                option.state = enabled | active | QStyle::State_Raised;
                option.palette = buttonPalette(palette, button);
                option.fontMetrics = QFontMetrics(font);
                option.rect = button.rect;
                option.text = button.text;
                option.icon = symbol(button.icon);
                option.iconSize = QSize(iconSide, iconSide);
                QApplication::style()->drawControl(QStyle::CE_PushButton, &option, &painter, widget);
                continue;
            }
            QStyleOptionToolButton option;
            option.state = enabled | active | QStyle::State_AutoRaise;
            option.palette = palette;
            option.fontMetrics = QFontMetrics(font);
            option.font = font;
            option.rect = button.rect;
            option.text = button.text;
            if (!button.icon.isEmpty())
                option.icon = symbol(button.icon);
            option.iconSize = QSize(iconSide, iconSide);
            option.subControls = QStyle::SC_ToolButton;
            option.toolButtonStyle = button.text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly;
            if (button.kind == CellButton::takesMenu)
                addMenuArrow(option);
            QApplication::style()->drawComplexControl(QStyle::CC_ToolButton, &option, &painter, widget);
        }
    }
    painter.restore();
}

} // namespace tarnwick
