// Reviewing in the window: trimming a take by its handles, its note and rating, and the export.

#include "ui/TakeNoteDialog.h"
#include "ui/WindowFixture.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class ReviewWindowTest : public WindowFixture
{
protected:
    Take m_take;

    void SetUp() override
    {
        const ScriptBlock block = sampleBlock(u"b1"_s);
        studioWith({block});
        m_take = commitTake(block, block.voiceSegments().constFirst());
        writeSilence(store().audioURL(m_take), 2); // no speech: the automatic points are the whole file
        showWindow();
    }
    /// Answers the next modal dialog with `answer` once it is shown.
    static void whenModal(const std::function<void(QWidget *)> &answer)
    {
        QTimer::singleShot(0, [answer] {
            ASSERT_TRUE(waitFor([] { return QApplication::activeModalWidget() != nullptr; }));
            answer(QApplication::activeModalWidget());
        });
    }
};

} // namespace

TEST_F(ReviewWindowTest, CtrlLListensThroughAndSpaceOrEscStopsIt)
{
    for (const auto &[name, stop] : {std::pair("Space", Qt::Key_Space), std::pair("Esc", Qt::Key_Escape)}) {
        SCOPED_TRACE(name);
        QTest::keyClick(table(), Qt::Key_L, Qt::ControlModifier);
        ASSERT_TRUE(m_studio->listening());
        QTest::keyClick(table(), stop);
        EXPECT_FALSE(m_studio->listening());
        EXPECT_EQ(m_studio->playingID(), std::nullopt);
    }
}

TEST_F(ReviewWindowTest, DraggingAHandleSetsItsPointAndResetBringsBackTheAutomaticOnes)
{
    QWidget *waveform = widget<QWidget>(u"trimWaveform"_s);
    ASSERT_TRUE(waveform && waveform->isVisible());
    const int width = waveform->width();
    const int middle = waveform->height() / 2;
    // The in handle to a quarter, then the out handle to three quarters of the two seconds.
    for (const auto &[from, to] : {std::pair(1, width / 4), std::pair(width - 1, width * 3 / 4)}) {
        QTest::mousePress(waveform, Qt::LeftButton, {}, QPoint(from, middle));
        QTest::mouseMove(waveform, QPoint(to, middle));
        QTest::mouseRelease(waveform, Qt::LeftButton, {}, QPoint(to, middle));
        settle();
    }
    const TrimPoints points = m_studio->trimPoints(m_take.id).value_or(TrimPoints{});
    EXPECT_FALSE(points.automatic);
    EXPECT_NEAR(points.in, 0.5, 3.0 / width);
    EXPECT_NEAR(points.out, 1.5, 3.0 / width);
    EXPECT_EQ(widget<QLabel>(u"trimPoints"_s)->text(), u"0:00.50 – 0:01.50"_s);
    widget(u"resetTrim"_s)->click();
    settle();
    EXPECT_EQ(m_studio->trimPoints(m_take.id), (TrimPoints{0.0, 2.0, true}));
    EXPECT_FALSE(widget(u"resetTrim"_s)->isEnabled());
}

TEST_F(ReviewWindowTest, TheNoteAndRatingGivenInTheDialogShowInTheTakesTooltip)
{
    whenModal([](QWidget *dialog) {
        dialog->findChild<QComboBox *>(u"rating"_s)->setCurrentIndex(2);
        dialog->findChild<QPlainTextEdit *>(u"note"_s)->setPlainText(u"вдох в конце"_s);
        qobject_cast<QDialog *>(dialog)->accept();
    });
    editTakeNote(*m_studio, m_take, m_view.get());
    const auto tip = [this] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the cell built before
        return table()->findChild<QWidget *>(u"takeButton"_s)->toolTip();
    };
    EXPECT_TRUE(waitFor([&] { return tip().endsWith(u"\nОценка: ★★☆\nЗаметка: вдох в конце"_s); }))
        << tip().toStdString();
}

TEST_F(ReviewWindowTest, ExportAsksForAFolderAndAPresetAndEndsInTheStatusLine)
{
    const QString folder = m_dir.filePath(u"editor"_s);
    m_chooser->folderAnswer = folder;
    whenModal([](QWidget *dialog) {
        dialog->findChild<QPushButton *>(u"chooseExportFolder"_s)->click();
        auto *preset = dialog->findChild<QComboBox *>(u"exportPreset"_s);
        preset->setCurrentIndex(preset->findData(int(LoudnessPreset::none)));
        dialog->findChild<QPushButton *>(u"startExport"_s)->click();
    });
    m_view->findChild<QAction *>(u"exportForEditor"_s)->trigger();
    ASSERT_TRUE(waitFor([this] { return !m_studio->exporting(); }, 30000));
    EXPECT_TRUE(m_studio->message().startsWith(u"Экспортировано файлов: 1"_s)) << m_studio->message().toStdString();
    EXPECT_TRUE(QFileInfo::exists(folder + u"/cues.csv"_s));
    EXPECT_EQ(m_studio->exportPreset(), LoudnessPreset::none) << "listening through follows the export's preset";
    settle();
    EXPECT_EQ(m_view->findChild<QWidget *>(u"exportProgress"_s), nullptr) << "the progress closes at the end";
}
