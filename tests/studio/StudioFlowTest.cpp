// The rules that keep a speaker in the flow: the next line to record, the next block that needs
// one, undoing a delete, and the place kept per project.

#include "studio/StudioFixture.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class StudioFlowTest : public StudioFixture
{
protected:
    static ScriptBlock withStatus(ScriptBlock block, const QString &status)
    {
        block.voiceStatus = status;
        return block;
    }
};

} // namespace

// A wrong "next" would make the speaker read a line twice or skip one.
TEST_F(StudioFlowTest, SaveAndRecordNextWalksTheUnchosenSegmentsOfThisAndLaterBlocks)
{
    const ScriptBlock marked = markedBlock(u"m"_s, u"1"_s, {u"a"_s, u"b"_s, u"c"_s});
    studioWith({marked, sampleBlock(u"p"_s, u"2"_s), withStatus(sampleBlock(u"t"_s, u"3"_s), u"Озвучено"_s),
                sampleBlock(u"q"_s, u"4"_s)});
    commitTake(marked, marked.voiceSegments().at(2)); // voice:c already has its chosen take
    ASSERT_TRUE(recordAndWait(marked, marked.voiceSegments().at(0)));
    for (const QString &next : {u"voice:b"_s, u"p"_s, u"q"_s}) {
        SCOPED_TRACE(next.toStdString());
        writeAudio();
        m_studio->saveAndRecordNext();
        ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
        EXPECT_TRUE(m_studio->recording()) << m_studio->message().toStdString();
        EXPECT_EQ(m_studio->pendingTake()->blockID, next);
        EXPECT_EQ(m_studio->selectedRecordingID(), next);
    }
    writeAudio();
    m_studio->saveAndRecordNext();
    EXPECT_FALSE(m_studio->pendingTake());
    EXPECT_EQ(m_studio->message(), u"Дубль сохранён. Дальше записывать нечего"_s);
    EXPECT_EQ(recordedIDs(), (QStringList{u"voice:c"_s, u"voice:a"_s, u"voice:b"_s, u"p"_s, u"q"_s}));
}

TEST_F(StudioFlowTest, NextBlockToRecordSkipsDoneAndTimelineBlocksAndComesRound)
{
    const ScriptBlock first = sampleBlock(u"b1"_s, u"1"_s);
    const ScriptBlock marked = markedBlock(u"b4"_s, u"4"_s, {u"x"_s, u"y"_s});
    studioWith({first, withStatus(sampleBlock(u"b2"_s, u"2"_s), u"Озвучено"_s),
                withStatus(sampleBlock(u"b3"_s, u"3"_s), u"Проверить и обрезать"_s), marked,
                sampleBlock(u"b5"_s, u"5"_s)});
    commitTake(first, first.voiceSegments().constFirst());
    commitTake(marked, marked.voiceSegments().constFirst());
    m_studio->selectBlock(u"b1"_s);
    const QList<std::pair<QString, QString>> expected{
        {u"b4"_s, u"voice:y"_s}, {u"b5"_s, u"b5"_s}, {u"b4"_s, u"voice:y"_s}};
    for (const auto &[block, segment] : expected) {
        m_studio->selectNextBlockToRecord();
        EXPECT_EQ(m_studio->selectedBlockID(), block);
        EXPECT_EQ(m_studio->selectedRecordingID(), segment);
    }
}

// Undo must give back exactly what the delete took, or say plainly that it cannot.
TEST_F(StudioFlowTest, UndoDeletePutsTheFileAndTheChosenTakeBackOrSaysTheTrashLostIt)
{
    for (const bool emptiedTrash : {false, true}) {
        SCOPED_TRACE(emptiedTrash ? "trash emptied" : "file in the trash");
        const ScriptBlock block = sampleBlock(u"b"_s);
        studioWith({block});
        const Take chosen = commitTake(block, block.voiceSegments().constFirst());
        commitTake(block, block.voiceSegments().constFirst());
        const QList<Take> before = m_studio->takes();
        const QString file = store().audioURL(chosen);

        m_studio->deleteTake(chosen);
        ASSERT_TRUE(m_studio->canUndoDelete());
        const QList<Take> afterDelete = m_studio->takes(); // the mark went to the other take
        if (emptiedTrash)
            QFile::remove(m_dir.filePath(u"trash/"_s + chosen.fileName));
        m_studio->undoDelete();

        EXPECT_FALSE(m_studio->canUndoDelete());
        EXPECT_EQ(m_studio->takes(), emptiedTrash ? afterDelete : before);
        EXPECT_EQ(ProjectStore(store().root()).load().takes, m_studio->takes());
        EXPECT_EQ(QFileInfo::exists(file), !emptiedTrash);
        EXPECT_EQ(m_studio->message(), emptiedTrash ? u"Ошибка: Файла «"_s + chosen.fileName
                                                          + u"» больше нет в Корзине: дубль не восстановить"_s
                                                    : u"Дубль восстановлен"_s);
    }
}
