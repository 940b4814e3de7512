#pragma once

#include "audio/AudioBackend.h"

#include <QPointer>
#include <QStringList>

#include <deque>
#include <optional>

namespace tarnwick {

class FakeAudioBackend;

/// A recorder whose outcome and readings the test sets. Like the platform's, it reports a
/// finish when it is stopped, so a stop asked for by the application must be told apart.
class FakeRecorder final : public AudioRecorder
{
    Q_OBJECT

public:
    FakeRecorder(QString url, FakeAudioBackend &backend);

    bool record() override;
    void stop() override;
    MeterReading readMeter() override;
    double currentTime() const override { return time; }
    qint64 framesCaptured() const override { return frames; }
    void setFrameLimit(qint64 limit) override { frameLimit = limit; }
    void reachLimit() { emit limitReached(); }

    void finishByDevice(bool successfully) { emit finished(successfully); }
    void failEncoding(const QString &description) { emit encodeError(description); }

    const QString url;
    double time = 0.0;
    qint64 frames = 48'000; // a second of sound unless the test says otherwise
    std::optional<qint64> frameLimit;
    bool recordingNow = false;

private:
    FakeAudioBackend &m_backend;
};

/// A player with a position the test advances; pause keeps it, stop returns to the start.
class FakePlayer final : public AudioPlayer
{
    Q_OBJECT

public:
    FakePlayer(QString url, PlaybackRegion region, FakeAudioBackend &backend);

    bool play() override;
    void pause() override { playingNow = false; }
    void stop() override;
    bool isPlaying() const override { return playingNow; }
    double position() const override { return region.startSeconds + played; }

    void advance(double seconds);
    void finishPlaying() { emit finished(); }

    const QString url;
    const PlaybackRegion region;
    bool playSucceeds;
    bool playingNow = false;
    double played = 0.0; // seconds heard since the region's start

private:
    FakeAudioBackend &m_backend;
};

/// A timer that ticks only when the test calls `tick`.
class FakeTimer final : public AudioTimer
{
    Q_OBJECT

public:
    explicit FakeTimer(std::chrono::milliseconds period)
        : interval(period)
    {
    }
    void tick() { emit timeout(); }

    const std::chrono::milliseconds interval;
};

/// A backend driven by tests: what creation and record/play return, the meter readings to report, and
/// the last recorder, player and timer made, to raise their events by hand.
class FakeAudioBackend final : public AudioBackend
{
public:
    std::unique_ptr<AudioRecorder> createRecorder(const QString &url) override;
    std::unique_ptr<AudioPlayer> createPlayer(const QString &url, const PlaybackRegion &region) override;
    std::unique_ptr<AudioTimer> createTimer(std::chrono::milliseconds interval) override;
    QList<AudioInputDevice> inputDevices() const override { return devices; }
    void setInputDeviceID(const QString &id) override { inputDeviceID = id; }

    std::optional<QString> recorderError; // thrown as StudioError by createRecorder
    bool recordSucceeds = true;
    std::deque<MeterReading> readings;     // one per meter read; then silence
    std::optional<QString> playerError;    // thrown as StudioError by createPlayer
    bool playSucceeds = true;
    QList<AudioInputDevice> devices;
    QString inputDeviceID;

    QPointer<FakeRecorder> recorder;
    QPointer<FakePlayer> player;
    QPointer<FakeTimer> timer;
    int recordersMade = 0;
    int recordersStopped = 0;
    int playersMade = 0;
    int playersStopped = 0;
};

} // namespace tarnwick
