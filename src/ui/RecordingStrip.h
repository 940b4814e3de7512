#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace tarnwick {

class AudioController;
class RecordingWaveform;

/// The bar that stands in for a segment's controls while it records: elapsed time, the live
/// waveform, and cancel and save. Repaints itself on each meter tick and nothing else.
class RecordingStrip final : public QWidget
{
    Q_OBJECT

public:
    RecordingStrip(AudioController &audio,
                   std::function<void()> save,
                   std::function<void()> cancel,
                   QWidget *parent = nullptr);

    /// Minutes and seconds, "%d:%02d", seconds truncated: 75.9 gives "1:15", 3600 gives "60:00".
    static QString elapsed(double seconds);

    QPushButton *saveButton() const { return m_save; }
    QPushButton *cancelButton() const { return m_cancel; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showLevels();
    void showDuration();

    AudioController &m_audio;
    QLabel *m_time = nullptr;
    RecordingWaveform *m_waveform = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_save = nullptr;
};

} // namespace tarnwick
