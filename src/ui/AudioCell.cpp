#include "ui/AudioCell.h"

#include "studio/Studio.h"
#include "ui/RecordingStrip.h"
#include "ui/Symbols.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

const QColor red(255, 59, 48);
const QColor green(52, 199, 89);
const QColor orange(255, 149, 0);

QLabel *caption(const QString &text, const QColor &colour, QFont::Weight weight, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    font.setWeight(weight);
    label->setFont(font);
    // A style sheet, because the table hands its own palette to the widgets inside it.
    label->setStyleSheet(u"color: "_s + colour.name(QColor::HexArgb) + u';');
    return label;
}

QColor secondary(const QWidget *widget)
{
    return widget->palette().color(QPalette::PlaceholderText);
}

QAction *addEntry(QMenu &menu, const QString &title, const QString &image, std::function<void()> handler)
{
    QAction *action = menu.addAction(symbol(image), title);
    QObject::connect(action, &QAction::triggered, &menu, [handler = std::move(handler)] { handler(); });
    return action;
}

/// "Прослушать"/"Выбрать"/divider/"Удалить" for one take, with the titles of the caller's menu.
void addTakeCommands(QMenu &menu, Studio &studio, const Take &take, const QString &play, const QString &choose,
                     const QString &remove)
{
    if (!play.isEmpty())
        addEntry(menu, play, u"play.fill"_s, [&studio, take] { studio.togglePlayback(take); });
    addEntry(menu, choose, u"checkmark.circle"_s, [&studio, take] { studio.select(take); });
    menu.addSeparator();
    addEntry(menu, remove, u"trash"_s, [&studio, take] { studio.deleteTake(take); })
        ->setEnabled(!studio.locked());
}

} // namespace

SegmentState SegmentState::of(const Studio &studio, const VoiceSegment &segment)
{
    SegmentState state;
    state.takes = studio.takes(segment.id);
    state.selected = studio.selectedRecordingID() == segment.id;
    state.recording = state.selected && studio.recording();
    if (!state.takes.isEmpty()) {
        state.current = studio.selectedTake(segment.id).value_or(state.takes.constFirst());
        const qsizetype position = state.takes.indexOf(*state.current);
        state.currentNumber = position < 0 ? 1 : position + 1;
    }
    return state;
}

void fillSegmentMenu(QMenu &menu, Studio &studio, const ScriptBlock &block, const VoiceSegment &segment)
{
    const QList<Take> takes = studio.takes(segment.id);
    if (takes.isEmpty()) {
        addEntry(menu, u"Записать эту реплику"_s, u"mic"_s, [&studio, block, segment] {
            studio.record(block, segment);
        })->setEnabled(!studio.locked());
    } else if (takes.size() == 1) {
        const Take &take = takes.constFirst();
        addEntry(menu, u"Прослушать запись"_s, u"play.fill"_s, [&studio, take] { studio.togglePlayback(take); });
        addTakeCommands(menu, studio, take, {}, u"Выбрать лучшей"_s, u"Удалить запись"_s);
    } else {
        for (qsizetype i = 0; i < takes.size(); ++i) {
            QMenu *submenu = menu.addMenu(u"Дубль "_s + QString::number(i + 1));
            addTakeCommands(*submenu, studio, takes.at(i), u"Прослушать"_s, u"Выбрать лучшим"_s, u"Удалить"_s);
        }
    }
}

SegmentAudioCell::SegmentAudioCell(Studio &studio,
                                   const ScriptBlock &block,
                                   const VoiceSegment &segment,
                                   bool showLabel,
                                   QWidget *parent)
    : QFrame(parent)
    , m_studio(studio)
    , m_block(block)
    , m_segment(segment)
    , m_showLabel(showLabel)
    , m_state(SegmentState::of(studio, segment))
{
    auto *stack = new QVBoxLayout(this);
    const int margin = showLabel ? 7 : 0;
    stack->setContentsMargins(margin, margin, margin, margin);
    stack->setSpacing(7);
    if (showLabel) {
        auto *text = new QLabel(segment.text, this);
        QFont font = text->font();
        font.setPointSizeF(font.pointSizeF() * 1.08);
        font.setWeight(QFont::Medium);
        text->setFont(font);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        stack->addWidget(text);
        QLabel *line = nullptr;
        if (m_state.recording)
            line = caption(u"● Идёт запись"_s, red, QFont::DemiBold, this);
        else if (!m_state.takes.isEmpty())
            line = caption(u"✓ Есть дубль"_s, green, QFont::DemiBold, this);
        else
            line = caption(statusText({}), secondary(this), QFont::Normal, this);
        stack->addWidget(line);
    }
    stack->addWidget(actionArea());
    setAccessibleName(showLabel ? segment.label + u". "_s + segment.text : u"Аудиофайлы"_s);
}

QWidget *SegmentAudioCell::actionArea()
{
    Studio &studio = m_studio;
    if (m_state.recording) {
        return new RecordingStrip(
            studio.audio(), [&studio] { studio.stopRecording(); }, [&studio] { studio.cancelRecording(); }, this);
    }
    auto *area = new QWidget(this);
    area->setFixedHeight(actionHeight);
    auto *row = new QHBoxLayout(area);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    const ScriptBlock block = m_block;
    const VoiceSegment segment = m_segment;
    if (m_state.takes.isEmpty()) {
        const StoredStatus stored = storedStatus(m_block.voiceStatus);
        if (stored == StoredStatus::voiced) {
            row->addWidget(caption(u"На таймлайне"_s, secondary(this), QFont::Normal, area));
        } else if (stored == StoredStatus::toCheck) {
            row->addWidget(caption(u"Проверить в Premiere"_s, orange, QFont::Normal, area));
        } else {
            auto *button = new QPushButton(symbol(u"mic"_s), u"Записать эту реплику"_s, area);
            button->setEnabled(!studio.locked());
            connect(button, &QPushButton::clicked, this, [&studio, block, segment] { studio.record(block, segment); });
            row->addWidget(button);
        }
        row->addStretch(1);
        return area;
    }

    const Take take = *m_state.current;
    const bool playing = studio.playingID() == take.id;
    auto *play = new QPushButton(symbol(playing ? u"pause.fill"_s : u"play.fill"_s),
                                 u"Дубль "_s + QString::number(m_state.currentNumber), area);
    play->setObjectName(u"takeButton"_s);
    play->setEnabled(!studio.locked());
    if (take.selected)
        play->setStyleSheet(u"color: "_s + green.darker(130).name() + u';');
    connect(play, &QPushButton::clicked, this, [&studio, take] { studio.togglePlayback(take); });
    play->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(play, &QWidget::customContextMenuRequested, this, [this, play, &studio, take](const QPoint &at) {
        QMenu menu(this);
        addEntry(menu, u"Выбрать лучшим"_s, u"checkmark.circle"_s, [&studio, take] { studio.select(take); });
        menu.addSeparator();
        addEntry(menu, u"Удалить"_s, u"trash"_s, [&studio, take] { studio.deleteTake(take); });
        menu.exec(play->mapToGlobal(at));
    });
    row->addWidget(play);

    if (m_state.takes.size() >= 2) {
        auto *all = new QToolButton(area);
        all->setObjectName(u"takesMenu"_s);
        all->setText(QString::number(m_state.takes.size()));
        all->setAutoRaise(true);
        all->setPopupMode(QToolButton::InstantPopup);
        auto *menu = new QMenu(all);
        for (qsizetype i = 0; i < m_state.takes.size(); ++i) {
            const Take &each = m_state.takes.at(i);
            const QString k = QString::number(i + 1);
            if (i > 0)
                menu->addSeparator();
            addEntry(*menu, u"Прослушать дубль "_s + k, each.selected ? u"checkmark.circle.fill"_s : u"play.fill"_s,
                      [&studio, each] { studio.togglePlayback(each); });
            addEntry(*menu, u"Выбрать дубль "_s + k, u"checkmark"_s, [&studio, each] { studio.select(each); });
        }
        all->setMenu(menu);
        row->addWidget(all);
    }

    auto *again = new QToolButton(area);
    again->setObjectName(u"newTake"_s);
    again->setIcon(symbol(u"mic.badge.plus"_s));
    again->setToolTip(u"Новый дубль"_s);
    again->setAccessibleName(u"Новый дубль"_s);
    again->setAutoRaise(true);
    again->setEnabled(!studio.locked());
    connect(again, &QToolButton::clicked, this, [&studio, block, segment] { studio.record(block, segment); });
    row->addWidget(again);
    row->addStretch(1);
    return area;
}

void SegmentAudioCell::paintEvent(QPaintEvent *)
{
    const bool outlined = m_state.selected && m_showLabel;
    if (!m_state.recording && !outlined)
        return;
    // The application's accent: the table's own is softened for its chosen row.
    const QColor tint = m_state.recording ? red : QApplication::palette().color(QPalette::Highlight);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = tint;
    fill.setAlphaF(0.13f);
    QColor line = tint;
    line.setAlphaF(0.45f);
    painter.setPen(outlined ? QPen(line, 1) : Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

void SegmentAudioCell::mousePressEvent(QMouseEvent *event)
{
    m_studio.selectSegment(m_block, m_segment);
    QFrame::mousePressEvent(event);
}

void SegmentAudioCell::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    fillSegmentMenu(menu, m_studio, m_block, m_segment);
    menu.exec(event->globalPos());
}

AudioCell::AudioCell(Studio &studio, const ScriptBlock &block, QWidget *parent)
    : QWidget(parent)
    , m_blockID(block.id)
{
    setAutoFillBackground(false);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(4, 6, 4, 6);
    stack->setSpacing(6);
    if (const std::optional<QString> issue = block.voiceMarkerIssue()) {
        QLabel *label = caption(*issue, red, QFont::Normal, this);
        label->setWordWrap(true);
        stack->addWidget(label);
        return;
    }
    const QList<VoiceSegment> segments = block.voiceSegments();
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0) {
            auto *divider = new QFrame(this);
            divider->setFrameShape(QFrame::HLine);
            divider->setFrameShadow(QFrame::Plain);
            divider->setEnabled(false);
            stack->addWidget(divider);
        }
        stack->addWidget(new SegmentAudioCell(studio, block, segments.at(i), block.hasVoiceMarkers(), this));
    }
}

} // namespace tarnwick
