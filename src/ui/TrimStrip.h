#pragma once

#include "core/Take.h"

#include <QFutureWatcher>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace tarnwick {

class Studio;
class TrimWaveform;

/// The chosen take of the selected segment as a waveform with its in and out points as handles.
/// Dragging a handle trims what is heard and exported, never the file; the reset brings back the
/// points found from the speech. Hidden while a take is pending and for a segment without a
/// chosen take.
class TrimStrip final : public QWidget
{
    Q_OBJECT

public:
    explicit TrimStrip(Studio &studio, QWidget *parent = nullptr);
    ~TrimStrip() override;

    /// "1:02.35": minutes, seconds and hundredths.
    static QString clock(double seconds);

private:
    void showTake();
    void showPoints();

    Studio &m_studio;
    std::optional<Take> m_take;
    QLabel *m_title = nullptr;
    TrimWaveform *m_waveform = nullptr;
    QLabel *m_points = nullptr;
    QPushButton *m_reset = nullptr;
    QFutureWatcher<QList<float>> m_reading; // the waveform is read off the main thread
};

} // namespace tarnwick
