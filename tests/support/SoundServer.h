#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tarnwick::testing {

/// A PulseAudio server private to one test run, set up by scripts/lib/sound-server.sh (the one
/// the screenshots use) and stopped when destroyed. It has a virtual microphone and a quiet one
/// that hears only the speakers, so tests can tell which input was recorded.
class SoundServer
{
public:
    static constexpr auto microphoneID = "tarnwick_microphone";
    static constexpr auto microphoneSink = "tarnwick_microphone_in";
    static constexpr auto quietMicrophoneID = "tarnwick_quiet_microphone";

    /// Starts a server and waits until it answers; nothing when it could not be started.
    static std::unique_ptr<SoundServer> start(QString *whyNot = nullptr);
    ~SoundServer();
    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    /// An environment that points child processes at this server.
    QProcessEnvironment clientEnvironment() const;
    /// Points this process at the server; call before Qt Multimedia is first used.
    void useInThisProcess() const;
    /// A WAV of `text` spoken by espeak-ng, inside the server's folder; empty on failure.
    QString speech(const QString &text) const;
    /// Plays a WAV into the microphone at real-time speed.
    std::unique_ptr<QProcess> playIntoMicrophone(const QString &wavPath) const;
    /// The address of a server that does not exist, for the no-server cases.
    static QString missingServerAddress(const QTemporaryDir &folder);

private:
    SoundServer() = default;
    QTemporaryDir m_folder;
    QProcess m_server;
    QString m_address;
};

} // namespace tarnwick::testing
