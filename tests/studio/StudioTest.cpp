#include "studio/Studio.h"

#include "core/Manifest.h"
#include "studio/StudioFixture.h"


using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString uuid = u"3F2504E0-4F89-11D3-9A0C-0305E82C3301"_s;

QList<Take> manifestOnDisk(const ProjectStore &store)
{
    return decodeManifest(readBytes(store.manifestFile()), store.manifestFile()).takes;
}

class StudioStartTest : public StudioFixture
{
};

} // namespace

// --- the data folder and the start project -------------------------------------------

TEST_F(StudioStartTest, DataFolderComesFromTheEnvironmentAsGiven)
{
    const QByteArray saved = qgetenv("TARNWICK_DATA_DIR");
    qputenv("TARNWICK_DATA_DIR", " /tmp/vo ");
    EXPECT_EQ(Studio::defaultRoot(), u" /tmp/vo "_s);
    qunsetenv("TARNWICK_DATA_DIR");
    EXPECT_TRUE(Studio::defaultRoot().endsWith(u"/Tarnwick"_s));
    if (!saved.isNull())
        qputenv("TARNWICK_DATA_DIR", saved);

    m_dataFolder = u"/tmp/vo"_s;
    EXPECT_EQ(startStudio(false).rememberedProjectKey(), u"projectPath:/tmp/vo"_s);
}

TEST_F(StudioStartTest, FirstStartMakesTheSampleProjectAndTheNextStartReopensIt)
{
    Studio &first = startStudio();
    ASSERT_TRUE(first.store()) << first.message().toStdString();
    const QString root = first.store()->root();
    EXPECT_TRUE(QRegularExpression(u"/data/Projects/Scenario-[0-9A-F-]{36}$"_s).match(root).hasMatch()) << root.toStdString();
    EXPECT_EQ(first.projectName(), u"Scenario"_s);
    EXPECT_EQ(first.message(), u"Проект открыт"_s);
    EXPECT_EQ(m_defaults.value(u"projectPath:"_s + m_dataFolder), root);
    EXPECT_EQ(first.selectedBlockID(), first.blocks().constFirst().id);
    EXPECT_EQ(first.selectedRecordingID(), first.blocks().constFirst().voiceSegments().constFirst().id);

    Studio &second = startStudio(); // the first releases its lease as it goes
    ASSERT_TRUE(second.store());
    EXPECT_EQ(second.store()->root(), root);
    EXPECT_EQ(entries(m_dataFolder + u"/Projects"_s).size(), 1);
}

TEST_F(StudioStartTest, ScenarioLyingInTheDataFolderIsOpenedInPlace)
{
    m_dataFolder = m_dir.filePath(u"Tarnwick"_s);
    ProjectStore::create(m_dir.path(), {sampleBlock(u"b1"_s)}, u"x"_s);
    const QString made = m_dir.path() + u'/' + entries(m_dir.path()).filter(u"x-"_s).constFirst();
    QDir().rename(made, m_dataFolder);

    const Studio &studio = startStudio();
    ASSERT_TRUE(studio.store()) << studio.message().toStdString();
    EXPECT_EQ(studio.store()->root(), m_dataFolder);
    EXPECT_EQ(studio.projectName(), u"Мой сценарий"_s);
}

TEST_F(StudioStartTest, UnopenableRememberedProjectLeavesNoProjectAndTheKeyAsItWas)
{
    const QString key = u"projectPath:"_s + m_dataFolder;
    m_defaults.insert(key, m_dir.filePath(u"gone"_s));
    const Studio &studio = startStudio();
    EXPECT_FALSE(studio.store());
    EXPECT_EQ(studio.message(), u"Ошибка: Нет доступа к папке проекта"_s);
    EXPECT_EQ(studio.projectName(), u"Tarnwick"_s);
    EXPECT_EQ(m_defaults.value(key), m_dir.filePath(u"gone"_s));
    EXPECT_FALSE(QFileInfo::exists(m_dataFolder + u"/Projects"_s)); // no fallback to the sample
}

TEST_F(StudioStartTest, TitlesComeFromTheFolderName)
{
    QList<ScriptBlock> twelve;
    for (int i = 1; i <= 12; ++i)
        twelve.append(sampleBlock(u"b"_s + QString::number(i), QString::number(i)));
    const struct
    {
        QString folder;
        QString title;
    } cases[] = {
        {uuid, u"Сценарий · 12 блоков"_s},
        {uuid.toLower(), u"Сценарий · 12 блоков"_s},
        {u"a-"_s + uuid, u"a"_s},
        {u"Урок 1-"_s + uuid, u"Урок 1"_s},
        {u"-"_s + uuid, u"-"_s + uuid},
        {u"Запись"_s, u"Запись"_s},
    };
    Studio &studio = startStudio(false);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        const ProjectStore made = ProjectStore::create(m_dir.path(), twelve, u"t"_s);
        const QString folder = m_dir.filePath(c.folder);
        ASSERT_TRUE(QDir().rename(made.root(), folder));
        studio.open(ProjectStore(folder));
        EXPECT_EQ(studio.projectName(), c.title);
    }
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

    const ProjectStore other = ProjectStore::create(m_dir.path(), {sampleBlock(u"c1"_s)}, u"other"_s);
    {
        const ProjectLease elsewhere(other.root());
        EXPECT_THROW_MESSAGE(studio.open(other), u"Этот проект уже открыт в другом окне или экземпляре приложения"_s);
    }
    studio.open(other);
    EXPECT_NO_THROW(ProjectLease{root}); // the previous project is unlocked
}

TEST_F(StudioStartTest, OpenProjectAsksForAFolderAndReportsFailures)
{
    Studio &studio = startStudio(false);
    m_chooser->answer = std::nullopt;
    studio.openProject();
    EXPECT_EQ(m_chooser->prompts, QStringList{u"Выберите папку с scenario.json, manifest.json и Recordings"_s});
    EXPECT_EQ(studio.message(), u"Готово к записи"_s);

    m_chooser->answer = m_dir.filePath(u"nothing"_s);
    studio.openProject();
    EXPECT_EQ(studio.message(), u"Ошибка: Нет доступа к папке проекта"_s);
}

TEST_F(StudioStartTest, SelectingABlockKeepsItsSelectedSegment)
{
    const ScriptBlock marked = markedBlock(u"m"_s, u"2"_s, {u"a"_s, u"b"_s});
    Studio &studio = studioWith({sampleBlock(u"b1"_s), marked});
    studio.selectSegment(marked, marked.voiceSegments().at(1));
    studio.selectBlock(u"b1"_s);
    EXPECT_EQ(studio.selectedRecordingID(), u"b1"_s);
    studio.selectBlock(u"m"_s);
    EXPECT_EQ(studio.selectedRecordingID(), u"voice:a"_s);
    studio.selectSegment(marked, marked.voiceSegments().at(1));
    studio.selectBlock(u"m"_s);
    EXPECT_EQ(studio.selectedRecordingID(), u"voice:b"_s);

    studio.selectBlock(u"missing"_s);
    EXPECT_EQ(studio.selectedBlockID(), u"m"_s);
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
    EXPECT_EQ(take.fileName, uuidText(take.id) + u".wav"_s);
    EXPECT_EQ(take.blockID, u"voice:b"_s);
    EXPECT_TRUE(take.selected);
    EXPECT_EQ(studio.message(), u"Идёт запись…"_s);
    EXPECT_EQ(studio.status(m_block), u"Запись"_s);

    writeAudio();
    studio.stopRecording();
    EXPECT_EQ(studio.message(), u"Дубль сохранён"_s);
    EXPECT_FALSE(studio.pendingTake());
    EXPECT_FALSE(QFile::exists(store().pendingFile()));
    EXPECT_EQ(manifestOnDisk(store()), QList<Take>{take});
    EXPECT_EQ(studio.takes(), QList<Take>{take});

    const Take second = commitTake(m_block, m_segments[1]);
    EXPECT_FALSE(second.selected);
    EXPECT_EQ(studio.selectedTake(u"voice:b"_s), take);
}

TEST_F(StudioRecordingTest, NextSegmentIsTheFirstWithoutAChosenTake)
{
    commitTake(m_block, m_segments[0]);
    ASSERT_TRUE(recordAndWait(m_block));
    EXPECT_EQ(m_studio->pendingTake()->blockID, u"voice:b"_s);
    m_studio->cancelRecording();
    EXPECT_EQ(m_studio->message(), u"Запись отменена"_s);

    commitTake(m_block, m_segments[1]);
    commitTake(m_block, m_segments[2]);
    ASSERT_TRUE(recordAndWait(m_block));
    EXPECT_EQ(m_studio->pendingTake()->blockID, u"voice:a"_s);
    EXPECT_FALSE(m_studio->pendingTake()->selected);
}

TEST_F(StudioRecordingTest, RefusedMicrophoneWritesNothing)
{
    for (const auto state : {MicrophoneAccess::Status::denied, MicrophoneAccess::Status::restricted}) {
        m_microphone->state = state;
        EXPECT_FALSE(recordAndWait(m_block, m_segments[0]));
        EXPECT_EQ(m_studio->message(), u"Разрешите микрофон в Системных настройках"_s);
        EXPECT_FALSE(m_studio->pendingTake());
        EXPECT_EQ(entries(store().root()), (QStringList{u".tarnwick.lock"_s, u"Recordings"_s, u"manifest.json"_s,
                                                        u"scenario.json"_s}));
        EXPECT_EQ(m_studio->selectedRecordingID(), u"voice:a"_s);
    }
}

TEST_F(StudioRecordingTest, UnansweredMicrophoneKeepsTheStudioBusyUntilTheAnswer)
{
    m_microphone->state = MicrophoneAccess::Status::notDetermined;
    m_studio->record(m_block, m_segments[0]);
    ASSERT_TRUE(waitFor([&] { return bool(m_microphone->pending); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_studio->busy());
    EXPECT_FALSE(m_studio->prepareToQuit());
    EXPECT_EQ(m_studio->message(), u"Дождитесь завершения операции"_s);
    m_studio->record(m_block, m_segments[1]); // ignored while busy
    EXPECT_FALSE(QFile::exists(store().pendingFile()));

    m_microphone->answer(true);
    ASSERT_TRUE(waitFor([&] { return !m_studio->busy(); }));
    EXPECT_TRUE(m_studio->recording());
    EXPECT_EQ(m_studio->pendingTake()->blockID, u"voice:a"_s);
}

TEST_F(StudioRecordingTest, MicrophoneRefusedLaterEndsTheStartQuietly)
{
    m_microphone->state = MicrophoneAccess::Status::notDetermined;
    m_studio->record(m_block, m_segments[0]);
    ASSERT_TRUE(waitFor([&] { return bool(m_microphone->pending); }));
    m_microphone->answer(false);
    ASSERT_TRUE(waitFor([&] { return !m_studio->busy(); }));
    EXPECT_EQ(m_studio->message(), u"Разрешите микрофон в Системных настройках"_s);
    EXPECT_FALSE(m_studio->pendingTake());
    EXPECT_FALSE(QFile::exists(store().pendingFile()));
}

TEST_F(StudioRecordingTest, ALeftoverPendingRecordStopsTheStartWithItsMessage)
{
    Take other = sampleTake(u"voice:a"_s);
    writeBytes(store().pendingFile(), encodeJson(toJson(other)));
    EXPECT_FALSE(recordAndWait(m_block, m_segments[0]));
    EXPECT_EQ(m_studio->message(), u"Ошибка: Сначала завершите сохранение предыдущей записи"_s);
    EXPECT_FALSE(m_studio->pendingTake());
    EXPECT_FALSE(m_studio->locked());
}

TEST_F(StudioRecordingTest, RecorderThatDoesNotStartLeavesTheTakePendingUntilCancelled)
{
    m_audio->recordSucceeds = false;
    EXPECT_FALSE(recordAndWait(m_block, m_segments[0]));
    EXPECT_EQ(m_studio->message(), u"Ошибка: Микрофон не начал запись"_s);
    ASSERT_TRUE(m_studio->pendingTake());
    EXPECT_TRUE(m_studio->locked());

    m_studio->stopRecording(); // the retry finds no file
    EXPECT_EQ(m_studio->message(), u"Ошибка: Аудиофайл не создан. Отмените этот дубль и проверьте микрофон"_s);
    EXPECT_TRUE(m_studio->pendingTake());

    m_studio->cancelRecording();
    EXPECT_EQ(m_studio->message(), u"Запись отменена"_s);
    EXPECT_FALSE(m_studio->pendingTake());
    EXPECT_FALSE(QFile::exists(store().pendingFile()));
    EXPECT_TRUE(m_studio->takes().isEmpty());
}

TEST_F(StudioRecordingTest, CancelRemovesTheRecordedFileOutright)
{
    ASSERT_TRUE(recordAndWait(m_block, m_segments[0]));
    writeAudio();
    m_studio->cancelRecording();
    EXPECT_FALSE(m_studio->recording());
    EXPECT_TRUE(entries(store().recordingsFolder()).isEmpty());
    EXPECT_TRUE(m_trash->moved.isEmpty());
}

TEST_F(StudioRecordingTest, DeviceThatEndsTheTakeGetsItSaved)
{
    ASSERT_TRUE(recordAndWait(m_block, m_segments[0]));
    writeAudio();
    m_audio->recorder->finishByDevice(false);
    ASSERT_TRUE(waitFor([&] { return !m_studio->recording(); }));
    EXPECT_EQ(m_studio->message(), u"Устройство прервало запись; проверьте сохранённый звук. Дубль сохранён"_s);
    EXPECT_EQ(manifestOnDisk(store()).size(), 1);
}

TEST_F(StudioRecordingTest, CommandsWaitWhileATakeIsPending)
{
    const Take chosen = commitTake(m_block, m_segments[0]);
    ASSERT_TRUE(recordAndWait(m_block, m_segments[1]));
    const QByteArray manifest = readBytes(store().manifestFile());

    m_studio->select(chosen);
    m_studio->deleteTake(chosen);
    m_studio->togglePlayback(chosen);
    ASSERT_EQ(m_studio->selectedBlockID(), u"b1"_s);
    m_studio->selectBlock(u"m"_s);
    EXPECT_EQ(readBytes(store().manifestFile()), manifest);
    EXPECT_EQ(m_audio->playersMade, 0);
    EXPECT_EQ(m_studio->selectedBlockID(), u"b1"_s);
    EXPECT_THROW_MESSAGE(m_studio->open(store()), u"Сначала завершите запись или сохранение"_s);
    m_studio->openProject();
    EXPECT_TRUE(m_chooser->prompts.isEmpty());
}

TEST_F(StudioRecordingTest, SaveThatFailsOnAFullDiskCanBeRetried)
{
    auto disk = ScratchMount::tmpfs(256 * 1024);
    REQUIRE_MOUNT(disk);
    startStudio(false);
    m_studio->open(ProjectStore::create(disk->path(), {m_block}, u"p"_s));
    const Take first = commitTake(m_block, m_segments[0]);

    ASSERT_TRUE(recordAndWait(m_block, m_segments[1]));
    writeAudio();
    const QByteArray before = readBytes(store().manifestFile());
    disk->fill();
    m_studio->stopRecording();
    EXPECT_EQ(m_studio->message(),
              u"Ошибка: Не удалось записать файл «"_s + store().manifestFile() + u"»: на диске нет места"_s);
    EXPECT_TRUE(m_studio->pendingTake());
    EXPECT_EQ(m_studio->takes(), QList<Take>{first});
    EXPECT_EQ(readBytes(store().manifestFile()), before);

    ASSERT_TRUE(QFile::remove(disk->path() + u"/filler"_s));
    m_studio->stopRecording();
    EXPECT_EQ(m_studio->message(), u"Дубль сохранён"_s);
    EXPECT_EQ(manifestOnDisk(store()).size(), 2);
}

// --- quitting ------------------------------------------------------------------------

TEST_F(StudioRecordingTest, QuittingSavesARunningTakeFirst)
{
    ASSERT_TRUE(recordAndWait(m_block, m_segments[0]));
    writeAudio();
    EXPECT_TRUE(m_studio->prepareToQuit());
    EXPECT_EQ(m_studio->message(), u"Дубль сохранён"_s);
    EXPECT_EQ(manifestOnDisk(store()).size(), 1);
    EXPECT_TRUE(m_alert->shown.isEmpty());
}

TEST_F(StudioRecordingTest, QuittingWithAnUnsavableTakeAlertsAndStaysOpen)
{
    ASSERT_TRUE(recordAndWait(m_block, m_segments[0])); // no audio is ever written
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

TEST_F(StudioTakesTest, DeletingWithoutAFileOrWithABrokenTrash)
{
    const QList<Take> abc = threeTakes();
    QFile::remove(store().audioURL(abc[0]));
    m_studio->deleteTake(abc[0]);
    EXPECT_EQ(m_studio->message(), u"Дубль перемещён в Корзину"_s);
    EXPECT_TRUE(m_trash->moved.isEmpty());

    m_trash->fails = true;
    m_studio->deleteTake(abc[1]);
    EXPECT_EQ(m_studio->message(), u"Ошибка: Корзина недоступна"_s);
    EXPECT_EQ(m_studio->takes(), QList<Take>{m_studio->takes(u"voice:a"_s)}); // only C is left
    EXPECT_TRUE(QFile::exists(store().audioURL(abc[1])));
}

TEST_F(StudioTakesTest, DeletingAStaleTakeDoesNothingAtAll)
{
    const QList<Take> abc = threeTakes();
    m_studio->togglePlayback(abc[0]);
    ASSERT_EQ(m_studio->playingID(), abc[0].id);
    m_studio->deleteTake(sampleTake(u"voice:a"_s));
    EXPECT_EQ(m_studio->playingID(), abc[0].id);
    EXPECT_EQ(m_studio->takes().size(), 3);
}

TEST_F(StudioTakesTest, PlaybackOfABadFileNameIsReported)
{
    m_studio->togglePlayback(takeNamed(u"../x.wav"_s));
    EXPECT_EQ(m_studio->message(), u"Ошибка: Некорректное имя аудиофайла"_s);
    EXPECT_EQ(m_audio->playersMade, 0);
}

TEST_F(StudioTakesTest, RemovingSeveralTakesIgnoresTheTrash)
{
    const QList<Take> abc = threeTakes();
    m_trash->fails = true;
    EXPECT_NO_THROW(m_studio->removeTakes({abc[0], abc[2]}, store()));
    EXPECT_EQ(m_studio->takes(), QList<Take>{abc[1]});
    EXPECT_EQ(manifestOnDisk(store()), QList<Take>{abc[1]});
    EXPECT_TRUE(QFile::exists(store().audioURL(abc[0])));
}

// --- status of a block and progress ------------------------------------------------------

TEST_F(StudioTakesTest, StatusFollowsTheTakesOfEverySegment)
{
    EXPECT_EQ(m_studio->status(m_block), u"Не записано"_s);
    const Take a = commitTake(m_block, m_segments[0]);
    EXPECT_EQ(m_studio->status(m_block), u"В работе"_s);
    commitTake(m_block, m_segments[1]);
    EXPECT_EQ(m_studio->status(m_block), u"В работе"_s);
    commitTake(m_block, m_segments[2]);
    EXPECT_EQ(m_studio->status(m_block), u"Утверждено"_s);
    EXPECT_EQ(m_studio->doneCount(), 1);

    // Recording a segment of the block shows "Запись" even though it is approved.
    ASSERT_TRUE(recordAndWait(m_block, m_segments[1]));
    EXPECT_EQ(m_studio->status(m_block), u"Запись"_s);
    EXPECT_EQ(m_studio->status(m_studio->blocks().constFirst()), u"Не записано"_s);
    m_studio->cancelRecording();

    m_studio->deleteTake(a);
    EXPECT_EQ(m_studio->status(m_block), u"В работе"_s);
}

TEST(StudioStatus, RulesInOrder)
{
    const auto withStatus = [](ScriptBlock block, std::optional<QString> status) {
        block.voiceStatus = std::move(status);
        return block;
    };
    ScriptBlock faulty = sampleBlock(u"f"_s);
    faulty.english = u"Text\n[voice:a]\nMore"_s;
    const ScriptBlock marked = markedBlock(u"m"_s, u"2"_s, {u"a"_s, u"b"_s});
    const auto take = [](const QString &recordingID, bool selected) {
        Take t = sampleTake(recordingID);
        t.selected = selected;
        return t;
    };
    const struct
    {
        const char *what;
        ScriptBlock block;
        QList<Take> takes;
        QString status;
    } cases[] = {
        {"faulty markup", faulty, {}, u"Ошибка разметки"_s},
        {"no takes, no status", withStatus(sampleBlock(u"b"_s), std::nullopt), {}, u"Не записано"_s},
        {"empty status", withStatus(sampleBlock(u"b"_s), u""_s), {}, u"Не записано"_s},
        {"own status", withStatus(sampleBlock(u"b"_s), u"Нужно перезаписать"_s), {}, u"Нужно перезаписать"_s},
        {"a space is a status", withStatus(sampleBlock(u"b"_s), u" "_s), {}, u" "_s},
        {"chosen take beats the status", withStatus(sampleBlock(u"b"_s), u"Нужно перезаписать"_s),
         {take(u"b"_s, true)}, u"Утверждено"_s},
        {"unchosen takes", sampleBlock(u"b"_s), {take(u"b"_s, false)}, u"Есть дубли"_s},
        {"marked, whole-block chosen take", marked, {take(u"m"_s, true)}, u"Утверждено"_s},
        {"marked, whole-block unchosen take", marked, {take(u"m"_s, false)}, u"Есть дубли"_s},
        {"marked, one segment chosen", marked, {take(u"voice:a"_s, true)}, u"В работе"_s},
        {"marked, unchosen segment take", marked, {take(u"voice:b"_s, false)}, u"В работе"_s},
        {"marked, all chosen", marked, {take(u"voice:a"_s, true), take(u"voice:b"_s, true)}, u"Утверждено"_s},
        {"stored Озвучено", withStatus(sampleBlock(u"b"_s), u"Озвучено"_s), {}, u"Озвучено"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        QHash<QString, QString> defaults;
        Studio studio(dir.path(),
                      StudioServices{std::make_unique<FakeMicrophone>(), std::make_unique<FakeTrash>(dir.path()),
                                     std::make_unique<FakeChooser>(), std::make_unique<FakeAlert>(),
                                     std::make_unique<MemoryDefaults>(defaults)},
                      std::make_unique<FakeAudioBackend>(), false);
        // A block with faulty markup cannot be stored; its status is asked of a stale cell.
        const bool storable = !c.block.voiceMarkerIssue();
        const ProjectStore store = ProjectStore::create(dir.path(), {storable ? c.block : sampleBlock(u"x"_s)}, u"s"_s);
        store.saveManifest(c.takes);
        studio.open(store);
        EXPECT_EQ(studio.status(c.block), c.status);
        if (storable) {
            EXPECT_EQ(studio.doneCount(), c.status == u"Утверждено" || c.status == u"Озвучено" ? 1 : 0);
        }
    }
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
