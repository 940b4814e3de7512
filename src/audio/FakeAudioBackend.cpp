#include "audio/FakeAudioBackend.h"

#include "core/StudioError.h"

#include <utility>

namespace tarnwick {

FakeRecorder::FakeRecorder(QString path, FakeAudioBackend &backend)
    : url(std::move(path))
    , m_backend(backend)
{
}

bool FakeRecorder::record()
{
    recordingNow = m_backend.recordSucceeds;
    return recordingNow;
}

void FakeRecorder::stop()
{
    ++m_backend.recordersStopped;
    const bool wasRecording = std::exchange(recordingNow, false);
    if (wasRecording)
        emit finished(true);
}

MeterReading FakeRecorder::readMeter()
{
    if (m_backend.readings.empty())
        return {};
    const MeterReading reading = m_backend.readings.front();
    m_backend.readings.pop_front();
    return reading;
}

FakePlayer::FakePlayer(QString path, PlaybackRegion playedRegion, FakeAudioBackend &backend)
    : url(std::move(path))
    , region(std::move(playedRegion))
    , playSucceeds(backend.playSucceeds)
    , m_backend(backend)
{
}

bool FakePlayer::play()
{
    playingNow = playSucceeds;
    return playSucceeds;
}

void FakePlayer::stop()
{
    ++m_backend.playersStopped;
    playingNow = false;
    played = 0.0;
}

void FakePlayer::advance(double seconds)
{
    if (playingNow)
        played += seconds;
}

std::unique_ptr<AudioRecorder> FakeAudioBackend::createRecorder(const QString &url)
{
    if (recorderError)
        throw StudioError(*recorderError);
    auto made = std::make_unique<FakeRecorder>(url, *this);
    recorder = made.get();
    ++recordersMade;
    return made;
}

std::unique_ptr<AudioPlayer> FakeAudioBackend::createPlayer(const QString &url, const PlaybackRegion &region)
{
    if (playerError)
        throw StudioError(*playerError);
    auto made = std::make_unique<FakePlayer>(url, region, *this);
    player = made.get();
    ++playersMade;
    return made;
}

std::unique_ptr<AudioTimer> FakeAudioBackend::createTimer(std::chrono::milliseconds interval)
{
    auto made = std::make_unique<FakeTimer>(interval);
    timer = made.get();
    return made;
}

} // namespace tarnwick
