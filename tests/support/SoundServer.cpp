#include "support/SoundServer.h"

#include "support/TestSupport.h"

using namespace Qt::StringLiterals;

namespace tarnwick::testing {

std::unique_ptr<SoundServer> SoundServer::start(Flavour flavour, QString *whyNot)
{
    std::unique_ptr<SoundServer> server(new SoundServer);
    // The script serves until its input closes, so even a killed test leaves no server behind.
    server->m_server.start(u"sh"_s, {QStringLiteral(TARNWICK_SOUND_SERVER_SCRIPT), server->m_folder.path(),
                                     flavour == Flavour::PipeWire ? u"pipewire"_s : u"pulseaudio"_s});
    if (server->m_server.waitForReadyRead(30000))
        server->m_address = QString::fromUtf8(server->m_server.readLine()).trimmed();
    if (server->m_address.isEmpty()) {
        if (whyNot)
            *whyNot = QString::fromUtf8(server->m_server.readAllStandardError());
        return nullptr;
    }
    return server;
}

SoundServer::~SoundServer()
{
    m_server.closeWriteChannel();
    if (!m_server.waitForFinished(10000))
        m_server.kill();
    m_server.waitForFinished();
}

QProcessEnvironment SoundServer::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PULSE_SERVER"_s, m_address);
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_folder.path());
    return environment;
}

void SoundServer::useInThisProcess() const
{
    qputenv("PULSE_SERVER", m_address.toUtf8());
    qputenv("XDG_RUNTIME_DIR", m_folder.path().toUtf8());
}

QString SoundServer::speech(const QString &text) const
{
    const QString path = m_folder.filePath(u"speech.wav"_s);
    return runProgram(u"espeak-ng"_s, {u"-v"_s, u"ru"_s, u"-w"_s, path, text}).exitCode == 0 ? path : QString();
}

std::unique_ptr<QProcess> SoundServer::playIntoMicrophone(const QString &wavPath) const
{
    return startProgram(u"paplay"_s, {u"-d"_s, QLatin1StringView(microphoneSink), wavPath}, clientEnvironment());
}

QString SoundServer::missingServerAddress(const QTemporaryDir &folder)
{
    return u"unix:"_s + folder.path() + u"/no-server-here"_s;
}

QByteArray SoundServer::command(const QByteArray &line)
{
    m_server.write(line + '\n');
    return m_server.waitForReadyRead(30000) ? m_server.readLine().trimmed() : QByteArray();
}

std::unique_ptr<QProcess> SoundServer::startClock(const QString &rawPath) const
{
    return startProgram(u"sh"_s, {u"-c"_s, u"exec parec --raw --latency-msec=10 --format=s32le --rate=48000 --channels=1 -d "_s
                                      + QLatin1StringView(microphoneID) + u" >\"$0\""_s, rawPath}, clientEnvironment());
}

} // namespace tarnwick::testing
