#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

/// An input the user may record from. `id` is stable across runs (the sound server's source name).
struct AudioInputDevice
{
    QString id;
    QString description;

    friend bool operator==(const AudioInputDevice &, const AudioInputDevice &) = default;
};

/// One meter tick: the samples since the previous tick, in dBFS; −160 when there were none.
struct MeterReading
{
    float averagePower = -160.0f; // RMS
    float peakPower = -160.0f;    // the largest sample magnitude

    friend bool operator==(const MeterReading &, const MeterReading &) = default;
};

/// Which part of a file plays, and how loud: seconds from the file's start, gain in dB.
struct PlaybackRegion
{
    double startSeconds = 0.0;
    std::optional<double> endSeconds; // the end of the file when empty
    double gainDB = 0.0;

    friend bool operator==(const PlaybackRegion &, const PlaybackRegion &) = default;
};

/// Records one take into one WAV file. Events may be emitted from any thread; receivers queue them.
class AudioRecorder : public QObject
{
    Q_OBJECT

public:
    virtual bool record() = 0;             // true only when capture really started
    virtual void stop() = 0;               // capture ends and the file is complete
    virtual MeterReading readMeter() = 0;  // the samples since the previous call
    virtual double currentTime() const = 0; // seconds captured so far
    virtual qint64 framesCaptured() const = 0; // frames in the file so far
    /// Capture keeps no more than `frames` frames in all, then emits limitReached.
    virtual void setFrameLimit(qint64 frames) = 0;

signals:
    void limitReached();
    /// Capture ended without being asked to; `successfully` is false when the device failed.
    void finished(bool successfully);
    /// The file could not be written; `description` is a user-facing text, or empty when unknown.
    void encodeError(const QString &description);
};

/// Plays a region of one WAV file; pause keeps the position.
class AudioPlayer : public QObject
{
    Q_OBJECT

public:
    virtual bool play() = 0; // starts, or resumes at the paused position
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    virtual double position() const = 0; // seconds from the file's start of the sound last heard

signals:
    void finished(); // the end of the region was reached
};

/// A repeating timer; ticks stop when it is destroyed.
class AudioTimer : public QObject
{
    Q_OBJECT

signals:
    void timeout();
};

/// What the controller needs of the platform. Creation throws StudioError with a user-facing text.
class AudioBackend
{
public:
    virtual ~AudioBackend() = default;

    virtual std::unique_ptr<AudioRecorder> createRecorder(const QString &url) = 0;
    virtual std::unique_ptr<AudioPlayer> createPlayer(const QString &url, const PlaybackRegion &region) = 0;
    virtual std::unique_ptr<AudioTimer> createTimer(std::chrono::milliseconds interval) = 0;

    virtual QList<AudioInputDevice> inputDevices() const = 0;
    /// Later recorders use this input; an empty or vanished id means the system default.
    virtual void setInputDeviceID(const QString &id) = 0;

    /// Called on the main thread when inputs appear or go away.
    std::function<void()> onInputDevicesChanged;
};

} // namespace tarnwick
