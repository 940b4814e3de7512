#include "ui/AudioCell.h"

#include "studio/Studio.h"
#include "ui/RecordingStrip.h"
#include "ui/Symbols.h"
#include "ui/TakeFiguresText.h"
#include "ui/TakeNoteDialog.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// " · 1:07" for a take whose length is known, and the mark of a take with flags.
QString lengthOf(const Studio &studio, const Take &take)
{
    const std::optional<double> seconds = studio.takeDuration(take);
    return (seconds ? u" · "_s + minutesAndSeconds(*seconds) : QString()) + flagMark(studio.figures(take.id));
}

/// "Прослушать"/"Выбрать"/divider/"Удалить" for one take, with the titles of the caller's menu.
QList<ContextMenuAction> takeCommands(Studio &studio, const Take &take, const QString &play, const QString &choose,
                                      const QString &remove)
{
    QList<ContextMenuAction> entries;
    if (!play.isEmpty())
        entries.append({play, u"play.fill"_s, true, [&studio, take] { studio.togglePlayback(take); }});
    entries.append({choose, u"checkmark.circle"_s, true, [&studio, take] { studio.select(take); }});
    entries.append({u"Заметка и оценка…"_s, {}, !studio.locked(),
                    [&studio, take] { editTakeNote(studio, take, QApplication::activeWindow()); }});
    entries.append(ContextMenuAction{});
    entries.append({remove, u"trash"_s, !studio.locked(), [&studio, take] { studio.deleteTake(take); }, true});
    return entries;
}

/// The takes menu button: its number with the pull-down arrow, as the table paints it.
class TakesMenuButton final : public QToolButton
{
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        AudioCellLayout::addMenuArrow(option);
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
    }
};

} // namespace

QList<ContextMenuAction> segmentMenu(Studio &studio, const ScriptBlock &block, const VoiceSegment &segment)
{
    const QList<Take> takes = studio.takes(segment.id);
    if (takes.isEmpty()) {
        return {{u"Записать эту реплику"_s, u"mic"_s, !studio.locked(),
                 [&studio, block, segment] { studio.record(block, segment); }}};
    }
    if (takes.size() == 1) {
        const Take &take = takes.constFirst();
        QList<ContextMenuAction> entries{
            {u"Прослушать запись"_s, u"play.fill"_s, true, [&studio, take] { studio.togglePlayback(take); }}};
        return entries + takeCommands(studio, take, {}, u"Выбрать лучшей"_s, u"Удалить запись"_s);
    }
    QList<ContextMenuAction> entries;
    for (qsizetype i = 0; i < takes.size(); ++i) {
        const QList<ContextMenuAction> commands =
            takeCommands(studio, takes.at(i), u"Прослушать"_s, u"Выбрать лучшим"_s, u"Удалить"_s);
        entries.append({u"Дубль "_s + QString::number(i + 1) + lengthOf(studio, takes.at(i)), {}, true, {}, false,
                        std::vector<ContextMenuAction>(commands.cbegin(), commands.cend()),
                        figuresToolTip(studio.figures(takes.at(i).id))});
    }
    return entries;
}

QList<ContextMenuAction> takeMenu(Studio &studio, const Take &take)
{
    return takeCommands(studio, take, {}, u"Выбрать лучшим"_s, u"Удалить"_s);
}

QList<ContextMenuAction> takesMenu(Studio &studio, const SegmentState &state)
{
    QList<ContextMenuAction> entries;
    for (qsizetype i = 0; i < state.takes.size(); ++i) {
        const Take &take = state.takes.at(i);
        const QString k = QString::number(i + 1);
        const QString icon = studio.playingID() == take.id ? u"pause.fill"_s
                             : take.selected               ? u"checkmark.circle.fill"_s
                                                           : u"play.fill"_s;
        if (i > 0)
            entries.append(ContextMenuAction{});
        entries.append({u"Прослушать дубль "_s + k + lengthOf(studio, take), icon, true,
                        [&studio, take] { studio.togglePlayback(take); }, false, {},
                        figuresToolTip(studio.figures(take.id))});
        entries.append({u"Выбрать дубль "_s + k, u"checkmark"_s, true, [&studio, take] { studio.select(take); }});
    }
    return entries;
}

void pressCellButton(Studio &studio, const ScriptBlock &block, const SegmentLayout &piece, const CellButton &button,
                     QWidget *menuParent, QPoint menuAt)
{
    if (!button.enabled)
        return;
    switch (button.kind) {
    case CellButton::record:
    case CellButton::newTake:
        studio.record(block, piece.segment);
        break;
    case CellButton::take:
        if (piece.state.shown)
            studio.togglePlayback(*piece.state.shown);
        break;
    case CellButton::takesMenu:
        // From the event loop rather than from under the button: an entry may rebuild the cell.
        QTimer::singleShot(0, menuParent, [entries = takesMenu(studio, piece.state), menuParent, menuAt] {
            RightClickMenu::show(entries, menuParent, menuAt);
        });
        break;
    }
}

SegmentAudioCell::SegmentAudioCell(Studio &studio, const ScriptBlock &block, const SegmentLayout &piece,
                                   const QFont &font, QWidget *parent)
    : QWidget(parent)
    , m_studio(studio)
    , m_block(block)
    , m_segment(piece.segment)
{
    setGeometry(piece.frame);
    const QPoint origin = piece.frame.topLeft();
    if (!piece.textLines.isEmpty()) {
        // The painted lines exactly, so the row keeps its height; selectable, to be copied.
        auto *text = new QLabel(piece.textLines.join(u'\n'), this);
        text->setFont(AudioCellLayout::textFont(font));
        text->setTextFormat(Qt::PlainText);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setGeometry(piece.text.translated(-origin));
    }
    if (piece.state.recording) {
        auto *strip = new RecordingStrip(
            studio.audio(), [&studio] { studio.stopRecording(); }, [&studio] { studio.cancelRecording(); }, this);
        strip->setGeometry(piece.action.translated(-origin));
    }
    for (const CellButton &button : piece.buttons) {
        QAbstractButton *widget = nullptr;
        if (button.kind == CellButton::record || button.kind == CellButton::take) {
            auto *push = new QPushButton(symbol(button.icon), button.text, this);
            push->setAutoDefault(false);
            push->setPalette(AudioCellLayout::buttonPalette(QPalette(), button));
            widget = push;
        } else {
            auto *tool = button.kind == CellButton::takesMenu ? new TakesMenuButton(this) : new QToolButton(this);
            tool->setAutoRaise(true);
            tool->setText(button.text);
            if (!button.icon.isEmpty())
                tool->setIcon(symbol(button.icon));
            widget = tool;
        }
        widget->setObjectName(button.kind == CellButton::take        ? u"takeButton"_s
                              : button.kind == CellButton::takesMenu ? u"takesMenu"_s
                              : button.kind == CellButton::newTake   ? u"newTake"_s
                                                                     : u"recordSegment"_s);
        widget->setIconSize(QSize(16, 16));
        widget->setFocusPolicy(Qt::NoFocus); // the table keeps the keys, and the cell is rebuilt under it
        widget->setAccessibleName(button.name);
        widget->setToolTip(button.toolTip);
        widget->setEnabled(button.enabled);
        widget->setGeometry(button.rect.translated(-origin));
        connect(widget, &QAbstractButton::clicked, widget, [&studio, block, piece, button, widget] {
            pressCellButton(studio, block, piece, button, widget->window(),
                            widget->mapToGlobal(widget->rect().bottomLeft()));
        });
    }
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    setAccessibleName(piece.textLines.isEmpty() ? u"Аудиофайлы"_s : m_segment.label + u". "_s + m_segment.text);
}

void SegmentAudioCell::choose()
{
    if (m_studio.selectedRecordingID() != m_segment.id)
        m_studio.selectSegment(m_block, m_segment);
}

bool SegmentAudioCell::eventFilter(QObject *watched, QEvent *event)
{
    // On release, before a button acts: a press would stop the take the button is about to play.
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        choose();
    return QWidget::eventFilter(watched, event);
}

void SegmentAudioCell::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        choose();
    QWidget::mouseReleaseEvent(event);
}

AudioCell::AudioCell(Studio &studio, const ScriptBlock &block, QWidget *parent)
    : QWidget(parent)
    , m_studio(studio)
    , m_block(block)
    , m_segments(block.voiceSegments())
    , m_issue(block.voiceMarkerIssue())
{
}

int AudioCell::heightForWidth(int width) const
{
    return AudioCellLayout::of(m_studio, m_block, m_segments, m_issue, width, font()).height;
}

void AudioCell::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_layout.width == width() && (!m_layout.segments.isEmpty() || !m_layout.issueLines.isEmpty()))
        return;
    for (SegmentAudioCell *old : findChildren<SegmentAudioCell *>(Qt::FindDirectChildrenOnly)) {
        old->setParent(nullptr); // not under a handler of its own that may still be running
        old->deleteLater();
    }
    m_layout = AudioCellLayout::of(m_studio, m_block, m_segments, m_issue, width(), font());
    for (const SegmentLayout &piece : m_layout.segments)
        (new SegmentAudioCell(m_studio, m_block, piece, font(), this))->show();
    update();
}

void AudioCell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_layout.paint(painter, palette(), this, true);
}

} // namespace tarnwick
