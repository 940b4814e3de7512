// The real backend against private sound servers, PulseAudio and PipeWire: the end of a take, and
// the server and the medium changing under it. The road of a good take, with its format and
// sound, is the command line's end-to-end test.
#include "audio/AudioController.h"
#include "audio/PulseAudioBackend.h"
#include "support/SoundServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;
using enum SoundServer::Flavour;

class PulseAudioBackendTest : public ::testing::TestWithParam<SoundServer::Flavour>
{
protected:
    void SetUp() override
    {
        ASSERT_NE(m_server = SoundServer::start(GetParam(), &m_whyNot), nullptr) << m_whyNot.toStdString();
        m_server->useInThisProcess();
        m_controller = std::make_unique<AudioController>(std::make_unique<PulseAudioBackend>());
        m_controller->onRecordingError = [this](const QString &message) { m_errors.append(message); };
    }

    /// Records `ms` of the input in use, from start returning to stop being called.
    QString take(int ms)
    {
        const QString path = m_dir.filePath(QString::number(entries(m_dir.path()).size()) + u".wav"_s);
        m_controller->start(path);
        waitFor([] { return false; }, ms);
        m_controller->stopRecording();
        return path;
    }

    QString m_whyNot;
    QTemporaryDir m_dir;
    std::unique_ptr<SoundServer> m_server;
    std::unique_ptr<AudioController> m_controller; // goes before its server
    QStringList m_errors;
};

// The audio still on its way at the stop used to be dropped: on PipeWire, 20-80 ms of every take.
TEST_P(PulseAudioBackendTest, ATakeHoldsTheMicrophoneUpToTheStop)
{
    // Noise, so that the take's last 10 ms lie in one place only of the clock's recording.
    std::vector<int> noise(48000 * 3);
    std::ranges::generate(noise, [random = std::minstd_rand(15)]() mutable { return int(random()) - (1 << 30); });
    const QString noisePath = m_dir.filePath(u"noise.wav"_s), clockPath = m_dir.filePath(u"clock.raw"_s);
    SF_INFO format{0, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(noisePath).constData(), SFM_WRITE, &format);
    sf_close((sf_write_int(file, noise.data(), static_cast<sf_count_t>(noise.size())), file));
    const std::unique_ptr<QProcess> clock = m_server->startClock(clockPath);
    const std::unique_ptr<QProcess> voice = m_server->playIntoMicrophone(noisePath);

    // The clock's frame 0 was caught at the earliest arrival time less the sound that had arrived.
    QElapsedTimer elapsed;
    elapsed.start();
    double frameZero = 1e9;
    const auto watch = [&](int ms) {
        waitFor([&] {
            if (const qint64 bytes = QFileInfo(clockPath).size(); bytes > 0)
                frameZero = std::min(frameZero, elapsed.nsecsElapsed() / 1e9 - bytes / 4 / 48000.0);
            return false;
        }, ms);
    };
    watch(500);
    const QString path = m_dir.filePath(u"tail.wav"_s);
    m_controller->start(path);
    watch(700);
    const double clockAtStop = (elapsed.nsecsElapsed() / 1e9 - frameZero) * 48000;
    m_controller->stopRecording();
    watch(300);

    SNDFILE *take = sf_open(QFile::encodeName(path).constData(), SFM_READ, &format); // reads the format anew
    std::vector<int> tail(480);
    ASSERT_TRUE(take && sf_seek(take, -480, SEEK_END) >= 0 && sf_read_int(take, tail.data(), 480) == 480);
    sf_close(take);
    const QByteArray raw = readBytes(clockPath);
    const auto *heard = reinterpret_cast<const int *>(raw.constData());
    const int *found = std::search(heard, heard + raw.size() / 4, tail.cbegin(), tail.cend(),
                                   [](int a, int b) { return std::abs(double(a) - b) < 4096; });
    EXPECT_NEAR((found - heard + 480 - clockAtStop) / 48.0, 0.0, 20.0) << "ms between the take's end and the stop";
}

// Once connected, a client used to stay without a server for good after a restart.
TEST_P(PulseAudioBackendTest, AServerThatDiesEndsTheTakeAndTheNextTakeRecordsWhenItIsBack)
{
    m_controller->start(m_dir.filePath(u"cut.wav"_s));
    waitFor([] { return false; }, 400);
    ASSERT_TRUE(m_server->kill());
    waitFor([&] { return !m_errors.isEmpty(); }, 5000);
    EXPECT_EQ(m_errors, QStringList{u"Устройство прервало запись; проверьте сохранённый звук"_s});
    EXPECT_GT(readWav(m_dir.filePath(u"cut.wav"_s)).seconds, 0.3); // what was captured stays
    ASSERT_TRUE(m_server->restart());
    EXPECT_NEAR(readWav(take(500)).seconds, 0.5, 0.02);
}

TEST_P(PulseAudioBackendTest, InputsThatComeAndGoAreListedAndAnnounced)
{
    const auto listed = [this] {
        return std::ranges::any_of(m_controller->inputDevices(), [](const auto &in) { return in.id == u"extra"_s; });
    };
    waitFor([] { return false; }, 100); // the first list's announcement
    QSignalSpy announced(m_controller.get(), &AudioController::inputDevicesChanged);
    ASSERT_TRUE(m_server->addInput(u"extra"_s));
    EXPECT_TRUE(waitFor([&] { return announced.count() == 1; }) && listed());
    ASSERT_TRUE(m_server->removeInput(u"extra"_s));
    EXPECT_TRUE(waitFor([&] { return announced.count() == 2; }) && !listed());
}

// The first input listed used to be taken for the default, whatever the server said.
TEST_P(PulseAudioBackendTest, TheServersDefaultSourceIsRecordedWhenNoneIsChosen)
{
    const std::unique_ptr<QProcess> voice = m_server->playIntoMicrophone(m_server->speech(u"Раз два три четыре"_s));
    for (const auto *source : {SoundServer::quietMicrophoneID, SoundServer::microphoneID}) {
        SCOPED_TRACE(source);
        ASSERT_TRUE(m_server->setDefaultInput(QLatin1StringView(source)));
        EXPECT_EQ(readWav(take(300)).peak > 0.05, source == SoundServer::microphoneID) << "hears the voice";
    }
}

// The file is loud outside the region, so an ignored start or end shows in what the speakers
// played, which the quiet microphone hears. It holds floats, as an editor may save a take: they
// used to play as silence.
TEST_P(PulseAudioBackendTest, ARegionPlaysAtItsGainHoldsItsPositionWhenPausedAndEnds)
{
    std::vector<float> samples(48000 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / 48000, amplitude = t < 0.3 || t >= 1.2 ? 0.9 : t >= 0.5 && t < 1.0 ? 0.5 : 0.0;
        samples[i] = float(amplitude * std::sin(2 * M_PI * 1000 * t));
    }
    const QString playedPath = m_dir.filePath(u"played.wav"_s), heardPath = m_dir.filePath(u"heard.wav"_s);
    SF_INFO format{0, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(playedPath).constData(), SFM_WRITE, &format);
    sf_close((sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size())), file));

    PulseAudioBackend backend;
    backend.setInputDeviceID(QLatin1StringView(SoundServer::quietMicrophoneID));
    const std::unique_ptr<AudioRecorder> speakers = backend.createRecorder(heardPath);
    ASSERT_TRUE(speakers->record());
    const std::unique_ptr<AudioPlayer> player = backend.createPlayer(playedPath, {0.3, 1.2, -6.0});
    QSignalSpy finished(player.get(), &AudioPlayer::finished);
    ASSERT_TRUE(player->play());
    waitFor([] { return false; }, 300);
    player->pause();
    const double held = player->position();
    waitFor([] { return false; }, 300);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(player->position(), held);
    EXPECT_NEAR(held, 0.6, 0.1);
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(waitFor([&] { return finished.count() == 1; }, 3000));
    EXPECT_NEAR(player->position(), 1.2, 0.02);
    speakers->stop();
    EXPECT_NEAR(readWav(heardPath).peak, 0.5 * std::pow(10.0, -6.0 / 20), 0.01) << "the tone, 6 dB down, and no more";
}

INSTANTIATE_TEST_SUITE_P(Servers, PulseAudioBackendTest, ::testing::Values(PulseAudio, PipeWire),
                         [](const auto &row) { return row.param == PipeWire ? "PipeWire" : "PulseAudio"; });
