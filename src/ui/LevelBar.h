#pragma once

#include "audio/AudioBackend.h"

#include <QColor>
#include <QVariantAnimation>
#include <QWidget>

namespace tarnwick {

class AudioController;

/// A level meter in dBFS, −60 to 0 with marks: the average power as a bar, green up to −12,
/// yellow to −3 and red above; the sample peak as a tick that holds for 1.5 s; and a clip light
/// at the right end. Grey while no recording runs. The bar glides to each reading over one tick.
class LevelBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr float floorDBFS = -60.0f;
    static constexpr float yellowFromDBFS = -12.0f;
    static constexpr float redFromDBFS = -3.0f;
    static constexpr int peakHoldReadings = 25; // 1.5 s of meter ticks

    enum class Zone { green, yellow, red };
    static Zone zone(float dBFS);
    static QColor colour(Zone zone);
    /// Where a level sits on the scale: 0 at −60 dBFS and below, 1 at 0 dBFS and above.
    static float fraction(float dBFS);

    explicit LevelBar(QWidget *parent = nullptr);

    void setReading(const MeterReading &reading);
    void setActive(bool active);
    void setClipped(bool clipped);
    const MeterReading &reading() const { return m_reading; }
    bool active() const { return m_active; }
    bool clipped() const { return m_clipped; }
    /// Where the peak tick stands, in dBFS: the highest recent peak until its hold runs out.
    float heldPeak() const { return m_heldPeak; }

    /// The bar's track and the clip light, in the widget's coordinates.
    QRectF track() const;
    QRectF clipLight() const;

    QSize sizeHint() const override { return {260, 24}; }

signals:
    void clipLightClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    MeterReading m_reading;
    float m_heldPeak = MeterReading{}.peakPower;
    int m_heldFor = 0; // readings since the held peak was set
    bool m_active = false;
    bool m_clipped = false;
    QVariantAnimation m_glide; // the bar's fraction of the track
};

/// The meter of the status bar, following the controller's readings, recording state and clip
/// latch; a click on the light clears the latch.
class LiveLevelBar final : public LevelBar
{
    Q_OBJECT

public:
    explicit LiveLevelBar(AudioController &audio, QWidget *parent = nullptr);
};

} // namespace tarnwick
