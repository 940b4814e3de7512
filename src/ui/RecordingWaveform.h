#pragma once

#include <QList>
#include <QRectF>
#include <QVariantAnimation>
#include <QWidget>

namespace tarnwick {

/// The recent input levels as a row of red capsules, newest on the right.
class RecordingWaveform final : public QWidget
{
    Q_OBJECT

public:
    static constexpr qsizetype maxBars = 52;
    static constexpr qreal minBarWidth = 3.0;
    static constexpr qreal barGap = 1.0;

    explicit RecordingWaveform(QWidget *parent = nullptr);

    void setSamples(const QList<float> &samples);
    const QList<float> &samples() const { return m_samples; }

    /// Where the bars of `samples` go in an area of `size`: the newest 52 at most, and no more
    /// than fit at 3 wide and 1 apart, at least 3 high, each centred vertically.
    static QList<QRectF> bars(const QList<float> &samples, QSizeF size);

    QSize sizeHint() const override { return {207, 22}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<float> m_samples;
    QList<float> m_previous; // what the bars grow from during the glide
    QVariantAnimation m_glide;
};

} // namespace tarnwick
