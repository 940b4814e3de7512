#include "audio/AudioController.h"
#include "audio/FakeAudioBackend.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tarnwick {
namespace {

using ::tarnwick::testing::sampleTake;

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

    void tick(float decibels)
    {
        m_backend->powers.push_back(decibels);
        ASSERT_TRUE(m_backend->timer);
        m_backend->timer->tick();
        deliver();
    }

    static QList<float> floorHistory() { return QList<float>(52, 0.03f); }

    FakeAudioBackend *m_backend = nullptr;
    std::unique_ptr<AudioController> m_controller;
    QStringList m_errors;
    bool m_recordingWhenReported = true;
    const Take m_takeA = sampleTake(u"b1"_s);
    const Take m_takeB = sampleTake(u"b2"_s);
};

// --- published state ----------------------------------------------------------------------------

TEST_F(AudioControllerTest, FreshControllerIsIdleWithAFloorHistory)
{
    EXPECT_FALSE(m_controller->recording());
    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    EXPECT_EQ(m_controller->level(), 0.0f);
    EXPECT_EQ(m_controller->recordingDuration(), 0.0);
    EXPECT_EQ(m_controller->levelHistory(), floorHistory());
}

TEST_F(AudioControllerTest, PropertiesAreReadableThroughTheMetaObject)
{
    // Views bind by property name; a missing NOTIFY or a wrong type breaks them silently.
    for (const char *name : {"recording", "playingID", "level", "levelHistory", "recordingDuration"}) {
        SCOPED_TRACE(name);
        const QMetaObject *meta = m_controller->metaObject();
        const QMetaProperty property = meta->property(meta->indexOfProperty(name));
        ASSERT_TRUE(property.isValid());
        EXPECT_TRUE(property.hasNotifySignal());
        EXPECT_TRUE(property.read(m_controller.get()).isValid());
    }
}

// --- starting a recording -----------------------------------------------------------------------

TEST_F(AudioControllerTest, StartRecordsIntoTheFileAndResetsTheMeter)
{
    m_controller->start(u"/takes/one.wav"_s);
    tick(-10.0f);
    m_controller->stopRecording();
    ASSERT_NE(m_controller->levelHistory(), floorHistory());

    QSignalSpy recordingSpy(m_controller.get(), &AudioController::recordingChanged);
    QSignalSpy historySpy(m_controller.get(), &AudioController::levelHistoryChanged);
    m_controller->start(u"/takes/two.wav"_s);

    ASSERT_TRUE(m_backend->recorder);
    EXPECT_EQ(m_backend->recorder->url, u"/takes/two.wav"_s);
    EXPECT_TRUE(m_backend->recorder->recordingNow);
    EXPECT_TRUE(m_controller->recording());
    EXPECT_EQ(recordingSpy.count(), 1);
    EXPECT_GE(historySpy.count(), 1);
    EXPECT_EQ(m_controller->levelHistory(), floorHistory());
    EXPECT_EQ(m_controller->recordingDuration(), 0.0);
    ASSERT_TRUE(m_backend->timer);
    EXPECT_EQ(m_backend->timer->interval, std::chrono::milliseconds(60));
}

TEST_F(AudioControllerTest, SecondStartIsRefusedAndTheFirstTakeGoesOn)
{
    m_controller->start(u"/takes/one.wav"_s);
    const QPointer<FakeRecorder> first = m_backend->recorder;

    EXPECT_THROW_MESSAGE(m_controller->start(u"/takes/two.wav"_s), u"Запись уже идёт"_s);

    EXPECT_EQ(m_backend->recordersMade, 1);
    EXPECT_EQ(m_backend->recordersStopped, 0);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->recordingNow);
    EXPECT_TRUE(m_controller->recording());
    tick(0.0f);
    EXPECT_EQ(m_controller->level(), 1.0f);
}

TEST_F(AudioControllerTest, StartWhileRecordingLeavesPlaybackAlone)
{
    // Refusing the second start must not reach the "stop playback" step.
    m_controller->start(u"/takes/one.wav"_s);
    QSignalSpy playingSpy(m_controller.get(), &AudioController::playingIDChanged);
    EXPECT_THROW_MESSAGE(m_controller->start(u"/takes/two.wav"_s), u"Запись уже идёт"_s);
    EXPECT_EQ(playingSpy.count(), 0);
}

TEST_F(AudioControllerTest, StartStopsPlaybackEvenWhenRecordingDoesNotBegin)
{
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    m_backend->recordSucceeds = false;

    EXPECT_THROW_MESSAGE(m_controller->start(u"/takes/one.wav"_s), u"Микрофон не начал запись"_s);

    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    EXPECT_EQ(m_backend->playersStopped, 1);
    EXPECT_FALSE(m_backend->player);
    EXPECT_FALSE(m_controller->recording());
    EXPECT_FALSE(m_backend->recorder) << "the recorder that did not start is discarded";
    EXPECT_FALSE(m_backend->timer) << "no meter timer without a recording";
}

TEST_F(AudioControllerTest, RecorderCreationErrorPassesThroughUnchanged)
{
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    m_backend->recorderError = u"Микрофон не найден"_s;

    EXPECT_THROW_MESSAGE(m_controller->start(u"/takes/one.wav"_s), u"Микрофон не найден"_s);

    EXPECT_FALSE(m_controller->recording());
    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    EXPECT_FALSE(m_backend->timer);

    m_backend->recorderError.reset();
    m_controller->start(u"/takes/one.wav"_s);
    EXPECT_TRUE(m_controller->recording()) << "a failed start leaves the controller usable";
}

// --- metering -----------------------------------------------------------------------------------

TEST_F(AudioControllerTest, LevelFollowsTheDecibelCurveWithinFloorAndCeiling)
{
    struct Reading
    {
        float decibels;
        float level;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const Reading readings[] = {
        {0.0f, 1.0f},      {-28.0f, 0.1f},     {-14.0f, 0.316228f}, {-42.0f, 0.031623f},
        {-43.0f, 0.03f},   {-60.0f, 0.03f},    {-160.0f, 0.03f},    {3.0f, 1.0f},
        {-infinity, 0.03f}, {infinity, 1.0f},  {nan, 1.0f},
    };
    m_controller->start(u"/takes/one.wav"_s);
    for (const Reading &reading : readings) {
        SCOPED_TRACE(reading.decibels);
        tick(reading.decibels);
        EXPECT_NEAR(m_controller->level(), reading.level, 1e-5f);
        EXPECT_EQ(m_controller->levelHistory().last(), m_controller->level());
    }
}

TEST_F(AudioControllerTest, HistoryKeepsTheNewest52LevelsOldestFirst)
{
    m_controller->start(u"/takes/one.wav"_s);
    QList<float> levels;
    for (int i = 0; i < 100; ++i) {
        tick(-0.4f * static_cast<float>(i));
        levels.append(m_controller->level());
    }
    EXPECT_EQ(m_controller->levelHistory().size(), 52);
    EXPECT_EQ(m_controller->levelHistory(), levels.mid(48));
}

TEST_F(AudioControllerTest, EachTickPublishesTheRecordersTime)
{
    m_controller->start(u"/takes/one.wav"_s);
    QSignalSpy durationSpy(m_controller.get(), &AudioController::recordingDurationChanged);
    m_backend->recorder->time = 1.25;
    tick(-20.0f);
    EXPECT_EQ(m_controller->recordingDuration(), 1.25);
    EXPECT_EQ(durationSpy.count(), 1);
}

TEST_F(AudioControllerTest, TicksOfAStoppedOrReplacedTimerDoNothing)
{
    m_controller->start(u"/takes/one.wav"_s);
    m_backend->powers.push_back(0.0f);
    m_backend->timer->tick(); // queued, not yet delivered
    m_controller->stopRecording();
    deliver();
    EXPECT_EQ(m_controller->level(), 0.0f);
    EXPECT_EQ(m_controller->levelHistory(), floorHistory());

    m_controller->start(u"/takes/two.wav"_s);
    const QPointer<FakeTimer> old = m_backend->timer;
    m_backend->timer->tick();
    m_controller->stopRecording();
    m_controller->start(u"/takes/three.wav"_s);
    ASSERT_NE(m_backend->timer, old);
    deliver();
    EXPECT_EQ(m_controller->levelHistory(), floorHistory()) << "a tick of the old timer reached the new take";
    EXPECT_EQ(m_backend->powers.size(), 1u);
}

// --- stopping -----------------------------------------------------------------------------------

TEST_F(AudioControllerTest, StopWithNothingRecordingStillPublishesTheIdleValues)
{
    QSignalSpy recordingSpy(m_controller.get(), &AudioController::recordingChanged);
    QSignalSpy levelSpy(m_controller.get(), &AudioController::levelChanged);
    QSignalSpy durationSpy(m_controller.get(), &AudioController::recordingDurationChanged);

    m_controller->stopRecording();

    EXPECT_EQ(recordingSpy.count(), 1);
    EXPECT_EQ(levelSpy.count(), 1);
    EXPECT_EQ(durationSpy.count(), 1);
    EXPECT_FALSE(m_controller->recording());
    EXPECT_EQ(m_controller->levelHistory(), floorHistory());
}

TEST_F(AudioControllerTest, StopEndsTheTakeAndKeepsTheLastHistory)
{
    m_controller->start(u"/takes/one.wav"_s);
    m_backend->recorder->time = 2.0;
    for (int i = 0; i < 60; ++i)
        tick(-30.0f + static_cast<float>(i % 7));
    const QList<float> history = m_controller->levelHistory();

    m_controller->stopRecording();

    EXPECT_EQ(m_backend->recordersStopped, 1);
    EXPECT_FALSE(m_backend->recorder);
    EXPECT_FALSE(m_backend->timer);
    EXPECT_FALSE(m_controller->recording());
    EXPECT_EQ(m_controller->level(), 0.0f);
    EXPECT_EQ(m_controller->recordingDuration(), 0.0);
    EXPECT_EQ(m_controller->levelHistory(), history);
}

TEST_F(AudioControllerTest, FinishCausedByTheApplicationsStopIsNotAFailure)
{
    // The fake, like the platform, reports a finish from inside stop().
    m_controller->start(u"/takes/one.wav"_s);
    m_controller->stopRecording();
    deliver();
    EXPECT_TRUE(m_errors.isEmpty());
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

TEST_F(AudioControllerTest, DeviceFailureWithoutAnOwnerCallbackStillStops)
{
    m_controller->onRecordingError = nullptr;
    m_controller->start(u"/takes/one.wav"_s);
    m_backend->recorder->finishByDevice(false);
    deliver();
    EXPECT_FALSE(m_controller->recording());
}

TEST_F(AudioControllerTest, FailureOfARecorderThatIsNoLongerCurrentIsIgnored)
{
    m_controller->start(u"/takes/one.wav"_s);
    m_backend->recorder->finishByDevice(false);
    m_backend->recorder->failEncoding(u"На диске нет места"_s);
    m_controller->stopRecording();
    m_controller->start(u"/takes/two.wav"_s);
    deliver();

    EXPECT_TRUE(m_errors.isEmpty());
    EXPECT_TRUE(m_controller->recording()) << "the new take was stopped by the old one's failure";
}

TEST_F(AudioControllerTest, FailureArrivingAfterTheControllerIsGoneDoesNothing)
{
    m_controller->start(u"/takes/one.wav"_s);
    m_backend->recorder->finishByDevice(false);
    bool called = false;
    m_controller->onRecordingError = [&called](const QString &) { called = true; };
    m_controller.reset();
    deliver();
    EXPECT_FALSE(called);
}

// --- playback -----------------------------------------------------------------------------------

TEST_F(AudioControllerTest, ToggleOfOneTakePausesAndResumesWhereItWas)
{
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    ASSERT_TRUE(m_backend->player);
    const QPointer<FakePlayer> player = m_backend->player;
    EXPECT_EQ(player->url, u"/takes/a.wav"_s);
    EXPECT_EQ(m_controller->playingID(), m_takeA.id);
    player->advance(1.5);

    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    ASSERT_TRUE(player) << "pausing must keep the player";
    EXPECT_FALSE(player->playingNow);

    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    EXPECT_EQ(m_controller->playingID(), m_takeA.id);
    EXPECT_EQ(m_backend->playersMade, 1);
    ASSERT_TRUE(player);
    EXPECT_TRUE(player->playingNow);
    EXPECT_EQ(player->position, 1.5);
}

TEST_F(AudioControllerTest, ToggleOfAnotherTakeReplacesThePlayer)
{
    for (const bool pausedFirst : {false, true}) {
        SCOPED_TRACE(pausedFirst ? "first take paused" : "first take playing");
        m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
        const QPointer<FakePlayer> first = m_backend->player;
        first->advance(2.0);
        if (pausedFirst)
            m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);

        m_controller->togglePlayback(m_takeB, u"/takes/b.wav"_s);

        EXPECT_FALSE(first) << "the first player is stopped and discarded";
        ASSERT_TRUE(m_backend->player);
        EXPECT_EQ(m_backend->player->url, u"/takes/b.wav"_s);
        EXPECT_EQ(m_backend->player->position, 0.0);
        EXPECT_EQ(m_controller->playingID(), m_takeB.id);
        m_controller->stopPlayback();
    }
}

TEST_F(AudioControllerTest, TakePlayedToItsEndStartsAgainFromTheBeginning)
{
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    m_backend->player->advance(3.0);
    m_backend->player->finishPlaying();
    deliver();
    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    EXPECT_FALSE(m_backend->player);

    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    EXPECT_EQ(m_backend->playersMade, 2);
    EXPECT_EQ(m_backend->player->position, 0.0);
    EXPECT_EQ(m_controller->playingID(), m_takeA.id);
}

TEST_F(AudioControllerTest, FinishOfAReplacedPlayerIsIgnored)
{
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    m_backend->player->finishPlaying();
    m_controller->togglePlayback(m_takeB, u"/takes/b.wav"_s);
    deliver();
    EXPECT_EQ(m_controller->playingID(), m_takeB.id);
    EXPECT_TRUE(m_backend->player);
}

TEST_F(AudioControllerTest, PlaybackIsRefusedWhileRecording)
{
    m_controller->start(u"/takes/one.wav"_s);
    EXPECT_THROW_MESSAGE(m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s), u"Сначала завершите запись"_s);
    EXPECT_EQ(m_backend->playersMade, 0);
    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    EXPECT_TRUE(m_controller->recording());
}

TEST_F(AudioControllerTest, NewPlayerThatDoesNotPlayIsDiscarded)
{
    m_controller->togglePlayback(m_takeB, u"/takes/b.wav"_s);
    m_backend->playSucceeds = false;

    EXPECT_THROW_MESSAGE(m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s),
                         u"Не удалось воспроизвести дубль"_s);

    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    EXPECT_FALSE(m_backend->player);
    EXPECT_EQ(m_backend->playersStopped, 1) << "the take that played before is stopped";

    m_backend->playSucceeds = true;
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    EXPECT_EQ(m_backend->playersMade, 3) << "a failed take is not taken for a paused one";
}

TEST_F(AudioControllerTest, ResumeThatFailsKeepsThePausedPlayer)
{
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    const QPointer<FakePlayer> player = m_backend->player;
    player->advance(0.5);
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    player->playSucceeds = false;

    EXPECT_THROW_MESSAGE(m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s),
                         u"Не удалось воспроизвести дубль"_s);
    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    ASSERT_TRUE(player);

    player->playSucceeds = true;
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    EXPECT_EQ(m_controller->playingID(), m_takeA.id);
    EXPECT_EQ(player->position, 0.5);
    EXPECT_EQ(m_backend->playersMade, 1);
}

TEST_F(AudioControllerTest, PlayerCreationErrorPassesThroughAndNothingPlays)
{
    m_controller->togglePlayback(m_takeB, u"/takes/b.wav"_s);
    m_backend->playerError = u"Не удалось открыть звук дубля a.wav"_s;

    EXPECT_THROW_MESSAGE(m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s),
                         u"Не удалось открыть звук дубля a.wav"_s);
    EXPECT_EQ(m_controller->playingID(), std::nullopt);
    EXPECT_FALSE(m_backend->player);

    m_backend->playerError.reset();
    m_controller->togglePlayback(m_takeB, u"/takes/b.wav"_s);
    EXPECT_EQ(m_backend->player->position, 0.0) << "B starts anew: its old player was discarded";
}

TEST_F(AudioControllerTest, StopPlaybackDiscardsEvenAPausedPlayer)
{
    QSignalSpy playingSpy(m_controller.get(), &AudioController::playingIDChanged);
    m_controller->stopPlayback();
    EXPECT_EQ(playingSpy.count(), 1);

    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    m_controller->stopPlayback();
    EXPECT_FALSE(m_backend->player);
    m_controller->togglePlayback(m_takeA, u"/takes/a.wav"_s);
    EXPECT_EQ(m_backend->playersMade, 2) << "after a stop the same take starts from the beginning";
}

} // namespace
} // namespace tarnwick
