// A day at the microphone: the window keeps its place, its keys and its messages readable.

#include "ui/MessageLabel.h"
#include "ui/WindowFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QScrollBar>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class SpeakerFlowTest : public WindowFixture
{
protected:
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
        ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
        settle();
    }
    static QList<ScriptBlock> manyBlocks(int count)
    {
        QList<ScriptBlock> blocks;
        for (int i = 1; i <= count; ++i)
            blocks.append(sampleBlock(u"b"_s + QString::number(i), QString::number(i)));
        return blocks;
    }
};

} // namespace

TEST_F(SpeakerFlowTest, TheChosenBlockSegmentAndScrollComeBackAfterReopening)
{
    QList<ScriptBlock> blocks = manyBlocks(40);
    blocks[29] = markedBlock(u"m"_s, u"30"_s, {u"a"_s, u"b"_s});
    studioWith(blocks);
    showWindow();
    m_studio->selectSegment(blocks[29], blocks[29].voiceSegments().at(1));
    settle();
    const int scrolled = table()->verticalScrollBar()->maximum() / 2;
    table()->verticalScrollBar()->setValue(scrolled);
    ASSERT_TRUE(m_view->close());
    m_view.reset();

    startStudio();
    showWindow();
    EXPECT_EQ(m_studio->selectedBlockID(), u"m"_s);
    EXPECT_EQ(m_studio->selectedRecordingID(), u"voice:b"_s);
    EXPECT_EQ(table()->verticalScrollBar()->value(), scrolled);
}

TEST_F(SpeakerFlowTest, ALongErrorIsRedReadableWholeAndCoversNothing)
{
    studioWith({sampleBlock(u"b"_s)});
    showWindow();
    auto *message = widget<MessageLabel>(u"message"_s);
    const QString path = u"/очень/длинный/путь/к/проекту/"_s.repeated(8) + u"manifest.json"_s;
    m_studio->report(u"Не удалось записать файл «"_s + path + u"»: нет места на диске"_s);
    settle();
    EXPECT_TRUE(widget<QWidget>(u"statusDot"_s)->property("red").toBool());
    EXPECT_LE(message->text().count(u'\n'), 1);
    EXPECT_TRUE(message->toolTip().contains(path));
    EXPECT_TRUE(message->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_FALSE(message->geometry().intersects(widget<QLabel>(u"format"_s)->geometry()));
    m_studio->open(store()); // "Проект открыт": an outcome again, not an error
    settle();
    EXPECT_FALSE(widget<QWidget>(u"statusDot"_s)->property("red").toBool());
}

TEST_F(SpeakerFlowTest, CtrlReturnCommitsTakesOfConsecutiveSegments)
{
    studioWith({markedBlock(u"m"_s, u"1"_s, {u"a"_s, u"b"_s, u"c"_s})});
    showWindow();
    key(Qt::Key_Return); // idle: records the block's first line
    for (int line = 0; line < 2; ++line) {
        writeAudio();
        key(Qt::Key_Return);
    }
    EXPECT_EQ(recordedIDs(), (QStringList{u"voice:a"_s, u"voice:b"_s}));
    EXPECT_TRUE(m_studio->recording());
    EXPECT_EQ(m_studio->pendingTake()->blockID, u"voice:c"_s);
}

TEST_F(SpeakerFlowTest, RightAfterADeleteTheStatusLineOffersUndoAndCtrlZDoesIt)
{
    const ScriptBlock block = sampleBlock(u"b"_s);
    studioWith({block});
    const Take take = commitTake(block, block.voiceSegments().constFirst());
    showWindow();
    m_studio->deleteTake(take);
    settle();
    auto *undo = widget(u"undoDelete"_s);
    ASSERT_TRUE(undo->isVisible());
    EXPECT_TRUE(undo->toolTip().contains(u"Ctrl+Z"_s));
    key(Qt::Key_Z);
    EXPECT_EQ(m_studio->takes(), QList<Take>{take});
    EXPECT_FALSE(undo->isVisible());
}

TEST_F(SpeakerFlowTest, RowsMovedByKeysStayInTheMiddleThirdAndTheLastColumnFillsTheWindow)
{
    studioWith(manyBlocks(60));
    showWindow();
    int columns = 0;
    for (int column = 0; column < table()->model()->columnCount(); ++column)
        columns += table()->columnWidth(column);
    EXPECT_EQ(columns, table()->viewport()->width());
    const int height = table()->viewport()->height();
    m_studio->selectBlock(u"b20"_s); // away from the ends, where the view cannot scroll further
    for (int step = 0; step < 20; ++step) {
        key(Qt::Key_Down, Qt::AltModifier);
        const QRect row = table()->visualRect(table()->selectionModel()->selectedRows().constFirst());
        ASSERT_GE(row.bottom(), height / 3) << step;
        ASSERT_LE(row.top(), height * 2 / 3) << step;
    }
}

TEST_F(SpeakerFlowTest, HeaderLeavesKeysToTheTableShowsTheNoteTheFolderAndFilters)
{
    QList<ScriptBlock> blocks = manyBlocks(3);
    blocks[1].voiceNote = u"Ударение: фосфОр"_s;
    studioWith(blocks);
    commitTake(blocks[0], blocks[0].voiceSegments().constFirst());
    showWindow();
    EXPECT_EQ(QApplication::focusWidget(), table());
    QTest::mouseClick(widget(u"openProject"_s), Qt::LeftButton); // the chooser is cancelled
    EXPECT_EQ(QApplication::focusWidget(), table());
    EXPECT_EQ(widget<QWidget>(u"projectName"_s)->toolTip(), store().root());
    auto *note = widget<MessageLabel>(u"voiceNote"_s);
    EXPECT_EQ(note->fullText(), QString());
    key(Qt::Key_Down); // the next block that needs recording
    EXPECT_EQ(note->fullText(), u"Заметка к блоку 2: Ударение: фосфОр"_s);

    auto *filter = widget<QComboBox>(u"statusFilter"_s);
    filter->setCurrentText(u"Нужно записать"_s);
    emit filter->activated(filter->currentIndex());
    EXPECT_EQ(table()->model()->rowCount(), 2); // block 1 is done

    m_view->openFolder = [](const QString &) { return false; }; // no file manager
    QTest::mouseClick(widget(u"showProject"_s), Qt::LeftButton);
    EXPECT_EQ(m_studio->message(), u"Ошибка: Не удалось открыть папку «"_s + store().root() + u"»"_s);
}
