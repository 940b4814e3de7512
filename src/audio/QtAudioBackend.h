#pragma once

#include "audio/AudioBackend.h"

namespace tarnwick {

/// Records with QAudioSource on a capture thread of its own, so a busy window loses no samples,
/// and writes 24-bit 48 kHz mono WAV through libsndfile with the header kept current after every
/// write: a take cut off by a crash is still a valid file. Plays WAV files through QAudioSink.
class QtAudioBackend final : public AudioBackend
{
public:
    static constexpr int sampleRate = 48000;

    std::unique_ptr<AudioRecorder> createRecorder(const QString &url) override;
    std::unique_ptr<AudioPlayer> createPlayer(const QString &url, const PlaybackRegion &region) override;
    std::unique_ptr<AudioTimer> createTimer(std::chrono::milliseconds interval) override;

    QList<AudioInputDevice> inputDevices() const override;
    void setInputDeviceID(const QString &id) override { m_inputDeviceID = id; }

private:
    QString m_inputDeviceID;
};

} // namespace tarnwick
