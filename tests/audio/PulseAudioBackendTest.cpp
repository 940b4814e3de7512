// The real backend against a private sound server: the server and the medium changing under a
// take. The road of a good take, with its format and sound, is the command line's end-to-end test.
#include "audio/AudioController.h"
#include "audio/PulseAudioBackend.h"
#include "support/SoundServer.h"
#include "support/TestSupport.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

class PulseAudioBackendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server = SoundServer::start(&m_whyNot);
        ASSERT_NE(m_server, nullptr) << m_whyNot.toStdString();
        m_server->useInThisProcess();
        if (m_controller) // a restarted server: the same process goes on with it
            return;
        m_controller = std::make_unique<AudioController>(std::make_unique<PulseAudioBackend>());
        m_controller->onRecordingError = [this](const QString &message) { m_errors.append(message); };
    }

    bool pactl(const QStringList &arguments) const
    {
        return runProgram(u"pactl"_s, arguments, m_server->clientEnvironment()).exitCode == 0;
    }

    /// Records `ms` of the input in use into a fresh file and returns what the file holds.
    Wav take(int ms)
    {
        const QString path = m_dir.filePath(QString::number(++m_takes) + u".wav"_s);
        m_controller->start(path);
        waitFor([] { return false; }, ms);
        m_controller->stopRecording();
        return readWav(path);
    }

    void TearDown() override { m_controller.reset(); } // before its server

    std::unique_ptr<SoundServer> m_server;
    QString m_whyNot;
    QTemporaryDir m_dir;
    std::unique_ptr<AudioController> m_controller;
    QStringList m_errors;
    int m_takes = 0;
};

TEST_F(PulseAudioBackendTest, AFullDiskEndsTheTakeWithItsOwnMessage)
{
    const std::unique_ptr<ScratchMount> disk = ScratchMount::tmpfs(64 * 1024);
    REQUIRE_MOUNT(disk);
    m_controller->start(disk->path() + u"/take.wav"_s);
    waitFor([&] { return !m_errors.isEmpty(); }, 10000);
    EXPECT_EQ(m_errors, QStringList{u"Не удалось записать звук в файл: на диске нет места"_s});
    EXPECT_FALSE(m_controller->recording());
}

// Once connected, a client used to stay without a server for good after a restart.
TEST_F(PulseAudioBackendTest, AServerThatDiesEndsTheTakeAndTheNextTakeRecordsOnItsSuccessor)
{
    m_controller->start(m_dir.filePath(u"cut.wav"_s));
    waitFor([] { return false; }, 400);
    m_server.reset();
    waitFor([&] { return !m_errors.isEmpty(); }, 5000);
    EXPECT_EQ(m_errors, QStringList{u"Устройство прервало запись; проверьте сохранённый звук"_s});
    EXPECT_GT(readWav(m_dir.filePath(u"cut.wav"_s)).seconds, 0.3); // what was captured stays

    SetUp();
    EXPECT_NEAR(take(500).seconds, 0.5, 0.02);
}

TEST_F(PulseAudioBackendTest, InputsThatComeAndGoAreListedAndAnnounced)
{
    const auto listed = [this] {
        const QList<AudioInputDevice> inputs = m_controller->inputDevices();
        return std::any_of(inputs.cbegin(), inputs.cend(), [](const auto &input) { return input.id == u"extra"_s; });
    };
    ASSERT_FALSE(listed());
    waitFor([] { return false; }, 100); // the first list's announcement
    QSignalSpy announced(m_controller.get(), &AudioController::inputDevicesChanged);
    const ProgramResult module = runProgram(u"pactl"_s,
                                            {u"load-module"_s, u"module-remap-source"_s, u"source_name=extra"_s,
                                             u"master=tarnwick_speakers.monitor"_s},
                                            m_server->clientEnvironment());
    EXPECT_TRUE(waitFor([&] { return announced.count() == 1; }) && listed());
    ASSERT_TRUE(pactl({u"unload-module"_s, module.out.trimmed()}));
    EXPECT_TRUE(waitFor([&] { return announced.count() == 2; }) && !listed());
}

// The first input listed used to be taken for the default, whatever the server said.
TEST_F(PulseAudioBackendTest, TheServersDefaultSourceIsRecordedWhenNoneIsChosen)
{
    const std::unique_ptr<QProcess> voice = m_server->playIntoMicrophone(m_server->speech(u"Раз два три четыре"_s));
    const auto silenced = qScopeGuard([&] { voice->kill(), voice->waitForFinished(); });
    for (const auto *source : {SoundServer::quietMicrophoneID, SoundServer::microphoneID}) {
        SCOPED_TRACE(source);
        ASSERT_TRUE(pactl({u"set-default-source"_s, QLatin1StringView(source)}));
        const bool hearsTheVoice = take(300).peak > 0.05;
        EXPECT_EQ(hearsTheVoice, source == SoundServer::microphoneID);
    }
}
