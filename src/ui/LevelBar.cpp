#include "ui/LevelBar.h"

#include "audio/AudioController.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

constexpr qreal barHeight = 8.0;
constexpr qreal barTop = 2.0;
constexpr qreal lightSize = 10.0;
constexpr qreal lightGap = 6.0;
constexpr float silence = MeterReading{}.peakPower;

// Marks every 6 dB and at the red zone; labels only where they do not crowd each other.
constexpr float marks[] = {-60, -54, -48, -42, -36, -30, -24, -18, -12, -6, -3, 0};
constexpr float labels[] = {-60, -48, -36, -24, -12, -6, 0};

float sane(float dBFS)
{
    return std::isnan(dBFS) ? silence : dBFS;
}

QColor secondary(const QPalette &palette, float alpha)
{
    QColor colour = palette.color(QPalette::PlaceholderText);
    colour.setAlphaF(alpha);
    return colour;
}

} // namespace

LevelBar::Zone LevelBar::zone(float dBFS)
{
    if (dBFS > redFromDBFS)
        return Zone::red;
    if (dBFS > yellowFromDBFS)
        return Zone::yellow;
    return Zone::green;
}

QColor LevelBar::colour(Zone zone)
{
    switch (zone) {
    case Zone::green:
        return {52, 199, 89};
    case Zone::yellow:
        return {255, 204, 0};
    case Zone::red:
        return {255, 59, 48};
    }
    return {};
}

float LevelBar::fraction(float dBFS)
{
    return std::clamp((sane(dBFS) - floorDBFS) / -floorDBFS, 0.0f, 1.0f);
}

LevelBar::LevelBar(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(24);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setToolTip(u"Уровень входа в dBFS: полоса — средний, черта — пиковый. "
               u"Красный огонёк — перегрузка; щелчок гасит его"_s);
    m_glide.setDuration(60);
    m_glide.setEasingCurve(QEasingCurve::Linear);
    m_glide.setStartValue(0.0);
    m_glide.setEndValue(0.0);
    connect(&m_glide, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

QRectF LevelBar::track() const
{
    return {0.0, barTop, std::max(width() - lightSize - lightGap, barHeight), barHeight};
}

QRectF LevelBar::clipLight() const
{
    const qreal centre = barTop + barHeight / 2;
    return {width() - lightSize, centre - lightSize / 2, lightSize, lightSize};
}

void LevelBar::setReading(const MeterReading &reading)
{
    const float peak = sane(reading.peakPower);
    if (peak >= m_heldPeak || ++m_heldFor >= peakHoldReadings) {
        m_heldPeak = peak;
        m_heldFor = 0;
    }
    if (reading == m_reading)
        return;
    const qreal target = fraction(reading.averagePower);
    if (target != fraction(m_reading.averagePower)) {
        const qreal shown = m_glide.currentValue().toReal();
        m_glide.stop();
        m_glide.setStartValue(shown);
        m_glide.setEndValue(target);
        m_glide.start();
    }
    m_reading = reading;
    update();
}

void LevelBar::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    // A new take starts without the last one's peak, and a stopped one shows none.
    m_heldPeak = silence;
    m_heldFor = 0;
    update();
}

void LevelBar::setClipped(bool clipped)
{
    if (clipped == m_clipped)
        return;
    m_clipped = clipped;
    update();
}

void LevelBar::mousePressEvent(QMouseEvent *event)
{
    // The light is small: the press counts anywhere in a margin around it.
    if (clipLight().adjusted(-lightGap, -barTop, 0, height()).contains(event->position())) {
        emit clipLightClicked();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void LevelBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF bar = track();
    const qreal radius = bar.height() / 2;
    const auto x = [&bar](float dBFS) { return bar.left() + bar.width() * fraction(dBFS); };
    const qreal yellowX = x(yellowFromDBFS);
    const qreal redX = x(redFromDBFS);

    // The zones stay faintly visible, so the speaker sees where a level is headed.
    QPainterPath capsule;
    capsule.addRoundedRect(bar, radius, radius);
    painter.save();
    painter.setClipPath(capsule);
    painter.fillRect(bar, secondary(palette(), 0.14f));
    for (const auto &[from, to, zone] : {std::tuple{bar.left(), yellowX, Zone::green},
                                         std::tuple{yellowX, redX, Zone::yellow},
                                         std::tuple{redX, bar.right(), Zone::red}}) {
        QColor faint = colour(zone);
        faint.setAlphaF(0.18f);
        painter.fillRect(QRectF(from, bar.top(), to - from, bar.height()), faint);
    }
    painter.restore();

    const qreal shown = m_glide.state() == QAbstractAnimation::Running ? m_glide.currentValue().toReal()
                                                                       : fraction(m_reading.averagePower);
    const qreal fillWidth = std::min(std::max(bar.width() * shown, barHeight), bar.width());
    QPainterPath fill;
    fill.addRoundedRect(QRectF(bar.left(), bar.top(), fillWidth, bar.height()), radius, radius);
    painter.save();
    painter.setClipPath(fill);
    if (m_active) {
        painter.fillRect(QRectF(bar.left(), bar.top(), yellowX - bar.left(), bar.height()),
                         colour(Zone::green));
        painter.fillRect(QRectF(yellowX, bar.top(), redX - yellowX, bar.height()), colour(Zone::yellow));
        painter.fillRect(QRectF(redX, bar.top(), bar.right() - redX, bar.height()), colour(Zone::red));
    } else {
        painter.fillRect(bar, secondary(palette(), 0.25f));
    }
    painter.restore();

    if (m_active && m_heldPeak > floorDBFS) {
        const qreal peakX = std::clamp(x(m_heldPeak), bar.left() + 1, bar.right() - 1);
        painter.fillRect(QRectF(peakX - 1, bar.top() - 2, 2, bar.height() + 4), colour(zone(m_heldPeak)));
    }

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.75);
    painter.setFont(small);
    painter.setPen(QPen(palette().color(QPalette::PlaceholderText), 1));
    const qreal markTop = bar.bottom() + 2;
    for (const float mark : marks)
        painter.drawLine(QPointF(x(mark), markTop), QPointF(x(mark), markTop + 2));
    for (const float label : labels) {
        const QString text = label == 0 ? u"0"_s : u"\u2212"_s + QString::number(-static_cast<int>(label));
        const qreal textWidth = painter.fontMetrics().horizontalAdvance(text);
        const qreal left = std::clamp(x(label) - textWidth / 2, bar.left(), bar.right() - textWidth);
        painter.drawText(QRectF(left, markTop + 2, textWidth + 1, height() - markTop - 2),
                         Qt::AlignLeft | Qt::AlignTop, text);
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(m_clipped ? colour(Zone::red) : secondary(palette(), 0.25f));
    painter.drawEllipse(clipLight());
}

LiveLevelBar::LiveLevelBar(AudioController &audio, QWidget *parent)
    : LevelBar(parent)
{
    setFixedWidth(260);
    setActive(audio.recording());
    setReading(audio.meter());
    setClipped(audio.clipped());
    connect(&audio, &AudioController::levelChanged, this, [this, &audio] { setReading(audio.meter()); });
    connect(&audio, &AudioController::recordingChanged, this, [this, &audio] { setActive(audio.recording()); });
    connect(&audio, &AudioController::clippedChanged, this, [this, &audio] { setClipped(audio.clipped()); });
    connect(this, &LevelBar::clipLightClicked, &audio, &AudioController::clearClip);
}

} // namespace tarnwick
