#include "audio/AudioController.h"
#include "audio/FakeAudioBackend.h"
#include "support/TestSupport.h"

#include <QCoreApplication>


using namespace Qt::StringLiterals;

namespace tarnwick {
namespace {

class AudioControllerTest : public ::testing::Test
{
protected:
    AudioControllerTest()
    {
        auto backend = std::make_unique<FakeAudioBackend>();
        m_backend = backend.get();
        m_controller = std::make_unique<AudioController>(std::move(backend));
        m_controller->onRecordingError = [this](const QString &message) {
            m_errors.append(message);
            m_recordingWhenReported = m_controller->recording();
        };
    }

    // Recorder, player and timer events reach the controller through the main thread's queue.
    static void deliver() { QCoreApplication::processEvents(); }

    void tick(float decibels, std::optional<float> peak = {})
    {
        m_backend->readings.push_back({decibels, peak.value_or(decibels)});
        ASSERT_TRUE(m_backend->timer);
        m_backend->timer->tick();
        deliver();
    }

    static QList<float> floorHistory() { return QList<float>(52, 0.03f); }

    FakeAudioBackend *m_backend = nullptr;
    std::unique_ptr<AudioController> m_controller;
    QStringList m_errors;
    bool m_recordingWhenReported = true;
};

// --- starting a recording -----------------------------------------------------------------------

TEST_F(AudioControllerTest, StartRecordsIntoTheFileAndResetsTheMeter)
{
    m_controller->start(u"/takes/one.wav"_s);
    tick(-10.0f);
    m_controller->stopRecording();
    ASSERT_NE(m_controller->levelHistory(), floorHistory());

    m_controller->start(u"/takes/two.wav"_s);
    ASSERT_TRUE(m_backend->recorder);
    EXPECT_EQ(m_backend->recorder->url, u"/takes/two.wav"_s);
    EXPECT_TRUE(m_controller->recording());
    EXPECT_EQ(m_controller->levelHistory(), floorHistory());
    EXPECT_EQ(m_controller->powerHistory(), QList<float>(52, MeterReading{}.averagePower));
    EXPECT_THROW_MESSAGE(m_controller->start(u"/takes/three.wav"_s), u"Запись уже идёт"_s);
    EXPECT_EQ(m_backend->recorder->url, u"/takes/two.wav"_s);
    EXPECT_TRUE(m_backend->recorder->recordingNow);
}

// --- metering -----------------------------------------------------------------------------------

// A clip must outlive its tick and its take, or a clip at the end of a take is never seen.
TEST_F(AudioControllerTest, ASampleAtFullScaleLatchesTheClipUntilClearedOrTheNextTake)
{
    for (const auto &[peak, clips] : {std::pair{-0.02f, false}, {-0.01f, true}, {0.0f, true}}) {
        SCOPED_TRACE(peak);
        m_controller->start(u"/takes/one.wav"_s);
        tick(-20.0f, peak);
        tick(-40.0f);
        m_controller->stopRecording();
        EXPECT_EQ(m_controller->clipped(), clips);
        m_controller->start(u"/takes/two.wav"_s);
        EXPECT_FALSE(m_controller->clipped()) << "the next take starts unlit";
        tick(0.0f);
        ASSERT_TRUE(m_controller->clipped());
        m_controller->clearClip();
        EXPECT_FALSE(m_controller->clipped());
        m_controller->stopRecording();
    }
}

// --- failures the device reports on its own -----------------------------------------------------

TEST_F(AudioControllerTest, DeviceFailuresStopTheTakeAndReachTheOwner)
{
    struct Failure
    {
        const char *name;
        std::function<void(FakeRecorder &)> raise;
        QString message;
    };
    const Failure failures[] = {
        {"finished", [](FakeRecorder &r) { r.finishByDevice(true); }, u"Запись остановлена устройством"_s},
        {"broken", [](FakeRecorder &r) { r.finishByDevice(false); },
         u"Устройство прервало запись; проверьте сохранённый звук"_s},
        {"described encode error", [](FakeRecorder &r) { r.failEncoding(u"На диске нет места"_s); },
         u"На диске нет места"_s},
        {"bare encode error", [](FakeRecorder &r) { r.failEncoding({}); }, u"Ошибка записи звука"_s},
    };
    for (const Failure &failure : failures) {
        SCOPED_TRACE(failure.name);
        m_errors.clear();
        m_recordingWhenReported = true;
        m_controller->start(u"/takes/one.wav"_s);
        tick(-10.0f);

        failure.raise(*m_backend->recorder);
        EXPECT_TRUE(m_errors.isEmpty()) << "reported before the main thread's queue ran";
        deliver();

        EXPECT_EQ(m_errors, QStringList{failure.message});
        EXPECT_FALSE(m_recordingWhenReported) << "the recording must stop before the owner hears";
        EXPECT_FALSE(m_controller->recording());
        EXPECT_EQ(m_controller->level(), 0.0f);
        EXPECT_FALSE(m_backend->recorder);
        EXPECT_FALSE(m_backend->timer);
    }
}

} // namespace
} // namespace tarnwick
