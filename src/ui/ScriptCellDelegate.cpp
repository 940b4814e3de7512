#include "ui/ScriptCellDelegate.h"

#include "studio/Studio.h"
#include "ui/AudioCell.h"
#include "ui/CellText.h"
#include "ui/ScriptTableModel.h"
#include "ui/Symbols.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTableView>
#include <QTextLayout>
#include <QToolTip>

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

ScriptCellDelegate::ScriptCellDelegate(ScriptTableModel &model, ScriptFilterModel &filter, QTableView &table)
    : QStyledItemDelegate(&table)
    , m_model(model)
    , m_filter(filter)
    , m_table(table)
    , m_viewport(table.viewport())
{
    m_viewport->installEventFilter(this);
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

AudioCellLayout ScriptCellDelegate::audioLayout(int sourceRow, int width, const QFont &font) const
{
    return AudioCellLayout::of(m_model.studio(), m_model.block(sourceRow), m_model.segments(sourceRow),
                               m_model.markerIssue(sourceRow), width, font);
}

QStringList ScriptCellDelegate::statusLines(const QString &status, const QFont &base, int width)
{
    return wrap(status, captionFont(base, QFont::Medium), width - 2 * textMarginX - 14, 2);
}

QStringList ScriptCellDelegate::flagLines(const QString &flags, const QFont &base, int width)
{
    return flags.isEmpty() ? QStringList()
                           : wrap(u"\u26A0 "_s + flags, captionFont(base, QFont::Normal),
                                  width - 2 * textMarginX - 14, 2);
}

QSize ScriptCellDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QModelIndex source = m_filter.mapToSource(index);
    const int width = m_table.columnWidth(index.column());
    switch (static_cast<ScriptTableModel::Column>(source.column())) {
    case ScriptTableModel::number:
        return {width, QFontMetrics(option.font).lineSpacing() + 2 * textMarginY};
    case ScriptTableModel::status: {
        const int lines = linesHeight(statusLines(source.data().toString(), option.font, width),
                                      captionFont(option.font, QFont::Medium))
                          + linesHeight(flagLines(source.data(ScriptTableModel::FlagsRole).toString(), option.font,
                                                  width),
                                        captionFont(option.font, QFont::Normal));
        return {width, std::max(QFontMetrics(option.font).lineSpacing(), lines) + 2 * textMarginY};
    }
    case ScriptTableModel::english:
    case ScriptTableModel::russian:
    case ScriptTableModel::videoRussian:
    case ScriptTableModel::videoEnglish: {
        // The selected row's live text may need a pixel more than the painted lines.
        const int painted = textHeight(source, option.font, width);
        const QWidget *live = m_table.indexWidget(index);
        return {width, live ? std::max(painted, live->heightForWidth(width)) : painted};
    }
    case ScriptTableModel::audio:
        return {width, audioLayout(source.row(), width, option.font).height}; // the live cell's too
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
    const AudioCellLayout layout = audioLayout(sourceRow, option.rect.width(), option.font);
    painter->translate(option.rect.topLeft());
    layout.paint(*painter, option.palette, m_table.viewport(), false);
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
        const QRect first(option.rect.left() + textMarginX, option.rect.top() + textMarginY,
                          option.rect.width() - 2 * textMarginX, line);
        painter->setPen(Qt::NoPen);
        painter->setBrush(statusColour(m_model.rowStatus(source.row()), option.palette));
        painter->drawEllipse(QRectF(first.left(), first.center().y() - 3.0, 7, 7));
        painter->setPen(option.palette.color(QPalette::Text));
        const QStringList lines = statusLines(status, option.font, option.rect.width());
        const int textTop = first.top() + (line - QFontMetrics(font).lineSpacing()) / 2;
        const QPoint textAt(first.left() + 14, std::max(textTop, first.top()));
        drawLines(painter, lines, font, textAt, first.width() - 14);
        // A chosen take with flags is marked here too, so a retake is not missed in a long table.
        painter->setPen(orange.darker(115));
        drawLines(
            painter,
            flagLines(source.data(ScriptTableModel::FlagsRole).toString(), option.font, option.rect.width()),
            captionFont(option.font, QFont::Normal), textAt + QPoint(0, linesHeight(lines, font)),
            first.width() - 14);
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

bool ScriptCellDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    const QModelIndex source = m_filter.mapToSource(index);
    if (source.column() != ScriptTableModel::audio || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const AudioCellLayout layout = audioLayout(source.row(), option.rect.width(), option.font);
    const QPoint local = event->pos() - option.rect.topLeft();
    const qsizetype segment = layout.segmentAt(local);
    const CellButton *button = segment < 0 ? nullptr : layout.segments.at(segment).buttonAt(local);
    if (!button || button->toolTip.isEmpty()) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(event->globalPos(), button->toolTip, view, option.rect);
    return true;
}

bool ScriptCellDelegate::eventFilter(QObject *watched, QEvent *event)
{
    // Only mouse buttons are looked at: other events come while the table is torn down too.
    const auto type = event->type();
    if ((type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) || watched != m_viewport
        || static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return false;
    // A painted cell answers the first click as the live one would. The live cell may have
    // taken its place since the press; the release still comes here, where the press went.
    const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
    const QModelIndex index = m_table.indexAt(at);
    const QModelIndex source = m_filter.mapToSource(index);
    if (type == QEvent::MouseButtonPress) {
        const bool painted = source.column() == ScriptTableModel::audio && !m_table.indexWidget(index);
        m_pressedPicture = painted ? QPersistentModelIndex(index) : QPersistentModelIndex();
        return false;
    }
    if (!index.isValid() || std::exchange(m_pressedPicture, {}) != index)
        return false;
    const QRect cell = m_table.visualRect(index);
    const QPoint local = at - cell.topLeft();
    const AudioCellLayout layout = audioLayout(source.row(), cell.width(), m_table.font());
    const qsizetype segment = layout.segmentAt(local);
    if (segment < 0)
        return false;
    Studio &studio = m_model.studio();
    const ScriptBlock block = m_model.block(source.row());
    const SegmentLayout &piece = layout.segments.at(segment);
    if (studio.selectedRecordingID() != piece.segment.id)
        studio.selectSegment(block, piece.segment);
    if (const CellButton *button = piece.buttonAt(local)) {
        pressCellButton(studio, block, piece, *button, &m_table,
                        m_table.viewport()->mapToGlobal(cell.topLeft() + button->rect.bottomLeft()));
    }
    return false;
}

} // namespace tarnwick
