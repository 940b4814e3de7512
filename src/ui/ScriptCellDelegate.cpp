#include "ui/ScriptCellDelegate.h"

#include "studio/Studio.h"
#include "ui/AudioCell.h"
#include "ui/CellText.h"
#include "ui/ScriptTableModel.h"
#include "ui/Symbols.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTableView>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

// The live text of the selected row is laid out the same way.
constexpr int textMarginX = CellText::marginX;
constexpr int textMarginY = CellText::marginY;
constexpr int segmentSpacing = CellText::segmentSpacing;
const QColor red(255, 59, 48);
const QColor green(52, 199, 89);
const QColor orange(255, 149, 0);

QFont scriptFont(const QFont &base, bool primary)
{
    QFont font = base;
    font.setWeight(primary ? QFont::Medium : QFont::Normal);
    return font;
}

QFont captionFont(const QFont &base, QFont::Weight weight)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.9);
    font.setWeight(weight);
    return font;
}

QFont labelFont(const QFont &base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 1.08);
    font.setWeight(QFont::Medium);
    return font;
}

QColor withAlpha(QColor colour, float alpha)
{
    colour.setAlphaF(alpha);
    return colour;
}

int linesHeight(const QStringList &lines, const QFont &font)
{
    return static_cast<int>(lines.size()) * QFontMetrics(font).lineSpacing();
}

void drawLines(QPainter *painter, const QStringList &lines, const QFont &font, QPoint topLeft, int width)
{
    painter->setFont(font);
    const QFontMetrics metrics(font);
    int y = topLeft.y();
    for (const QString &line : lines) {
        painter->drawText(QRect(topLeft.x(), y, width, metrics.lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter,
                          line);
        y += metrics.lineSpacing();
    }
}

/// The pieces of a voice text as the cell shows them: one per marked segment, or the text whole.
QStringList voicePieces(const ScriptBlock &block, const QString &value)
{
    if (!block.hasVoiceMarkers())
        return {value};
    QStringList pieces;
    for (const VoiceSegment &segment : VoiceSegment::parse(value, block.id, block.number))
        pieces.append(segment.text);
    return pieces;
}

} // namespace

struct ScriptCellDelegate::Piece
{
    VoiceSegment segment;
    QRect rect;
    QStringList labelLines;
};

namespace {

/// Where a segment's controls sit: below its text and status line when the block is marked.
QRect actionArea(const ScriptCellDelegate::Piece &piece, bool marked, const QFont &base);

} // namespace

ScriptCellDelegate::ScriptCellDelegate(ScriptTableModel &model, ScriptFilterModel &filter, QTableView &table)
    : QStyledItemDelegate(&table)
    , m_model(model)
    , m_filter(filter)
    , m_table(table)
{
}

QColor ScriptCellDelegate::statusColour(const BlockStatus &status, const QPalette &palette)
{
    switch (tone(status)) {
    case StatusTone::done:
        return green;
    case StatusTone::working:
        return orange;
    case StatusTone::toDo:
        return red;
    case StatusTone::other:
        break;
    }
    return palette.color(QPalette::PlaceholderText);
}

QStringList ScriptCellDelegate::wrap(const QString &text, const QFont &font, int width, int lineLimit)
{
    QString laidOut = text;
    laidOut.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1));
        if (lineLimit > 0 && lines.size() == lineLimit) {
            // More text than lines: the last shown line ends in an ellipsis.
            const qsizetype start = layout.lineAt(lineLimit - 1).textStart();
            QString rest = laidOut.mid(start);
            rest.replace(QChar::LineSeparator, u' ');
            lines.last() = QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
            break;
        }
        QString piece = laidOut.mid(line.textStart(), line.textLength());
        piece.remove(QChar::LineSeparator);
        lines.append(piece);
    }
    layout.endLayout();
    return lines.isEmpty() ? QStringList{QString()} : lines;
}

QStringList ScriptCellDelegate::textPieces(const QModelIndex &source) const
{
    const auto column = static_cast<ScriptTableModel::Column>(source.column());
    if (column == ScriptTableModel::english || column == ScriptTableModel::russian) {
        const ScriptBlock &block = m_model.block(source.row());
        if (block.hasVoiceMarkers())
            return voicePieces(block, column == ScriptTableModel::english ? block.english : block.russian);
    }
    return {source.data().toString()}; // a dash stands for an empty text
}

QFont ScriptCellDelegate::textFont(const QModelIndex &source, const QFont &base)
{
    return scriptFont(base, source.data(ScriptTableModel::PrimaryRole).toBool());
}

int ScriptCellDelegate::textHeight(const QModelIndex &source, const QFont &base, int width) const
{
    const int inner = width - 2 * textMarginX;
    const QFont font = textFont(source, base);
    const QStringList pieces = textPieces(source);
    int height = 0;
    for (const QString &piece : pieces)
        height += linesHeight(wrap(piece, font, inner, m_lineLimit), font);
    return height + static_cast<int>(pieces.size() - 1) * (2 * segmentSpacing + 1) + 2 * textMarginY;
}

QList<ScriptCellDelegate::Piece> ScriptCellDelegate::audioPieces(int sourceRow, const QRect &cell,
                                                                 const QFont &base) const
{
    const ScriptBlock &block = m_model.block(sourceRow);
    const bool marked = block.hasVoiceMarkers();
    const QFont label = labelFont(base);
    const int captionHeight = QFontMetrics(captionFont(base, QFont::DemiBold)).lineSpacing();
    QList<Piece> pieces;
    int y = cell.top() + 6;
    for (const VoiceSegment &segment : m_model.segments(sourceRow)) {
        if (!pieces.isEmpty())
            y += 13;
        Piece piece{segment, {}, {}};
        int height = SegmentAudioCell::actionHeight;
        if (marked) {
            piece.labelLines = wrap(segment.text, label, cell.width() - 8 - 14, 0);
            height += 14 + linesHeight(piece.labelLines, label) + 7 + captionHeight + 7;
        }
        piece.rect = QRect(cell.left() + 4, y, cell.width() - 8, height);
        y += height;
        pieces.append(piece);
    }
    return pieces;
}

QSize ScriptCellDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QModelIndex source = m_filter.mapToSource(index);
    const int width = m_table.columnWidth(index.column());
    switch (static_cast<ScriptTableModel::Column>(source.column())) {
    case ScriptTableModel::number:
    case ScriptTableModel::status:
        return {width, QFontMetrics(option.font).lineSpacing() + 2 * textMarginY};
    case ScriptTableModel::english:
    case ScriptTableModel::russian:
    case ScriptTableModel::videoRussian:
    case ScriptTableModel::videoEnglish: {
        // The selected row's live text may need a pixel more than the painted lines.
        const int painted = textHeight(source, option.font, width);
        const QWidget *live = m_table.indexWidget(index);
        return {width, live ? std::max(painted, live->heightForWidth(width)) : painted};
    }
    case ScriptTableModel::audio: {
        if (const QWidget *cell = m_table.indexWidget(index))
            return {width, cell->hasHeightForWidth() ? cell->heightForWidth(width) : cell->sizeHint().height()};
        if (const std::optional<QString> &issue = m_model.markerIssue(source.row())) {
            const QFont font = captionFont(option.font, QFont::Normal);
            return {width, linesHeight(wrap(*issue, font, width - 8, 0), font) + 12};
        }
        const QList<Piece> pieces = audioPieces(source.row(), QRect(0, 0, width, 0), option.font);
        return {width, pieces.isEmpty() ? 12 : pieces.constLast().rect.bottom() + 1 + 6};
    }
    case ScriptTableModel::columnCount_:
        break;
    }
    return QStyledItemDelegate::sizeHint(option, index);
}

void ScriptCellDelegate::paintText(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &source, bool live) const
{
    const QRect cell = option.rect;
    if (source.data(ScriptTableModel::NeedsRecordingRole).toBool()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(withAlpha(red, 0.13f));
        painter->drawRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 6, 6);
    }
    if (live)
        return; // the cell's widget shows the text
    const QFont font = textFont(source, option.font);
    const bool empty = source.data(ScriptTableModel::EmptyRole).toBool();
    const QPalette::ColorGroup group = option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    QColor colour = option.palette.color(group, option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                      : QPalette::Text);
    if (empty)
        colour = withAlpha(option.palette.color(QPalette::PlaceholderText), 0.6f);
    painter->setPen(colour);
    const int inner = cell.width() - 2 * textMarginX;
    QPoint at(cell.left() + textMarginX, cell.top() + textMarginY);

    const QStringList pieces = textPieces(source);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            at.ry() += segmentSpacing;
            painter->save();
            painter->setPen(withAlpha(option.palette.color(QPalette::PlaceholderText), 0.4f));
            painter->drawLine(at.x(), at.y(), at.x() + inner, at.y());
            painter->restore();
            at.ry() += 1 + segmentSpacing;
        }
        const QStringList lines = wrap(pieces.at(i), font, inner, m_lineLimit);
        drawLines(painter, lines, font, at, inner);
        at.ry() += linesHeight(lines, font);
    }
}

void ScriptCellDelegate::paintAudio(QPainter *painter, const QStyleOptionViewItem &option, int sourceRow) const
{
    const Studio &studio = m_model.studio();
    const ScriptBlock &block = m_model.block(sourceRow);
    if (const std::optional<QString> &issue = m_model.markerIssue(sourceRow)) {
        painter->setPen(red);
        const QFont font = captionFont(option.font, QFont::Normal);
        drawLines(painter, wrap(*issue, font, option.rect.width() - 8, 0), font,
                  option.rect.topLeft() + QPoint(4, 6), option.rect.width() - 8);
        return;
    }
    const QList<Piece> pieces = audioPieces(sourceRow, option.rect, option.font);
    const bool marked = block.hasVoiceMarkers();
    const QColor secondary = option.palette.color(QPalette::PlaceholderText);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const Piece &piece = pieces.at(i);
        const SegmentState state = SegmentState::of(studio, piece.segment);
        if (i > 0) {
            painter->setPen(withAlpha(secondary, 0.4f));
            const int y = piece.rect.top() - 7;
            painter->drawLine(piece.rect.left(), y, piece.rect.right(), y);
        }
        if (marked) {
            QRect area = piece.rect.adjusted(7, 7, -7, -7);
            painter->setPen(option.palette.color(QPalette::Text));
            drawLines(painter, piece.labelLines, labelFont(option.font), area.topLeft(), area.width());
            area.setTop(area.top() + linesHeight(piece.labelLines, labelFont(option.font)) + 7);
            const QFont caption = captionFont(option.font, state.takes.isEmpty() ? QFont::Normal : QFont::DemiBold);
            painter->setPen(state.takes.isEmpty() ? secondary : green);
            drawLines(painter, {state.takes.isEmpty() ? statusText({}) : u"✓ Есть дубль"_s}, caption,
                      area.topLeft(), area.width());
        }
        // A picture of the controls the row gets when it is selected.
        const std::optional<QStyleOptionButton> button = pictureButton(piece, sourceRow, option);
        if (!button) {
            const bool onTimeline = storedStatus(block.voiceStatus) == StoredStatus::voiced;
            painter->setPen(onTimeline ? secondary : orange);
            const QRect area = actionArea(piece, marked, option.font);
            drawLines(painter, {onTimeline ? u"На таймлайне"_s : u"Проверить в Premiere"_s},
                      captionFont(option.font, QFont::Normal), area.topLeft() + QPoint(0, 6), area.width());
            continue;
        }
        QApplication::style()->drawControl(QStyle::CE_PushButton, &*button, painter);
        const QRect area = actionArea(piece, marked, option.font);
        if (state.takes.size() >= 2) {
            painter->setPen(option.palette.color(QPalette::Text));
            painter->drawText(QRect(button->rect.right() + 8, area.top(), 40, area.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, QString::number(state.takes.size()) + u" ▾"_s);
        }
    }
}

void ScriptCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &background, painter, &m_table);

    const QModelIndex source = m_filter.mapToSource(index);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipRect(option.rect);
    switch (static_cast<ScriptTableModel::Column>(source.column())) {
    case ScriptTableModel::number: {
        QFont font = option.font;
        painter->setFont(font);
        painter->setPen(option.palette.color(QPalette::PlaceholderText));
        painter->drawText(option.rect.adjusted(textMarginX, textMarginY, -textMarginX, -textMarginY),
                          Qt::AlignLeft | Qt::AlignTop, source.data().toString());
        break;
    }
    case ScriptTableModel::english:
    case ScriptTableModel::russian:
    case ScriptTableModel::videoRussian:
    case ScriptTableModel::videoEnglish:
        paintText(painter, option, source, m_table.indexWidget(index) != nullptr);
        break;
    case ScriptTableModel::status: {
        const QString status = source.data().toString();
        const QFont font = captionFont(option.font, QFont::Medium);
        const int line = QFontMetrics(option.font).lineSpacing();
        const QRect row(option.rect.left() + textMarginX, option.rect.top() + textMarginY,
                        option.rect.width() - 2 * textMarginX, line);
        painter->setPen(Qt::NoPen);
        painter->setBrush(statusColour(m_model.rowStatus(source.row()), option.palette));
        painter->drawEllipse(QRectF(row.left(), row.center().y() - 3.0, 7, 7));
        painter->setFont(font);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(row.adjusted(14, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(font).elidedText(status, Qt::ElideRight, row.width() - 14));
        break;
    }
    case ScriptTableModel::audio:
        if (!m_table.indexWidget(index))
            paintAudio(painter, option, source.row());
        break;
    case ScriptTableModel::columnCount_:
        break;
    }
    painter->restore();
}

namespace {

QRect actionArea(const ScriptCellDelegate::Piece &piece, bool marked, const QFont &base)
{
    QRect area = piece.rect;
    if (marked) {
        area.adjust(7, 7, -7, -7);
        area.setTop(area.top() + linesHeight(piece.labelLines, labelFont(base)) + 7
                    + QFontMetrics(captionFont(base, QFont::DemiBold)).lineSpacing() + 7);
    }
    area.setHeight(SegmentAudioCell::actionHeight);
    return area;
}

} // namespace

std::optional<QStyleOptionButton> ScriptCellDelegate::pictureButton(const Piece &piece, int sourceRow,
                                                                    const QStyleOptionViewItem &option) const
{
    const Studio &studio = m_model.studio();
    const ScriptBlock &block = m_model.block(sourceRow);
    const SegmentState state = SegmentState::of(studio, piece.segment);
    const StoredStatus stored = storedStatus(block.voiceStatus);
    if (state.takes.isEmpty() && (stored == StoredStatus::voiced || stored == StoredStatus::toCheck))
        return std::nullopt;
    QStyleOptionButton button;
    button.state = studio.locked() ? QStyle::State_None : QStyle::State_Enabled;
    button.palette = option.palette;
    button.fontMetrics = option.fontMetrics;
    button.iconSize = QSize(16, 16);
    if (state.takes.isEmpty()) {
        button.text = u"Записать эту реплику"_s;
        button.icon = symbol(u"mic"_s);
    } else {
        button.text = u"Дубль "_s + QString::number(state.currentNumber);
        button.icon = symbol(studio.playingID() == state.current->id ? u"pause.fill"_s : u"play.fill"_s);
    }
    const QSize size = QApplication::style()->sizeFromContents(
        QStyle::CT_PushButton, &button,
        QSize(option.fontMetrics.horizontalAdvance(button.text) + 24, option.fontMetrics.height()));
    const QRect area = actionArea(piece, block.hasVoiceMarkers(), option.font);
    button.rect = QRect(area.left(), area.top() + (area.height() - size.height()) / 2, size.width(), size.height());
    return button;
}

bool ScriptCellDelegate::editorEvent(QEvent *event,
                                     QAbstractItemModel *model,
                                     const QStyleOptionViewItem &option,
                                     const QModelIndex &index)
{
    const QModelIndex source = m_filter.mapToSource(index);
    if (event->type() == QEvent::MouseButtonRelease && source.column() == ScriptTableModel::audio
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
        Studio &studio = m_model.studio();
        const ScriptBlock block = m_model.block(source.row());
        for (const Piece &piece : audioPieces(source.row(), option.rect, option.font)) {
            if (!piece.rect.contains(at))
                continue;
            // The painted button works at the first click, as the live one of the selected row does.
            const std::optional<QStyleOptionButton> button = pictureButton(piece, source.row(), option);
            const SegmentState state = SegmentState::of(studio, piece.segment);
            studio.selectSegment(block, piece.segment);
            if (button && button->rect.contains(at) && !studio.locked()) {
                if (state.current)
                    studio.togglePlayback(*state.current);
                else
                    studio.record(block, piece.segment);
            }
            break;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

} // namespace tarnwick
