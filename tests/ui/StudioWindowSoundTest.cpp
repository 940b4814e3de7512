#include "audio/PulseAudioBackend.h"
#include "core/Manifest.h"
#include "support/SoundServer.h"
#include "ui/ScriptTableModel.h"
#include "ui/WindowFixture.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class StudioWindowSoundTest : public WindowFixture, public ::testing::WithParamInterface<SoundServer::Flavour>
{
protected:
    QString m_whyNot;
    const std::unique_ptr<SoundServer> m_server = SoundServer::start(GetParam(), &m_whyNot);
    void TearDown() override
    {
        m_view.reset(); // the window and its sound go before the server
        m_studio.reset();
    }
};

} // namespace

// The whole road of one take through the window, with real sound: a private server of each
// flavour whose microphone hears espeak-ng.
TEST_P(StudioWindowSoundTest, RecordTwoSecondsAndSaveFromTheWindow)
{
    ASSERT_NE(m_server, nullptr) << m_whyNot.toStdString();
    m_server->useInThisProcess();
    Studio &studio = startStudio(false, std::make_unique<PulseAudioBackend>());
    studio.open(
        ProjectStore::create(m_dataFolder + u"/Projects"_s, {sampleBlock(u"b1"_s, u"1"_s)}, u"Урок"_s));
    studio.setInputDevice(QString::fromLatin1(SoundServer::microphoneID));
    showWindow();

    auto *record = widget(u"record"_s);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(record->isVisible() && record->isEnabled());
    const QString speech = m_server->speech(u"Солнце светит, панель работает"_s);
    ASSERT_FALSE(speech.isEmpty());
    QTest::mouseClick(record, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !studio.busy(); }, 10000));
    ASSERT_TRUE(studio.recording()) << studio.message().toStdString();
    const std::unique_ptr<QProcess> player = m_server->playIntoMicrophone(speech);
    QTest::qWait(2000);
    QTest::mouseClick(widget(u"save"_s), Qt::LeftButton);
    QTest::qWait(50);

    EXPECT_TRUE(studio.message().startsWith(u"Дубль сохранён"_s)) << studio.message().toStdString();
    EXPECT_TRUE(m_alert->shown.isEmpty());
    const QList<Take> onDisk = decodeManifest(readBytes(store().manifestFile()), {}).takes;
    ASSERT_EQ(onDisk.size(), 1);
    const Wav wav = readWav(store().audioURL(onDisk.constFirst()));
    EXPECT_TRUE(wav.is24BitMono48k);
    EXPECT_GT(wav.seconds, 1.0);
    EXPECT_GT(wav.peak, 0.05); // the speech, not silence
    EXPECT_EQ(table()->model()->index(0, ScriptTableModel::status).data().toString(), u"Утверждено"_s);
    player->kill();
    player->waitForFinished();
}

INSTANTIATE_TEST_SUITE_P(Servers, StudioWindowSoundTest,
                         ::testing::Values(SoundServer::Flavour::PulseAudio, SoundServer::Flavour::PipeWire),
                         [](const auto &row) {
                             return row.param == SoundServer::Flavour::PipeWire ? "PipeWire" : "PulseAudio";
                         });
