#include "audio/AudioController.h"
#include "audio/QtAudioBackend.h"
#include "support/SoundServer.h"
#include "support/TestSupport.h"
#include "support/WavFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {
namespace {

using ::tarnwick::testing::readWav;
using ::tarnwick::testing::sampleTake;
using ::tarnwick::testing::ScratchMount;
using ::tarnwick::testing::SoundServer;
using ::tarnwick::testing::Wav;

constexpr int rate = QtAudioBackend::sampleRate;
const QString microphone = QLatin1StringView(SoundServer::microphoneID);

void writeTone(const QString &path, double seconds)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<double> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.3 * std::sin(2.0 * M_PI * 440.0 * static_cast<double>(i) / rate);
    sf_write_double(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

/// Runs the event loop until `done` holds; false when `milliseconds` ran out first.
bool waitUntil(const std::function<bool()> &done, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void runEvents(int milliseconds)
{
    waitUntil([] { return false; }, milliseconds);
}

/// The real backend against a private sound server. One server serves the whole suite, since
/// Qt Multimedia connects to the server once per process.
class QtAudioBackendTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_server = SoundServer::start(&s_whyNot).release();
        if (s_server)
            s_server->useInThisProcess();
    }

    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(s_server, nullptr) << s_whyNot.toStdString();
        ASSERT_TRUE(m_dir.isValid());
    }

    std::unique_ptr<AudioController> makeController(const QString &inputID = microphone)
    {
        auto controller = std::make_unique<AudioController>(std::make_unique<QtAudioBackend>());
        controller->setInputDeviceID(inputID);
        controller->onRecordingError = [this](const QString &message) { m_errors.append(message); };
        return controller;
    }

    /// Runs the recorder helper against `environment`; the caller waits for or kills it.
    static std::unique_ptr<QProcess> recordInChild(const QProcessEnvironment &environment,
                                                   const QString &path,
                                                   double seconds)
    {
        auto child = std::make_unique<QProcess>();
        child->setProcessEnvironment(environment);
        child->start(QStringLiteral(TARNWICK_RECORD_TAKE_PATH), {path, QString::number(seconds), microphone});
        return child;
    }

    static bool waitForLine(QProcess &child, const QByteArray &line, int milliseconds)
    {
        const QDeadlineTimer deadline(milliseconds);
        QByteArray seen;
        while (!deadline.hasExpired() && child.state() != QProcess::NotRunning) {
            child.waitForReadyRead(100);
            seen += child.readAllStandardOutput();
            if (seen.contains(line))
                return true;
        }
        return false;
    }

    static inline SoundServer *s_server = nullptr;
    static inline QString s_whyNot;
    QTemporaryDir m_dir;
    QStringList m_errors;
};

// --- recording ----------------------------------------------------------------------------------

TEST_F(QtAudioBackendTest, ListsTheVirtualMicrophoneByItsSourceName)
{
    const QList<AudioInputDevice> inputs = QtAudioBackend().inputDevices();
    const bool listed = std::any_of(inputs.begin(), inputs.end(),
                                    [](const AudioInputDevice &input) { return input.id == microphone; });
    EXPECT_TRUE(listed);
}

TEST_F(QtAudioBackendTest, SpeechBecomesA24Bit48KilohertzMonoTakeOfTheRightLength)
{
    const QString speech = s_server->speech(u"Проверка записи"_s);
    ASSERT_FALSE(speech.isEmpty());
    ASSERT_LT(readWav(speech).seconds(), 1.8) << "the take's last second must be free of speech";

    const QString path = m_dir.filePath(u"take.wav"_s);
    auto controller = makeController();
    float highest = 0.0f;
    QObject::connect(controller.get(), &AudioController::levelChanged, controller.get(),
                     [&] { highest = std::max(highest, controller->level()); });

    controller->start(path);
    QElapsedTimer elapsed;
    elapsed.start();
    const std::unique_ptr<QProcess> player = s_server->playIntoMicrophone(speech);
    waitUntil([&] { return elapsed.elapsed() >= 3000; }, 10000);
    controller->stopRecording();
    const double seconds = static_cast<double>(elapsed.elapsed()) / 1000.0;
    player->waitForFinished(10000);

    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(u"; "_s).toStdString();
    const Wav wav = readWav(path);
    ASSERT_TRUE(wav.readable);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(wav.info.samplerate, 48000);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_NEAR(wav.seconds(), seconds, seconds * 0.05);
    EXPECT_GT(wav.peak(0.0, 2.0), 0.05) << "speech did not reach the take";
    EXPECT_LT(wav.decibels(2.6, 3.0), -60.0) << "the silent microphone was not silent";
    EXPECT_GT(highest, 0.1f) << "the level never rose above the floor";
}

TEST_F(QtAudioBackendTest, TheChosenInputIsTheOneRecorded)
{
    const QString speech = s_server->speech(u"Раз, два, три"_s);
    ASSERT_FALSE(speech.isEmpty());
    for (const char *input : {SoundServer::microphoneID, SoundServer::quietMicrophoneID}) {
        SCOPED_TRACE(input);
        const QString path = m_dir.filePath(QLatin1StringView(input) + u".wav"_s);
        auto controller = makeController(QLatin1StringView(input));
        controller->start(path);
        const std::unique_ptr<QProcess> player = s_server->playIntoMicrophone(speech);
        ASSERT_TRUE(player->waitForFinished(10000));
        runEvents(200);
        controller->stopRecording();

        const Wav wav = readWav(path);
        ASSERT_TRUE(wav.readable);
        if (QLatin1StringView(input) == microphone)
            EXPECT_GT(wav.peak(0.0, wav.seconds()), 0.05);
        else
            EXPECT_LT(wav.decibels(0.0, wav.seconds()), -60.0) << "speech reached an input not chosen";
    }
}

TEST_F(QtAudioBackendTest, AVanishedInputFallsBackToTheDefault)
{
    const QString path = m_dir.filePath(u"take.wav"_s);
    auto controller = makeController(u"unplugged_microphone"_s);
    controller->start(path);
    runEvents(500);
    controller->stopRecording();

    EXPECT_TRUE(m_errors.isEmpty());
    EXPECT_GT(readWav(path).seconds(), 0.25);
}

TEST_F(QtAudioBackendTest, AFullDiskEndsTheTakeWithItsOwnMessage)
{
    const std::optional<ScratchMount> disk = ScratchMount::tmpfs(64 * 1024);
    REQUIRE_MOUNT(disk);
    auto controller = makeController();
    controller->start(disk->path() + u"/take.wav"_s);

    EXPECT_TRUE(waitUntil([&] { return !m_errors.isEmpty(); }, 10000));
    EXPECT_EQ(m_errors, QStringList{u"Не удалось записать звук в файл: на диске нет места"_s});
    EXPECT_FALSE(controller->recording());
}

TEST_F(QtAudioBackendTest, AFolderThatCannotHoldTheFileIsAClearError)
{
    auto controller = makeController();
    EXPECT_THROW_MESSAGE(controller->start(m_dir.filePath(u"missing/take.wav"_s)),
                         u"Не удалось создать файл записи «"_s + m_dir.filePath(u"missing/take.wav"_s)
                             + u"»: нет такого файла или папки"_s);
    EXPECT_FALSE(controller->recording());
}

// --- a recorder in a process of its own ---------------------------------------------------------

TEST_F(QtAudioBackendTest, KilledRecorderLeavesAReadableTake)
{
    const QString path = m_dir.filePath(u"killed.wav"_s);
    const std::unique_ptr<QProcess> child = recordInChild(s_server->clientEnvironment(), path, 60.0);
    ASSERT_TRUE(waitForLine(*child, "recording", 20000)) << child->readAllStandardError().toStdString();
    QThread::msleep(2000);
    ::kill(static_cast<pid_t>(child->processId()), SIGKILL);
    ASSERT_TRUE(child->waitForFinished(10000));

    const Wav wav = readWav(path);
    ASSERT_TRUE(wav.readable);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_GE(wav.seconds(), 1.5);
}

TEST_F(QtAudioBackendTest, WithoutASoundServerStartFailsAndStaysIdle)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PULSE_SERVER"_s, SoundServer::missingServerAddress(m_dir));
    const QString path = m_dir.filePath(u"none.wav"_s);
    const std::unique_ptr<QProcess> child = recordInChild(environment, path, 1.0);
    ASSERT_TRUE(child->waitForFinished(30000));

    EXPECT_EQ(child->exitCode(), 2);
    const QStringList lines = QString::fromUtf8(child->readAllStandardError()).split(u'\n');
    EXPECT_TRUE(lines.contains(u"Микрофон не найден: нет ни одного устройства записи или звуковой сервер не запущен"_s))
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(u"idle"_s));
    EXPECT_FALSE(QFileInfo::exists(path)) << "no file is promised when no take started";
}

TEST_F(QtAudioBackendTest, ListsNoInputsWithoutASoundServer)
{
    // Checked in a child: Qt Multimedia connects to a server once per process.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PULSE_SERVER"_s, SoundServer::missingServerAddress(m_dir));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(TARNWICK_RECORD_TAKE_PATH), {u"--list-inputs"_s});
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(child.readAllStandardOutput(), QByteArray());
}

TEST_F(QtAudioBackendTest, ServerDyingMidTakeEndsItWithoutAHang)
{
    QString whyNot;
    const std::unique_ptr<SoundServer> doomed = SoundServer::start(&whyNot);
    ASSERT_NE(doomed, nullptr) << whyNot.toStdString();
    const QString path = m_dir.filePath(u"cut.wav"_s);
    const std::unique_ptr<QProcess> child = recordInChild(doomed->clientEnvironment(), path, 60.0);
    ASSERT_TRUE(waitForLine(*child, "recording", 20000)) << child->readAllStandardError().toStdString();
    QThread::msleep(1000);

    doomed->stop();

    ASSERT_TRUE(child->waitForFinished(20000)) << "the recorder hung when the server went away";
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child->exitCode(), 3);
    EXPECT_TRUE(QString::fromUtf8(child->readAllStandardError())
                    .contains(u"Устройство прервало запись; проверьте сохранённый звук"_s));
    EXPECT_GE(readWav(path).seconds(), 0.5);
}

// --- playback -----------------------------------------------------------------------------------

TEST_F(QtAudioBackendTest, PlaybackPausesResumesWhereItWasAndFinishes)
{
    const QString path = m_dir.filePath(u"tone.wav"_s);
    writeTone(path, 4.0);
    const Take take = sampleTake(u"b1"_s);
    auto controller = makeController();
    QList<std::optional<QUuid>> seen;
    QObject::connect(controller.get(), &AudioController::playingIDChanged, controller.get(),
                     [&] { seen.append(controller->playingID()); });

    controller->togglePlayback(take, path);
    EXPECT_EQ(controller->playingID(), take.id);
    runEvents(1500);
    EXPECT_EQ(controller->playingID(), take.id) << "a 4 s take ended early";

    controller->togglePlayback(take, path);
    EXPECT_EQ(controller->playingID(), std::nullopt);
    runEvents(1000);
    EXPECT_EQ(controller->playingID(), std::nullopt) << "a paused take finished";

    controller->togglePlayback(take, path);
    EXPECT_EQ(controller->playingID(), take.id);
    QElapsedTimer resumed;
    resumed.start();
    ASSERT_TRUE(waitUntil([&] { return !controller->playingID(); }, 15000)) << "no finish event";
    // About 2.5 s remain; starting over would take 4 s.
    EXPECT_LT(resumed.elapsed(), 3600);
    EXPECT_EQ(seen.last(), std::nullopt);

    controller->togglePlayback(take, path);
    EXPECT_EQ(controller->playingID(), take.id) << "a finished take plays again";
    controller->stopPlayback();
}

TEST_F(QtAudioBackendTest, ATakeThatIsNotAudioCannotBePlayed)
{
    const QString path = m_dir.filePath(u"broken.wav"_s);
    ::tarnwick::testing::writeBytes(path, "RIFF but not really");
    auto controller = makeController();
    EXPECT_THROW_MESSAGE(controller->togglePlayback(sampleTake(u"b1"_s), path),
                         u"Не удалось открыть звук дубля «"_s + path
                             + u"»: это не звуковой файл WAV или его нет"_s);
    EXPECT_EQ(controller->playingID(), std::nullopt);
}

} // namespace
} // namespace tarnwick
