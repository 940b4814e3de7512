#include "studio/Studio.h"

#include "core/Manifest.h"
#include "studio/StudioFixture.h"
#include "support/Workbook.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString imported = u"Создан отдельный проект. Папка доступна через «Показать проект»"_s;

class StudioImportTest : public StudioFixture
{
protected:
    void SetUp() override
    {
        studioWith({sampleBlock(u"old"_s)});
        m_before = QFileInfo(store().root()).fileName();
    }
    QString m_before; // the project open before any import

    QString file(const QString &name, const QByteArray &bytes) const
    {
        writeBytes(m_dir.filePath(name), bytes);
        return m_dir.filePath(name);
    }

    /// Imports `path` as if chosen in the dialog and waits for the worker's result.
    void importFile(const QString &path)
    {
        m_chooser->fileAnswer = path;
        m_studio->importScenario();
        ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
    }

    QStringList projects() const
    {
        QStringList names = entries(m_dataFolder + u"/Projects"_s);
        names.removeAll(m_before);
        return names;
    }
};

const QByteArray twoBlocks = R"([{"id":"a","number":"1","russian":"Раз.","english":"One."},
                                 {"id":"b","number":"2","russian":"Два.","english":"Two."}])";

} // namespace

TEST_F(StudioImportTest, WorkbookBecomesANewProjectNamedAfterTheFile)
{
    const QString path = file(u"Урок 1.xlsx"_s, workbook({{{}, {}, {}, u"RU"_s, u"EN"_s},
                                                            {u"1"_s, {}, {}, u"Привет."_s, u"Hello."_s},
                                                            {u"2"_s, {}, {}, u"Пока."_s, u"Bye."_s}}));
    const QString before = store().root();
    importFile(path);
    EXPECT_EQ(m_studio->message(), imported);
    EXPECT_EQ(m_studio->projectName(), u"Урок 1"_s);
    ASSERT_EQ(projects().size(), 1);
    EXPECT_TRUE(projects().constFirst().startsWith(u"Урок 1-"_s));
    EXPECT_EQ(QFileInfo(store().root()).fileName(), projects().constFirst());
    EXPECT_EQ(m_studio->blocks().size(), 2);
    EXPECT_TRUE(m_studio->takes().isEmpty());
    EXPECT_TRUE(entries(store().recordingsFolder()).isEmpty());
    EXPECT_EQ(m_defaults.value(m_studio->rememberedProjectKey()), store().root());
    EXPECT_NO_THROW(ProjectLease{before}); // the old project is no longer held
    EXPECT_EQ(m_chooser->prompts.constLast(),
              u"Создать отдельный проект из JSON или XLSX. Существующие записи сохранятся"_s);
}

TEST_F(StudioImportTest, ExtensionDecidesTheFormatInAnyCase)
{
    const QByteArray book = workbook({{{}, {}, {}, u"RU"_s, u"EN"_s}, {u"1"_s, {}, {}, u"Раз."_s, u"One."_s}});
    const struct
    {
        QString name;
        QByteArray bytes;
        qsizetype blocks;
    } cases[] = {
        {u"script.JSON"_s, twoBlocks, 2},
        {u"data.XLSX"_s, book, 1},
        {u"scenario.txt"_s, twoBlocks, 2},
        {u"noextension"_s, twoBlocks, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        importFile(file(c.name, c.bytes));
        EXPECT_EQ(m_studio->message(), imported);
        EXPECT_EQ(m_studio->blocks().size(), c.blocks);
    }
}

TEST_F(StudioImportTest, FailedImportsCreateNothingAndKeepTheOpenProject)
{
    const QString before = store().root();
    const struct
    {
        QString name;
        QByteArray bytes;
        QString messageStart;
    } cases[] = {
        {u"object.json"_s, R"({"blocks": []})", u"Ошибка: Файл «"_s},
        {u"empty.json"_s, "[]", u"Ошибка: Сценарий пуст"_s},
        {u"header.xlsx"_s, workbook({{{}, {}, {}, u"RU"_s, u"EN"_s}}), u"Ошибка: Сценарий пуст"_s},
        {u"text.xlsx"_s, "not a workbook", u"Ошибка: Файл «"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        importFile(file(c.name, c.bytes));
        EXPECT_TRUE(m_studio->message().startsWith(c.messageStart)) << m_studio->message().toStdString();
        EXPECT_EQ(store().root(), before);
        EXPECT_TRUE(projects().isEmpty());
    }
    importFile(m_dir.filePath(u"missing.json"_s));
    EXPECT_TRUE(m_studio->message().startsWith(u"Ошибка: Не удалось прочитать файл «"_s));

    m_chooser->fileAnswer = std::nullopt; // cancelled
    m_studio->importScenario();
    EXPECT_FALSE(m_studio->busy());
}

TEST_F(StudioImportTest, TheSameFileTwiceMakesTwoProjectsAndTheTitleKeepsItsDots)
{
    const QString path = file(u"Сцена 1.2.json"_s, twoBlocks);
    importFile(path);
    EXPECT_EQ(m_studio->projectName(), u"Сцена 1.2"_s);
    importFile(path);
    const QStringList made = projects();
    ASSERT_EQ(made.size(), 2);
    for (const QString &name : made)
        EXPECT_TRUE(name.startsWith(u"Сцена 1_2-"_s)) << name.toStdString();
}

TEST_F(StudioImportTest, WhileReadingEveryOtherCommandWaits)
{
    m_chooser->fileAnswer = file(u"s.json"_s, twoBlocks);
    m_studio->importScenario();
    ASSERT_TRUE(m_studio->busy());
    const ScriptBlock block = m_studio->blocks().constFirst();
    m_studio->record(block);
    EXPECT_FALSE(m_studio->prepareToQuit());
    EXPECT_EQ(m_studio->message(), u"Дождитесь завершения операции"_s);
    EXPECT_THROW_MESSAGE(m_studio->open(store()), u"Сначала завершите запись или сохранение"_s);
    ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
    EXPECT_EQ(m_studio->message(), imported);
    EXPECT_EQ(m_audio->recordersMade, 0);
}

// --- splitting a block into sentences ------------------------------------------------------

namespace {

class StudioSplitTest : public StudioFixture
{
protected:
    ScriptBlock m_block = [] {
        ScriptBlock block = sampleBlock(u"7"_s, u"7"_s);
        block.russian = u"Солнце светит. Панель работает. Ток течёт."_s;
        block.english = u"The Sun shines. The panel works. Current flows."_s;
        return block;
    }();
    ScriptBlock m_other = markedBlock(u"o"_s, u"8"_s, {u"7-1"_s});
    qsizetype m_asked = -1;

    void SetUp() override
    {
        studioWith({m_block, m_other});
        m_studio->confirmTakeRemoval = [this](const ScriptBlock &, qsizetype count) {
            m_asked = count;
            return m_answer;
        };
    }
    bool m_answer = true;
};

} // namespace

TEST_F(StudioSplitTest, BlockWithoutTakesIsSplitWithoutAsking)
{
    m_studio->splitIntoSentences(m_block);
    EXPECT_EQ(m_asked, -1);
    EXPECT_EQ(m_studio->message(), u"Блок 7 разбит на реплики: 3"_s);
    const ScriptBlock split = m_studio->blocks().constFirst();
    QStringList ids;
    for (const VoiceSegment &segment : split.voiceSegments())
        ids.append(segment.id);
    // voice:7-1 belongs to the other block, so the first new marker steps aside.
    EXPECT_EQ(ids, (QStringList{u"voice:7-1-2"_s, u"voice:7-2"_s, u"voice:7-3"_s}));
    EXPECT_EQ(split.voiceSegments().at(1).text, u"The panel works."_s);
    EXPECT_EQ(m_studio->selectedBlockID(), u"7"_s);
    EXPECT_EQ(m_studio->selectedRecordingID(), u"voice:7-1-2"_s);
    EXPECT_EQ(decodeScenario(readBytes(store().scenarioFile()), {}), m_studio->blocks());
}

TEST_F(StudioSplitTest, TakesGoToTheTrashOnlyWhenTheUserAgrees)
{
    const VoiceSegment whole = m_block.voiceSegments().constFirst();
    const Take a = commitTake(m_block, whole);
    const Take b = commitTake(m_block, whole);
    const Take kept = commitTake(m_other, m_other.voiceSegments().constFirst());
    const QByteArray scenario = readBytes(store().scenarioFile());

    m_answer = false;
    m_studio->splitIntoSentences(m_block);
    EXPECT_EQ(m_asked, 2);
    EXPECT_EQ(m_studio->takes().size(), 3);
    EXPECT_EQ(readBytes(store().scenarioFile()), scenario);
    EXPECT_TRUE(m_trash->moved.isEmpty());

    m_answer = true;
    m_studio->splitIntoSentences(m_block);
    EXPECT_EQ(m_studio->message(), u"Блок 7 разбит на реплики: 3"_s);
    EXPECT_EQ(m_trash->moved, (QStringList{a.fileName, b.fileName}));
    EXPECT_EQ(decodeManifest(readBytes(store().manifestFile()), {}).takes, QList<Take>{kept});
    EXPECT_EQ(m_studio->status(m_studio->blocks().constFirst()), u"Не записано"_s);
}

TEST_F(StudioSplitTest, RefusedBlocksKeepTheirTakesAndText)
{
    const Take take = commitTake(m_block, m_block.voiceSegments().constFirst());
    ScriptBlock uneven = m_block;
    uneven.english = u"The Sun shines. The panel works."_s;
    ScriptBlock faulty = m_block;
    faulty.english = u"Intro\n[voice:x]\nText"_s;
    const struct
    {
        ScriptBlock block;
        QString message;
    } cases[] = {
        {uneven, u"Ошибка: Блок 7: предложений в русском тексте 3, в английском 2. Разбейте вручную маркерами [voice:...]"_s},
        {faulty, u"Блок 7: сначала исправьте разметку [voice:...]"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        m_studio->splitIntoSentences(c.block);
        EXPECT_EQ(m_studio->message(), c.message);
        EXPECT_EQ(m_asked, -1);
        EXPECT_EQ(m_studio->takes(), QList<Take>{take});
        EXPECT_EQ(m_studio->blocks().constFirst(), m_block);
    }
}

TEST_F(StudioSplitTest, NothingHappensWhileATakeIsPendingOrForAStaleBlock)
{
    ScriptBlock stale = m_block;
    stale.id = u"gone"_s;
    m_studio->splitIntoSentences(stale);
    EXPECT_EQ(m_studio->message(), u"Проект открыт"_s);

    ASSERT_TRUE(recordAndWait(m_block));
    m_studio->splitIntoSentences(m_block);
    EXPECT_EQ(m_studio->blocks().constFirst(), m_block);
}
