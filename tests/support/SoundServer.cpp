#include "support/SoundServer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>

using namespace Qt::StringLiterals;

namespace tarnwick::testing {

namespace {

bool runQuietly(QProcess &process, const QString &program, const QStringList &arguments, int timeoutMs)
{
    process.start(program, arguments);
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

void terminate(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    const auto pid = static_cast<pid_t>(process.processId());
    ::kill(pid, SIGTERM);
    if (!process.waitForFinished(5000)) {
        ::kill(pid, SIGKILL);
        process.waitForFinished(5000);
    }
}

} // namespace

std::unique_ptr<SoundServer> SoundServer::start(QString *whyNot)
{
    const auto fail = [whyNot](const QString &reason) {
        if (whyNot)
            *whyNot = reason;
        return nullptr;
    };
    std::unique_ptr<SoundServer> server(new SoundServer);
    const QString folder = server->m_folder.path();
    if (!server->m_folder.isValid())
        return fail(u"no temporary folder"_s);

    const QString config = folder + u"/server.pa"_s;
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return fail(u"cannot write "_s + config);
    const QString script = u"load-module module-native-protocol-unix auth-anonymous=1 socket=%1/native\n"
                           "load-module module-null-sink sink_name=%2 rate=48000 channels=1\n"
                           "load-module module-null-sink sink_name=%3 rate=48000 channels=1\n"
                           "load-module module-remap-source source_name=%4 master=%3.monitor "
                           "channels=1 channel_map=mono master_channel_map=mono\n"
                           "load-module module-remap-source source_name=%5 master=%2.monitor "
                           "channels=1 channel_map=mono master_channel_map=mono\n"
                           "set-default-sink %2\n"
                           "set-default-source %4\n"_s.arg(folder,
                                                           QLatin1StringView(speakersSink),
                                                           QLatin1StringView(microphoneSink),
                                                           QLatin1StringView(microphoneID),
                                                           QLatin1StringView(quietMicrophoneID));
    file.write(script.toUtf8());
    file.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        environment.insert(QLatin1StringView(name), folder);
    environment.remove(u"PULSE_SERVER"_s);
    server->m_server.setProcessEnvironment(environment);
    server->m_server.setStandardOutputFile(folder + u"/server.log"_s);
    server->m_server.setStandardErrorFile(folder + u"/server.log"_s);
    server->m_server.start(u"pulseaudio"_s,
                           {u"-n"_s, u"-F"_s, config, u"--exit-idle-time=-1"_s, u"--daemonize=no"_s,
                            u"--use-pid-file=no"_s});
    if (!server->m_server.waitForStarted(5000))
        return fail(u"pulseaudio did not start: "_s + server->m_server.errorString());
    if (!server->waitUntilAnswering())
        return fail(u"pulseaudio did not answer; see "_s + folder + u"/server.log"_s);

    // Zeros keep both sinks running at a short latency, so captured audio flows at once, silence
    // is exact and playback is not held up by a sink waking from idle.
    const std::pair<QProcess *, const char *> feeds[] = {{&server->m_feeder, microphoneSink},
                                                         {&server->m_speakersFeeder, speakersSink}};
    for (const auto &[feeder, sink] : feeds) {
        feeder->setProcessEnvironment(server->clientEnvironment());
        feeder->setStandardInputFile(u"/dev/zero"_s);
        feeder->start(u"pacat"_s,
                      {u"--playback"_s, u"--latency-msec=20"_s, u"--format=float32le"_s, u"--rate=48000"_s,
                       u"--channels=1"_s, u"-d"_s, QLatin1StringView(sink)});
        if (!feeder->waitForStarted(5000))
            return fail(u"pacat did not start"_s);
    }
    if (!server->waitUntilFed())
        return fail(u"the microphone never delivered audio in real time"_s);
    return server;
}

SoundServer::~SoundServer()
{
    terminate(m_feeder);
    terminate(m_speakersFeeder);
    stop();
}

bool SoundServer::waitUntilAnswering() const
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_server.state() == QProcess::NotRunning)
            return false;
        QProcess probe;
        probe.setProcessEnvironment(clientEnvironment());
        if (runQuietly(probe, u"pactl"_s, {u"info"_s}, 5000))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool SoundServer::waitUntilFed() const
{
    // A fresh null sink renders in blocks of about two seconds until its clients' latency takes
    // hold, and a capture opened meanwhile lags that far behind for its whole life. So open short
    // captures until one hears the microphone as fast as the clock runs.
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QProcess listener;
        listener.setProcessEnvironment(clientEnvironment());
        listener.start(u"parec"_s,
                       {u"--raw"_s, u"--latency-msec=20"_s, u"--format=s16le"_s, u"--rate=48000"_s,
                        u"--channels=1"_s, u"-d"_s, QLatin1StringView(microphoneID)});
        if (!listener.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        qint64 bytes = 0;
        while (clock.elapsed() < 400 && listener.state() == QProcess::Running) {
            listener.waitForReadyRead(20);
            bytes += listener.readAllStandardOutput().size();
        }
        terminate(listener);
        if (bytes >= 48000 * 2 * 3 / 10)
            return true;
    }
    return false;
}

QString SoundServer::address() const
{
    return u"unix:"_s + m_folder.path() + u"/native"_s;
}

QProcessEnvironment SoundServer::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PULSE_SERVER"_s, address());
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_folder.path());
    return environment;
}

void SoundServer::useInThisProcess() const
{
    qputenv("PULSE_SERVER", address().toUtf8());
    qputenv("XDG_RUNTIME_DIR", m_folder.path().toUtf8());
}

QString SoundServer::speech(const QString &text, const QString &voice) const
{
    const QString path = m_folder.path() + u"/speech-"_s + QString::number(++m_speeches) + u".wav"_s;
    QProcess espeak;
    if (!runQuietly(espeak, u"espeak-ng"_s, {u"-v"_s, voice, u"-w"_s, path, text}, 30000))
        return {};
    return path;
}

std::unique_ptr<QProcess> SoundServer::playIntoMicrophone(const QString &wavPath) const
{
    auto player = std::make_unique<QProcess>();
    player->setProcessEnvironment(clientEnvironment());
    player->start(u"paplay"_s, {u"-d"_s, QLatin1StringView(microphoneSink), wavPath});
    return player;
}

void SoundServer::stop()
{
    terminate(m_server);
}

QString SoundServer::missingServerAddress(const QTemporaryDir &folder)
{
    return u"unix:"_s + folder.path() + u"/no-server-here"_s;
}

} // namespace tarnwick::testing
