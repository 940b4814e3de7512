#include "studio/Studio.h"

#include "core/Manifest.h"
#include "studio/StudioFixture.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QList<Take> manifestOnDisk(const ProjectStore &store)
{
    return decodeManifest(readBytes(store.manifestFile()), store.manifestFile()).takes;
}

using StudioStartTest = StudioFixture;

} // namespace

// --- the data folder and the start project -------------------------------------------

TEST_F(StudioStartTest, FirstStartMakesTheSampleProjectAndTheNextStartReopensIt)
{
    Studio &first = startStudio();
    ASSERT_TRUE(first.store()) << first.message().toStdString();
    const QString root = first.store()->root();
    EXPECT_TRUE(QRegularExpression(u"/data/Projects/Scenario-[0-9A-F-]{36}$"_s).match(root).hasMatch()) << root.toStdString();
    EXPECT_EQ(first.projectName(), u"Scenario"_s);
    EXPECT_EQ(first.message(), u"Проект открыт"_s);
    EXPECT_EQ(m_defaults.value(u"projectPath:"_s + m_dataFolder), root);

    Studio &second = startStudio(); // the first releases its lease as it goes
    ASSERT_TRUE(second.store());
    EXPECT_EQ(second.store()->root(), root);
    EXPECT_EQ(entries(m_dataFolder + u"/Projects"_s).size(), 1);
}

// --- opening and selecting -----------------------------------------------------------

TEST_F(StudioStartTest, ReopeningTheOpenProjectKeepsItsLeaseAndAFailedOpenKeepsTheOldOne)
{
    Studio &studio = studioWith({sampleBlock(u"b1"_s)});
    const QString root = store().root();
    EXPECT_NO_THROW(studio.open(ProjectStore(root)));
    EXPECT_THROW_MESSAGE(ProjectLease{root}, u"Этот проект уже открыт в другом окне или экземпляре приложения"_s);

    const ProjectStore broken = ProjectStore::create(m_dir.path(), {sampleBlock(u"b1"_s)}, u"broken"_s);
    writeBytes(broken.manifestFile(), "{");
    EXPECT_FALSE(errorOf([&] { studio.open(broken); }) == std::nullopt);
    EXPECT_EQ(store().root(), root);
    EXPECT_NO_THROW(ProjectLease{broken.root()}); // the lease taken for it was let go
}

// --- the road of one recording -------------------------------------------------------

class StudioRecordingTest : public StudioFixture
{
protected:
    ScriptBlock m_block = markedBlock(u"m"_s, u"7"_s, {u"a"_s, u"b"_s, u"c"_s});
    QList<VoiceSegment> m_segments = m_block.voiceSegments();

    void SetUp() override { studioWith({sampleBlock(u"b1"_s), m_block}); }
};

TEST_F(StudioRecordingTest, PendingRecordIsOnDiskBeforeAnySoundAndTheFirstTakeIsChosen)
{
    Studio &studio = *m_studio;
    studio.record(m_block, m_segments[1]);
    EXPECT_TRUE(studio.busy());
    EXPECT_EQ(m_audio->recordersMade, 0); // nothing before the event loop runs the task
    ASSERT_TRUE(waitFor([&] { return !studio.busy(); }));
    ASSERT_TRUE(studio.recording());
    ASSERT_TRUE(studio.pendingTake());
    const Take take = *studio.pendingTake();
    EXPECT_EQ(decodeTake(readBytes(store().pendingFile()), {}), take);
    EXPECT_EQ(m_audio->recorder->url, store().audioURL(take));
    EXPECT_EQ(take.blockID, u"voice:b"_s);
    EXPECT_TRUE(take.selected);
    EXPECT_EQ(studio.status(m_block).kind, StatusKind::recording);

    writeAudio();
    EXPECT_EQ(studio.stopRecording(), Outcome{});
    EXPECT_EQ(studio.message(), u"Дубль сохранён"_s);
    EXPECT_EQ(manifestOnDisk(store()), QList<Take>{take});

    const Take second = commitTake(m_block, m_segments[1]);
    EXPECT_FALSE(second.selected);
    EXPECT_EQ(studio.selectedTake(u"voice:b"_s), take);
}

TEST_F(StudioRecordingTest, SavedTakeIsMeasuredOnAWorkerAndTheLineNamesWhatToCheck)
{
    Studio &studio = *m_studio;
    ASSERT_TRUE(recordAndWait(m_block));
    const QStringList fullScale{u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"aevalsrc=1:s=48000:d=1"_s,
                                u"-c:a"_s, u"pcm_s24le"_s, m_audio->recorder->url}; // a second at the ceiling
    ASSERT_EQ(runProgram(u"ffmpeg"_s, fullScale).exitCode, 0);
    studio.stopRecording();
    const Take take = studio.takes().constLast();
    EXPECT_FALSE(studio.figures(take.id)); // not measured on the main thread
    ASSERT_TRUE(waitFor([&] { return studio.figures(take.id).has_value(); }));
    EXPECT_EQ(studio.message(),
              u"Дубль сохранён, но проверьте: перегрузка, пики выше −1 dBTP, шумно, нет речи"_s);
    EXPECT_TRUE(studio.outcome().warning);

    const TakeFigures figures = *studio.figures(take.id);
    studio.open(ProjectStore(store().root()));
    ASSERT_TRUE(waitFor([&] { return studio.figures(take.id).has_value(); }));
    EXPECT_EQ(studio.figures(take.id), figures);

    TakeFigures clean{2, -18.34, 0, -3, -3.06, 0, -70, 0.5, 1.5};
    EXPECT_EQ(Studio::savedTakeMessage(clean),
              std::pair(u"Дубль сохранён · −18,3 LUFS, пик −3,1 dBTP"_s, false));
}

TEST_F(StudioRecordingTest, NextSegmentIsTheFirstWithoutAChosenTake)
{
    commitTake(m_block, m_segments[0]);
    ASSERT_TRUE(recordAndWait(m_block));
    EXPECT_EQ(m_studio->pendingTake()->blockID, u"voice:b"_s);
    m_studio->cancelRecording();

    commitTake(m_block, m_segments[1]);
    commitTake(m_block, m_segments[2]);
    ASSERT_TRUE(recordAndWait(m_block));
    EXPECT_EQ(m_studio->pendingTake()->blockID, u"voice:a"_s);
    EXPECT_FALSE(m_studio->pendingTake()->selected);
    m_studio->cancelRecording();
    // A segment whose takes are none of them chosen comes first, even with takes.
    QList<Take> takes = m_studio->takes();
    takes[1].selected = false;
    store().saveManifest(takes);
    m_studio->open(store());
    ASSERT_TRUE(recordAndWait(m_block));
    EXPECT_EQ(m_studio->pendingTake()->blockID, takes[1].blockID);
}

TEST_F(StudioRecordingTest, RecorderThatDoesNotStartLeavesTheTakePendingUntilCancelled)
{
    m_audio->recordSucceeds = false;
    EXPECT_FALSE(recordAndWait(m_block, m_segments[0]));
    EXPECT_EQ(m_studio->message(), u"Ошибка: Микрофон не начал запись"_s);
    ASSERT_TRUE(m_studio->pendingTake());
    EXPECT_TRUE(m_studio->locked());
    const QString noFile = u"Аудиофайл не создан. Отмените этот дубль и проверьте микрофон"_s;
    EXPECT_EQ(m_studio->stopRecording(), (Outcome{Outcome::Result::failed, noFile})); // the retry finds no file
    EXPECT_EQ(m_studio->message(), u"Ошибка: "_s + noFile);
    EXPECT_TRUE(m_studio->pendingTake());
    EXPECT_EQ(m_studio->cancelRecording().result, Outcome::Result::cancelled);
    EXPECT_EQ(m_studio->message(), u"Запись отменена"_s);
    EXPECT_FALSE(m_studio->pendingTake());
    EXPECT_FALSE(QFile::exists(store().pendingFile()));
    EXPECT_TRUE(m_studio->takes().isEmpty());
}

TEST_F(StudioRecordingTest, TakeThatEndedBadlyIsNeverChosenAndAnEmptyOneNeverSaved)
{
    const QString empty = u"Микрофон не передал звук. Отмените этот дубль и проверьте микрофон"_s;
    const QString byDevice = u"Запись остановлена устройством. "_s;
    const QString gone = u" с микрофона по умолчанию: микрофон «usb» не найден"_s;
    const struct
    {
        const char *name;
        QString input;
        qint64 frames;
        bool cutByDevice;
        QString whileRecording;
        QString atStop; // and the take is pending exactly when this is an error
        bool chosen;
    } cases[] = {
        {"whole", u"mic"_s, 48'000, false, u"Идёт запись…"_s, u"Дубль сохранён"_s, true},
        {"empty", u"mic"_s, 0, false, u"Идёт запись…"_s, u"Ошибка: "_s + empty, false},
        {"cut short", u"mic"_s, 480, true, u"Идёт запись…"_s, byDevice + u"Дубль сохранён"_s, false},
        {"empty, cut", u"mic"_s, 0, true, u"Идёт запись…"_s, u"Ошибка: "_s + byDevice + empty, false},
        {"input gone", u"usb"_s, 48'000, false, u"Идёт запись"_s + gone, u"Дубль сохранён"_s + gone, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        studioWith({m_block});
        m_audio->devices = {{u"mic"_s, u"Микрофон"_s}};
        m_studio->audio().setInputDeviceID(c.input);
        ASSERT_TRUE(recordAndWait(m_block, m_segments[0]));
        EXPECT_EQ(m_studio->message(), c.whileRecording);
        writeAudio();
        m_audio->recorder->frames = c.frames;
        if (c.cutByDevice)
            m_audio->recorder->finishByDevice(true);
        else
            m_studio->stopRecording();
        ASSERT_TRUE(waitFor([&] { return !m_studio->recording(); }));
        EXPECT_EQ(m_studio->message(), c.atStop);
        EXPECT_EQ(m_studio->pendingTake().has_value(), c.atStop.contains(u"Ошибка"_s));
        EXPECT_EQ(m_studio->selectedTake(u"voice:a"_s).has_value(), c.chosen);
    }
}

// --- quitting ------------------------------------------------------------------------

TEST_F(StudioRecordingTest, QuittingSavesARunningTakeOrAlertsAndStaysOpen)
{
    ASSERT_TRUE(recordAndWait(m_block, m_segments[0]));
    writeAudio();
    EXPECT_TRUE(m_studio->prepareToQuit());
    EXPECT_EQ(manifestOnDisk(store()).size(), 1);
    ASSERT_TRUE(recordAndWait(m_block, m_segments[1])); // no audio is ever written
    EXPECT_FALSE(m_studio->prepareToQuit());
    ASSERT_EQ(m_alert->shown.size(), 1);
    EXPECT_EQ(m_alert->shown[0].first, u"Не удалось сохранить дубль"_s);
    EXPECT_EQ(m_alert->shown[0].second,
              u"Ошибка: Аудиофайл не создан. Отмените этот дубль и проверьте микрофон\n"
              u"Проверьте доступ к папке проекта и повторите сохранение."_s);
    EXPECT_TRUE(m_studio->pendingTake());
    m_studio->cancelRecording();
    EXPECT_TRUE(m_studio->prepareToQuit());
}

// --- takes: playing, choosing, deleting ----------------------------------------------

class StudioTakesTest : public StudioRecordingTest
{
protected:
    QList<Take> threeTakes()
    {
        return {commitTake(m_block, m_segments[0]), commitTake(m_block, m_segments[0]),
                commitTake(m_block, m_segments[0])};
    }
};

TEST_F(StudioTakesTest, ChoosingMovesTheMarkWithinItsSegmentOnly)
{
    const QList<Take> abc = threeTakes();
    const Take other = commitTake(m_block, m_segments[1]);
    m_studio->select(abc[2]);
    EXPECT_EQ(m_studio->message(), u"Лучший дубль выбран"_s);
    EXPECT_EQ(m_studio->selectedTake(u"voice:a"_s)->id, abc[2].id);
    EXPECT_TRUE(m_studio->selectedTake(u"voice:b"_s) == other);
    const QList<Take> disk = manifestOnDisk(store());
    EXPECT_EQ(disk, m_studio->takes());
    EXPECT_EQ(std::count_if(disk.cbegin(), disk.cend(), [](const Take &t) { return t.selected; }), 2);
}

TEST_F(StudioTakesTest, DeletingTheChosenTakeHandsTheMarkToTheEarliestLeft)
{
    const QList<Take> abc = threeTakes();
    const QString fileA = store().audioURL(abc[0]);
    m_studio->deleteTake(abc[0]);
    EXPECT_EQ(m_studio->message(), u"Дубль перемещён в Корзину"_s);
    EXPECT_EQ(m_studio->selectedTake(u"voice:a"_s)->id, abc[1].id);
    EXPECT_EQ(m_trash->moved, QStringList{abc[0].fileName});
    EXPECT_FALSE(QFile::exists(fileA));
    EXPECT_EQ(manifestOnDisk(store()).size(), 2);

    m_studio->deleteTake(abc[2]); // not chosen: the mark stays
    EXPECT_EQ(m_studio->selectedTake(u"voice:a"_s)->id, abc[1].id);
}

TEST_F(StudioTakesTest, ReviewIsSavedInTheManifestAndTheExportReportsItsOutcome)
{
    const Take take = commitTake(m_block, m_segments[0]);
    const struct
    {
        std::function<void()> command;
        QString message;
    } steps[] = {
        {[&] { m_studio->setTrim(take.id, 0.5, 0.25); }, u"Ошибка: Конец обрезки должен быть позже её начала"_s},
        {[&] { m_studio->setTakeRating(take.id, 4); }, u"Ошибка: Оценка дубля должна быть от 0 до 3"_s},
        {[&] { m_studio->setTrim(take.id, 0.25, 0.5); }, u"Границы дубля сохранены"_s},
        {[&] { m_studio->setTakeNote(take.id, u"шум"_s); }, u"Заметка к дублю сохранена"_s},
        {[&] { m_studio->setTakeRating(take.id, 2); }, u"Оценка дубля сохранена"_s},
    };
    for (const auto &step : steps) {
        step.command();
        EXPECT_EQ(m_studio->message(), step.message);
    }
    Take reviewed = take;
    std::tie(reviewed.trimIn, reviewed.trimOut, reviewed.note, reviewed.rating) = std::tuple(0.25, 0.5, u"шум"_s, 2);
    EXPECT_EQ(manifestOnDisk(store()), QList<Take>{reviewed});

    m_studio->exportForEditor(m_dir.filePath(u"out"_s), {});
    EXPECT_TRUE(m_studio->exporting() && m_studio->locked());
    ASSERT_TRUE(waitFor([&] { return !m_studio->exporting(); }));
    EXPECT_FALSE(m_studio->busy());
    EXPECT_EQ(m_studio->outcome().result, Outcome::Result::failed); // block 1 and two segments lack a take
    EXPECT_TRUE(m_studio->message().startsWith(u"Ошибка: Сегментов без выбранного дубля: 3"_s)) << m_studio->message().toStdString();
}

// --- status of a block and progress ------------------------------------------------------

TEST_F(StudioTakesTest, StatusFollowsTheTakesOfEverySegment)
{
    const auto kind = [this](const ScriptBlock &block) { return m_studio->status(block).kind; };
    EXPECT_EQ(kind(m_block), StatusKind::notRecorded);
    const Take a = commitTake(m_block, m_segments[0]);
    commitTake(m_block, m_segments[1]);
    EXPECT_EQ(kind(m_block), StatusKind::inProgress);
    commitTake(m_block, m_segments[2]);
    EXPECT_EQ(kind(m_block), StatusKind::approved);
    EXPECT_EQ(m_studio->doneCount(), 1);
    ASSERT_TRUE(recordAndWait(m_block, m_segments[1]));
    EXPECT_EQ(kind(m_block), StatusKind::recording);
    EXPECT_EQ(kind(m_studio->blocks().constFirst()), StatusKind::notRecorded);
    m_studio->cancelRecording();
    m_studio->deleteTake(a);
    EXPECT_EQ(kind(m_block), StatusKind::inProgress);
    // A whole-block take of a marked block counts for it; a stored text shows when no take decides.
    ScriptBlock stored = sampleBlock(u"b1"_s);
    stored.voiceStatus = u"Озвучено"_s;
    Take whole = sampleTake(u"m"_s);
    whole.selected = true;
    const ProjectStore fresh = ProjectStore::create(m_dir.path(), {stored, markedBlock(u"m"_s, u"7"_s, {u"a"_s})}, u"s"_s);
    fresh.saveManifest({whole});
    m_studio->open(fresh);
    EXPECT_EQ(m_studio->status(stored), (BlockStatus{StatusKind::stored, u"Озвучено"_s}));
    EXPECT_EQ(kind(m_studio->blocks().at(1)), StatusKind::approved);
    EXPECT_EQ(m_studio->doneCount(), 2);
}

TEST_F(StudioTakesTest, TakesAreListedOldestFirstAndTheFirstChosenWins)
{
    Take early = sampleTake(u"voice:a"_s);
    Take tie1 = sampleTake(u"voice:a"_s);
    Take tie2 = sampleTake(u"voice:a"_s);
    early.createdAt = tie1.createdAt.addSecs(-60);
    tie1.selected = true;
    tie2.selected = true; // a hand-edited manifest with two chosen takes
    store().saveManifest({tie1, tie2, early});
    m_studio->open(store());
    EXPECT_EQ(m_studio->takes(u"voice:a"_s), (QList<Take>{early, tie1, tie2}));
    EXPECT_EQ(m_studio->selectedTake(u"voice:a"_s), tie1);
    EXPECT_TRUE(m_studio->hasSelectedTake(u"voice:a"_s));
    EXPECT_FALSE(m_studio->hasTake(u"voice:b"_s));
}
