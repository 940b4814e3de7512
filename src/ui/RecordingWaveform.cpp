#include "ui/RecordingWaveform.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

QList<float> newest(const QList<float> &samples, qreal width)
{
    using W = RecordingWaveform;
    // Fewer, readable bars rather than hair lines in a narrow strip.
    const auto fit = static_cast<qsizetype>(std::floor((width + W::barGap) / (W::minBarWidth + W::barGap)));
    const qsizetype count = std::max<qsizetype>(std::min(W::maxBars, fit), 1);
    return samples.size() > count ? samples.last(count) : samples;
}

} // namespace

RecordingWaveform::RecordingWaveform(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(22);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_glide.setDuration(60);
    m_glide.setEasingCurve(QEasingCurve::Linear);
    m_glide.setStartValue(0.0);
    m_glide.setEndValue(1.0);
    connect(&m_glide, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void RecordingWaveform::setSamples(const QList<float> &samples)
{
    m_previous = m_samples;
    m_samples = samples;
    m_glide.stop();
    m_glide.start();
}

QList<QRectF> RecordingWaveform::bars(const QList<float> &samples, QSizeF size)
{
    const QList<float> shown = newest(samples, size.width());
    const qsizetype n = shown.size();
    QList<QRectF> result;
    if (n == 0)
        return result;
    const qreal width =
        std::max((size.width() - barGap * static_cast<qreal>(n - 1)) / static_cast<qreal>(n), minBarWidth);
    result.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const qreal height =
            std::clamp(size.height() * static_cast<qreal>(shown.at(i)), 3.0, std::max(size.height(), 3.0));
        result.append(
            QRectF(static_cast<qreal>(i) * (width + barGap), (size.height() - height) / 2, width, height));
    }
    return result;
}

void RecordingWaveform::paintEvent(QPaintEvent *)
{
    // Heights move linearly from the last reading to this one, matched by position from the right.
    QList<float> shown = newest(m_samples, width());
    const QList<float> before = newest(m_previous, width());
    const float progress =
        m_glide.state() == QAbstractAnimation::Running ? static_cast<float>(m_glide.currentValue().toReal()) : 1.0f;
    if (progress < 1.0f) {
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const qsizetype fromEnd = shown.size() - i;
            const float from = fromEnd <= before.size() ? before.at(before.size() - fromEnd) : shown.at(i);
            shown[i] = from + (shown.at(i) - from) * progress;
        }
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 59, 48, 230));
    for (const QRectF &bar : bars(shown, size())) {
        const qreal radius = std::min(bar.width(), bar.height()) / 2;
        painter.drawRoundedRect(bar, radius, radius);
    }
}

} // namespace tarnwick
