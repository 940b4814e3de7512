#pragma once

#include "audio/AudioBackend.h"
#include "core/Take.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

/// The one object that touches sound: records a take into a WAV file with live metering, and
/// plays one take at a time. Knows nothing of projects. Lives on the main thread; late events
/// from a recorder, player or timer that is no longer current are ignored.
class AudioController final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool recording READ recording NOTIFY recordingChanged)
    Q_PROPERTY(std::optional<QUuid> playingID READ playingID NOTIFY playingIDChanged)
    Q_PROPERTY(float level READ level NOTIFY levelChanged)
    Q_PROPERTY(MeterReading meter READ meter NOTIFY levelChanged)
    Q_PROPERTY(QList<float> levelHistory READ levelHistory NOTIFY levelHistoryChanged)
    Q_PROPERTY(QList<float> powerHistory READ powerHistory NOTIFY levelHistoryChanged)
    Q_PROPERTY(bool clipped READ clipped NOTIFY clippedChanged)
    Q_PROPERTY(double recordingDuration READ recordingDuration NOTIFY recordingDurationChanged)

public:
    static constexpr std::chrono::milliseconds meterInterval{60};
    static constexpr qsizetype historyLength = 52;
    static constexpr float levelFloor = 0.03f;
    static constexpr float levelCeiling = 1.0f;
    static constexpr float decibelDivisor = 28.0f;
    /// A sample peak at or above this many dBFS is a sample at full scale.
    static constexpr float clipThreshold = -0.01f;
    static constexpr int sampleRate = 48'000; // every take: 48 kHz mono

    explicit AudioController(std::unique_ptr<AudioBackend> backend, QObject *parent = nullptr);
    ~AudioController() override;

    bool recording() const { return m_recording; }
    std::optional<QUuid> playingID() const { return m_playingID; }
    float level() const { return m_level; }
    MeterReading meter() const { return m_meter; } // the last tick, in dBFS
    const QList<float> &levelHistory() const { return m_levelHistory; }
    /// The average power of the newest ticks in dBFS, oldest first; as long as `levelHistory`.
    const QList<float> &powerHistory() const { return m_powerHistory; }
    /// A sample reached full scale during this take; stays set until `clearClip` or the next take.
    bool clipped() const { return m_clipped; }
    void clearClip() { setClipped(false); }
    double recordingDuration() const { return m_recordingDuration; }

    void start(const QString &url); // throws StudioError("Запись уже идёт") and device errors
    void stopRecording();
    /// Frames captured by the running recording, or by the last one once it stopped.
    qint64 capturedFrames() const { return m_recorder ? m_recorder->framesCaptured() : m_capturedFrames; }
    /// The chosen input, when it was missing at the last start and the default one recorded.
    const std::optional<QString> &missingInput() const { return m_missingInput; }
    /// Later recordings keep at most `frames` frames and then announce frameLimitReached.
    void setFrameLimit(std::optional<qint64> frames) { m_frameLimit = frames; }
    void togglePlayback(const Take &take, const QString &url); // throws StudioError and device errors
    /// Plays a region of the take from its start, whatever was playing; throws as togglePlayback.
    void play(const Take &take, const QString &url, const PlaybackRegion &region);
    /// Seconds from the playing take's file start; empty when nothing is loaded.
    std::optional<double> playbackPosition() const;
    void stopPlayback();
    /// A repeating timer on the backend's clock, so tests drive waits between sounds by hand.
    std::unique_ptr<AudioTimer> createTimer(std::chrono::milliseconds interval)
    {
        return m_backend->createTimer(interval);
    }

    QList<AudioInputDevice> inputDevices() const { return m_backend->inputDevices(); }
    void setInputDeviceID(const QString &id)
    {
        m_inputDeviceID = id;
        m_backend->setInputDeviceID(id);
    }

    /// The live level for an average power in dBFS: 10^(p/28), kept within [0.03, 1].
    static float levelForPower(float decibels);

    /// Called on the main thread when the device stops or breaks a recording.
    std::function<void(const QString &)> onRecordingError;

signals:
    void recordingChanged();
    void playingIDChanged();
    void levelChanged();
    void levelHistoryChanged();
    void recordingDurationChanged();
    void clippedChanged();
    void frameLimitReached();
    void inputDevicesChanged(); // an input appeared or went away

private:
    void updateMeter();
    void recordingFailed(AudioRecorder *reporter, const QString &message);
    void playerFinished(AudioPlayer *reporter);

    void setRecording(bool recording);
    void setPlayingID(std::optional<QUuid> id);
    void setLevel(float level, MeterReading meter = {});
    void setRecordingDuration(double seconds);
    void setClipped(bool clipped);

    std::unique_ptr<AudioBackend> m_backend;
    bool m_recording = false;
    std::optional<QUuid> m_playingID;
    float m_level = 0.0f;
    MeterReading m_meter;
    QList<float> m_levelHistory;
    QList<float> m_powerHistory;
    bool m_clipped = false;
    double m_recordingDuration = 0.0;
    std::unique_ptr<AudioRecorder> m_recorder;
    std::unique_ptr<AudioPlayer> m_player;
    std::optional<QUuid> m_playerID;
    std::unique_ptr<AudioTimer> m_timer;
    QString m_inputDeviceID;
    std::optional<QString> m_missingInput;
    std::optional<qint64> m_frameLimit;
    qint64 m_capturedFrames = 0;
};

} // namespace tarnwick
