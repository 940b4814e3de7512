#include "ui/StudioView.h"

#include "audio/QtAudioBackend.h"
#include "core/Manifest.h"
#include "studio/StudioFixture.h"
#include "support/SoundServer.h"
#include "ui/ScriptTableModel.h"
#include "ui/ViewSettings.h"

#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

// The whole road of one take through the window, with real sound: a private PulseAudio server
// whose microphone hears espeak-ng. Needs pulseaudio and espeak-ng, as the audio tests do.
TEST(StudioWindowSoundTest, RecordTwoSecondsAndSaveFromTheWindow)
{
    QString whyNot;
    const std::unique_ptr<SoundServer> server = SoundServer::start(&whyNot);
    ASSERT_NE(server, nullptr) << whyNot.toStdString();
    server->useInThisProcess();

    QTemporaryDir dir;
    QHash<QString, QString> defaults;
    auto ownedAlert = std::make_unique<FakeAlert>();
    const FakeAlert *alert = ownedAlert.get();
    Studio studio(dir.filePath(u"data"_s),
                  StudioServices{std::make_unique<FakeMicrophone>(), std::make_unique<FakeTrash>(dir.filePath(u"trash"_s)),
                                 std::make_unique<FakeChooser>(), std::move(ownedAlert),
                                 std::make_unique<MemoryDefaults>(defaults)},
                  std::make_unique<QtAudioBackend>(), false);
    studio.open(ProjectStore::create(dir.filePath(u"data/Projects"_s), {sampleBlock(u"b1"_s, u"1"_s)}, u"Урок"_s));
    studio.setInputDevice(QString::fromLatin1(SoundServer::microphoneID));
    MemoryDefaults viewDefaults(defaults);
    ViewSettings settings(viewDefaults);
    StudioView view(studio, settings);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    auto *record = view.findChild<QPushButton *>(u"record"_s);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(record->isVisible() && record->isEnabled());
    const QString speech = server->speech(u"Солнце светит, панель работает"_s);
    ASSERT_FALSE(speech.isEmpty());
    QTest::mouseClick(record, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !studio.busy(); }, 10000));
    ASSERT_TRUE(studio.recording()) << studio.message().toStdString();
    const std::unique_ptr<QProcess> player = server->playIntoMicrophone(speech);
    QTest::qWait(2000);
    QTest::mouseClick(view.findChild<QPushButton *>(u"save"_s), Qt::LeftButton);
    QTest::qWait(50);

    EXPECT_EQ(studio.message(), u"Дубль сохранён"_s);
    EXPECT_TRUE(alert->shown.isEmpty());
    const ProjectStore &store = *studio.store();
    const QList<Take> onDisk = decodeManifest(readBytes(store.manifestFile()), store.manifestFile()).takes;
    ASSERT_EQ(onDisk.size(), 1);
    const Wav wav = readWav(store.audioURL(onDisk.constFirst()));
    EXPECT_TRUE(wav.is24BitMono48k);
    EXPECT_GT(wav.seconds, 1.0);
    EXPECT_GT(wav.peak, 0.05); // the speech, not silence
    const QAbstractItemModel *model = view.table()->model();
    EXPECT_EQ(model->index(0, ScriptTableModel::status).data().toString(), u"Утверждено"_s);
    player->kill();
    player->waitForFinished();
}
