#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tarnwick::testing {

/// A PulseAudio server private to one test run, stopped by its process id when destroyed.
/// It has a null sink for playback and a virtual microphone: a second null sink whose monitor
/// is remapped into an ordinary source (Qt lists no monitors), kept awake by a stream of zeros.
/// A second input listens to the speakers, so tests can tell which input was recorded.
class SoundServer
{
public:
    static constexpr auto microphoneID = "tarnwick_microphone"; // the source to record from
    static constexpr auto microphoneSink = "tarnwick_microphone_in";
    static constexpr auto quietMicrophoneID = "tarnwick_quiet_microphone"; // hears only the speakers
    static constexpr auto speakersSink = "tarnwick_speakers";

    /// Starts a server and waits until it answers; nothing when it could not be started.
    static std::unique_ptr<SoundServer> start(QString *whyNot = nullptr);
    ~SoundServer();

    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    /// The value of PULSE_SERVER for clients of this server.
    QString address() const;
    /// An environment that points child processes at this server.
    QProcessEnvironment clientEnvironment() const;
    /// Points this process at the server; call before Qt Multimedia is first used.
    void useInThisProcess() const;

    /// A WAV of `text` spoken by espeak-ng, inside the server's folder; empty on failure.
    QString speech(const QString &text, const QString &voice = QStringLiteral("ru")) const;
    /// Plays a WAV into the microphone at real-time speed; the caller waits for it or not.
    std::unique_ptr<QProcess> playIntoMicrophone(const QString &wavPath) const;

    /// Ends the server now (SIGTERM, then SIGKILL), as a crash of the sound system would.
    void stop();
    /// The address of a server that does not exist, for the no-server cases.
    static QString missingServerAddress(const QTemporaryDir &folder);

private:
    SoundServer() = default;
    bool waitUntilAnswering() const;
    bool waitUntilFed() const;

    QTemporaryDir m_folder;
    QProcess m_server;
    QProcess m_feeder;
    QProcess m_speakersFeeder;
    mutable int m_speeches = 0;
};

} // namespace tarnwick::testing
