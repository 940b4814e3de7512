#include "ui/LevelBar.h"

#include "audio/AudioController.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tarnwick {

LevelBar::LevelBar(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(8);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_glide.setDuration(60);
    m_glide.setEasingCurve(QEasingCurve::Linear);
    m_glide.setStartValue(0.0);
    m_glide.setEndValue(0.0);
    connect(&m_glide, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

qreal LevelBar::fillWidth(float level, qreal width)
{
    return std::max(width * static_cast<qreal>(std::clamp(level, 0.0f, 1.0f)), 8.0);
}

void LevelBar::setLevel(float level)
{
    if (level == m_level)
        return;
    const qreal shown = m_glide.currentValue().toReal();
    m_level = level;
    m_glide.stop();
    m_glide.setStartValue(shown);
    m_glide.setEndValue(static_cast<qreal>(level));
    m_glide.start();
}

void LevelBar::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    update();
}

void LevelBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const qreal h = height();
    const qreal radius = h / 2;
    QColor track = palette().color(QPalette::PlaceholderText);
    track.setAlphaF(0.14f);
    painter.setBrush(track);
    painter.drawRoundedRect(QRectF(0, 0, width(), h), radius, radius);

    const float shown = static_cast<float>(m_glide.state() == QAbstractAnimation::Running
                                               ? m_glide.currentValue().toReal()
                                               : static_cast<qreal>(m_level));
    QColor fill = QColor(52, 199, 89);
    if (!m_active) {
        fill = palette().color(QPalette::PlaceholderText);
        fill.setAlphaF(0.25f);
    }
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(0, 0, std::min(fillWidth(shown, width()), qreal(width())), h), radius,
                            radius);
}

LiveLevelBar::LiveLevelBar(AudioController &audio, QWidget *parent)
    : LevelBar(parent)
{
    setFixedWidth(180);
    setLevel(audio.level());
    setActive(audio.recording());
    connect(&audio, &AudioController::levelChanged, this, [this, &audio] { setLevel(audio.level()); });
    connect(&audio, &AudioController::recordingChanged, this, [this, &audio] { setActive(audio.recording()); });
}

} // namespace tarnwick
