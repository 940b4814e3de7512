// The real backend against a private sound server, where the medium fails under a take. The
// road of a good take, with its format and sound, is the command line's end-to-end test.
#include "audio/AudioController.h"
#include "audio/QtAudioBackend.h"
#include "support/SoundServer.h"
#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

TEST(QtAudioBackendTest, AFullDiskEndsTheTakeWithItsOwnMessage)
{
    QString whyNot;
    const std::unique_ptr<SoundServer> server = SoundServer::start(&whyNot);
    ASSERT_NE(server, nullptr) << whyNot.toStdString();
    server->useInThisProcess(); // before Qt Multimedia is first used
    const std::unique_ptr<ScratchMount> disk = ScratchMount::tmpfs(64 * 1024);
    REQUIRE_MOUNT(disk);
    AudioController controller(std::make_unique<QtAudioBackend>());
    controller.setInputDeviceID(QLatin1StringView(SoundServer::microphoneID));
    QStringList errors;
    controller.onRecordingError = [&](const QString &message) { errors.append(message); };
    controller.start(disk->path() + u"/take.wav"_s);
    waitFor([&] { return !errors.isEmpty(); }, 10000);
    EXPECT_EQ(errors, QStringList{u"Не удалось записать звук в файл: на диске нет места"_s});
    EXPECT_FALSE(controller.recording());
}
