#include "studio/Studio.h"

#include "core/Manifest.h"
#include "studio/StudioFixture.h"
#include "support/Workbook.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class StudioImportTest : public StudioFixture
{
protected:
    /// Imports `path` as if chosen in the dialog and waits for the worker's result.
    void importFile(const QString &name, const QByteArray &bytes)
    {
        writeBytes(m_dir.filePath(name), bytes);
        m_chooser->fileAnswer = m_dir.filePath(name);
        m_studio->importScenario();
        ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
    }
};

} // namespace

TEST_F(StudioImportTest, AFailedImportMakesNothingAndAWorkbookBecomesANewProjectNamedAfterTheFile)
{
    studioWith({sampleBlock(u"old"_s)});
    const QString before = store().root();
    importFile(u"header.xlsx"_s, workbook({{{}, {}, {}, u"RU"_s, u"EN"_s}}));
    EXPECT_EQ(m_studio->outcome(), (Outcome{Outcome::Result::failed, u"Сценарий пуст"_s}));
    EXPECT_EQ(m_studio->message(), u"Ошибка: Сценарий пуст"_s);
    EXPECT_EQ(store().root(), before);
    EXPECT_EQ(entries(m_dataFolder + u"/Projects"_s).size(), 1);

    importFile(u"Урок 1.xlsx"_s, workbook({{{}, {}, {}, u"RU"_s, u"EN"_s}, {u"1"_s, {}, {}, u"Привет."_s, u"Hello."_s}}));
    EXPECT_EQ(m_studio->outcome(), Outcome{});
    EXPECT_EQ(m_studio->message(), u"Создан отдельный проект. Папка доступна через «Показать проект»"_s);
    EXPECT_EQ(m_studio->projectName(), u"Урок 1"_s);
    EXPECT_TRUE(QFileInfo(store().root()).fileName().startsWith(u"Урок 1-"_s));
    EXPECT_EQ(m_defaults.value(m_studio->rememberedProjectKey()), store().root());
    EXPECT_NO_THROW(ProjectLease{before}); // the old project is no longer held

    m_chooser->fileAnswer = std::nullopt;
    m_studio->importScenario();
    EXPECT_EQ(m_studio->outcome().result, Outcome::Result::cancelled);
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

TEST_F(StudioSplitTest, TakesGoToTheTrashOnlyWhenTheUserAgrees)
{
    const VoiceSegment whole = m_block.voiceSegments().constFirst();
    const Take a = commitTake(m_block, whole);
    const Take b = commitTake(m_block, whole);
    const Take kept = commitTake(m_other, m_other.voiceSegments().constFirst());
    const QByteArray scenario = readBytes(store().scenarioFile());

    m_answer = false;
    EXPECT_EQ(m_studio->splitIntoSentences(m_block).result, Outcome::Result::cancelled);
    EXPECT_EQ(m_asked, 2);
    EXPECT_EQ(m_studio->takes().size(), 3);
    EXPECT_EQ(readBytes(store().scenarioFile()), scenario);
    EXPECT_TRUE(m_trash->moved.isEmpty());

    m_answer = true;
    EXPECT_EQ(m_studio->splitIntoSentences(m_block), Outcome{});
    EXPECT_EQ(m_studio->message(), u"Блок 7 разбит на реплики: 3"_s);
    QStringList ids;
    for (const VoiceSegment &segment : m_studio->blocks().constFirst().voiceSegments())
        ids.append(segment.id);
    // voice:7-1 belongs to the other block, so the first new marker steps aside.
    EXPECT_EQ(ids, (QStringList{u"voice:7-1-2"_s, u"voice:7-2"_s, u"voice:7-3"_s}));
    EXPECT_EQ(decodeScenario(readBytes(store().scenarioFile()), {}), m_studio->blocks());
    EXPECT_EQ(m_trash->moved, (QStringList{a.fileName, b.fileName}));
    EXPECT_EQ(decodeManifest(readBytes(store().manifestFile()), {}).takes, QList<Take>{kept});
    EXPECT_EQ(m_studio->status(m_studio->blocks().constFirst()).kind, StatusKind::notRecorded);
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
        EXPECT_NE(m_studio->splitIntoSentences(c.block).result, Outcome::Result::done);
        EXPECT_EQ(m_studio->message(), c.message);
        EXPECT_EQ(m_asked, -1);
        EXPECT_EQ(m_studio->takes(), QList<Take>{take});
        EXPECT_EQ(m_studio->blocks().constFirst(), m_block);
    }
}

