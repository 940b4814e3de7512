#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tarnwick::testing {

/// A sound server private to one test run, set up by scripts/lib/sound-server.sh (the one the
/// screenshots use) and stopped when destroyed: PulseAudio, or PipeWire with WirePlumber and
/// pipewire-pulse. It has a virtual microphone, a quiet one that hears only the speakers, so
/// tests can tell which input was recorded, and a silent one that never sends a frame.
class SoundServer
{
public:
    enum class Flavour { PulseAudio, PipeWire };
    static constexpr auto microphoneID = "tarnwick_microphone";
    static constexpr auto microphoneSink = "tarnwick_microphone_in";
    static constexpr auto quietMicrophoneID = "tarnwick_quiet_microphone";
    static constexpr auto silentMicrophoneID = "tarnwick_silent_microphone";

    /// Starts a server and waits until it answers; nothing when it could not be started.
    static std::unique_ptr<SoundServer> start(Flavour flavour, QString *whyNot = nullptr);
    static std::unique_ptr<SoundServer> start(QString *whyNot = nullptr) { return start(Flavour::PulseAudio, whyNot); }
    ~SoundServer();
    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    /// An environment that points child processes at this server.
    QProcessEnvironment clientEnvironment() const;
    /// Points this process at the server; call before the sound system is first used.
    void useInThisProcess() const;
    /// A WAV of `text` spoken by espeak-ng, inside the server's folder; empty on failure.
    QString speech(const QString &text) const;
    /// Plays a WAV into the microphone at real-time speed.
    std::unique_ptr<QProcess> playIntoMicrophone(const QString &wavPath) const;
    /// The address of a server that does not exist, for the no-server cases.
    static QString missingServerAddress(const QTemporaryDir &folder);

    /// Kills every process of the server with SIGKILL, as a crash; true once they are gone.
    bool kill() { return command("kill") == "killed"; }
    /// Starts the server again at the same address with the same inputs; true once it answers.
    bool restart() { return command("start") == m_address.toUtf8(); }
    /// Adds an input named `id` that hears what the microphone hears; removes it again.
    bool addInput(const QString &id) { return command("add " + id.toUtf8()) == "ok"; }
    bool removeInput(const QString &id) { return command("remove " + id.toUtf8()) == "ok"; }
    bool setDefaultInput(const QString &id) { return command("default " + id.toUtf8()) == "ok"; }
    /// A second capture of the microphone, 32-bit 48 kHz mono raw samples into `rawPath` with
    /// 10 ms fragments, to place played sound in time; stopped when the result is destroyed.
    std::unique_ptr<QProcess> startClock(const QString &rawPath) const;

private:
    SoundServer() = default;
    QByteArray command(const QByteArray &line); // one line to the script, its one-line answer
    QTemporaryDir m_folder;
    QProcess m_server;
    QString m_address;
};

} // namespace tarnwick::testing
