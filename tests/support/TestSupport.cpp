#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

QT_BEGIN_NAMESPACE
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace tarnwick {
void PrintTo(const Take &take, std::ostream *os)
{
    *os << "Take{" << uuidText(take.id).toStdString() << ", " << take.blockID.toStdString() << ", "
        << take.fileName.toStdString() << ", " << take.createdAt.toString(Qt::ISODateWithMs).toStdString() << ", "
        << (take.selected ? "selected" : "not selected") << '}';
}
} // namespace tarnwick

namespace tarnwick::testing {

namespace {

bool run(const QString &program, const QStringList &arguments)
{
    return runProgram(program, arguments).exitCode == 0;
}

} // namespace

bool waitFor(const std::function<bool()> &condition, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return condition();
}

std::optional<QString> errorOf(const std::function<void()> &step)
{
    try {
        step();
    } catch (const StudioError &error) {
        return error.message();
    }
    return std::nullopt;
}

ScriptBlock sampleBlock(const QString &id, const QString &number)
{
    return ScriptBlock{.id = id,
                       .number = number,
                       .videoRussian = std::nullopt,
                       .videoEnglish = std::nullopt,
                       .russian = u"Привет, мир."_s,
                       .english = u"Hello, world."_s,
                       .voiceStatus = std::nullopt,
                       .voiceNote = std::nullopt};
}

ScriptBlock spokenBlock(const QString &id, const QString &number, const QString &russian, const QString &english)
{
    ScriptBlock block = sampleBlock(id, number);
    block.russian = russian;
    block.english = english;
    return block;
}

Take sampleTake(const QString &blockID)
{
    const QUuid id = QUuid::createUuid();
    return Take{.id = id,
                .blockID = blockID,
                .fileName = uuidText(id) + u".wav"_s,
                .createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC),
                .selected = false};
}

Take takeNamed(const QString &fileName)
{
    Take take = sampleTake(u"b1"_s);
    take.fileName = fileName;
    return take;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << path.toStdString();
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

Child::Child(const std::function<void()> &steps)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(channel[0]);
        char done = 0;
        try {
            steps();
            done = 1;
        } catch (...) {
        }
        (void)::write(channel[1], &done, 1);
        for (;;)
            ::pause();
    }
    ::close(channel[1]);
    char done = 0;
    m_reached = m_pid > 0 && ::read(channel[0], &done, 1) == 1 && done == 1;
    ::close(channel[0]);
}

void Child::kill()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

Wav readWav(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<double> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(std::max<sf_count_t>(
        sf_read_double(file, samples.data(), static_cast<sf_count_t>(samples.size())), 0)));
    sf_close(file);
    Wav wav{info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_24) && info.channels == 1 && info.samplerate == 48000,
            static_cast<double>(info.frames) / std::max(info.samplerate, 1), 0.0};
    for (const double sample : samples)
        wav.peak = std::max(wav.peak, std::abs(sample));
    return wav;
}

void writeSilence(const QString &path, int seconds)
{
    SF_INFO info{0, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_write_int(file, std::vector<int>(48000 * std::size_t(seconds)).data(), 48000 * seconds);
    sf_close(file);
}

std::unique_ptr<QProcess> startProgram(const QString &program, const QStringList &arguments,
                                       const QProcessEnvironment &environment)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(program, arguments);
    return process;
}

ProgramResult finish(QProcess &process, int timeoutMs)
{
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    return ProgramResult{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
               QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

ScratchMount::~ScratchMount()
{
    if (!m_path.isEmpty())
        run(u"umount"_s, {u"-l"_s, m_path});
}

std::unique_ptr<ScratchMount> ScratchMount::tmpfs(qint64 bytes)
{
    std::unique_ptr<ScratchMount> mount(new ScratchMount);
    const QString path = mount->m_dir.filePath(u"mnt"_s);
    QDir().mkpath(path);
    if (!run(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size="_s + QString::number(bytes), u"tmpfs"_s, path}))
        return nullptr;
    mount->m_path = path;
    return mount;
}

void ScratchMount::unfill() const
{
    QFile::remove(m_path + u"/filler"_s);
}

bool ScratchMount::setReadOnly(bool readOnly) const
{
    return run(u"mount"_s, {u"-o"_s, readOnly ? u"remount,ro"_s : u"remount,rw"_s, m_path});
}

void ScratchMount::fill() const
{
    QFile filler(m_path + u"/filler"_s);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray chunk(4096, 'x');
    while (filler.write(chunk) == chunk.size()) {
    }
}

} // namespace tarnwick::testing
