#pragma once

#include "audio/AudioBackend.h"

#include <QObject>

#include <memory>

namespace tarnwick {

class PulseConnection;

/// Talks to the sound server (PulseAudio, or PipeWire through pipewire-pulse) with libpulse's
/// threaded main loop. The connection comes back by itself after the server restarts. Capture is
/// written to a 24-bit 48 kHz mono WAV by a thread of its own with the header kept current, so
/// neither a busy window nor a slow disk loses samples, and a killed process leaves a valid file.
/// A stop reads on until every frame captured before it is in the file.
class PulseAudioBackend final : public AudioBackend
{
public:
    static constexpr int sampleRate = 48000;

    PulseAudioBackend();
    ~PulseAudioBackend() override;
    PulseAudioBackend(const PulseAudioBackend &) = delete;
    PulseAudioBackend &operator=(const PulseAudioBackend &) = delete;

    std::unique_ptr<AudioRecorder> createRecorder(const QString &url) override;
    std::unique_ptr<AudioPlayer> createPlayer(const QString &url, const PlaybackRegion &region) override;
    std::unique_ptr<AudioTimer> createTimer(std::chrono::milliseconds interval) override;

    QList<AudioInputDevice> inputDevices() const override; // monitors of outputs are left out
    void setInputDeviceID(const QString &id) override { m_inputDeviceID = id; }

private:
    std::shared_ptr<PulseConnection> m_connection;
    QObject m_mainThread; // receives the list changes the server announces on its own thread
    QString m_inputDeviceID;
    mutable bool m_listedOnce = false;
};

} // namespace tarnwick
