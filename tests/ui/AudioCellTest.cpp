#include "ui/AudioCell.h"

#include "ui/ScriptCellDelegate.h"
#include "ui/ScriptTableModel.h"
#include "ui/WindowFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <sndfile.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

/// The window over block 1 without takes and block 3 of two marked segments with a take each,
/// driven through the window as the platform delivers a user's presses: a press reaches the
/// widget under the pointer, a context menu comes with it.
class AudioCellTest : public WindowFixture
{
protected:
    ScriptBlock m_block = markedBlock(u"m"_s, u"3"_s, {u"3-1"_s, u"3-2"_s});
    QList<Take> m_takes; // one per segment, then any added

    /// Takes one take per segment, then what `before` adds, and shows the window.
    void open(const QList<ScriptBlock> &extra = {}, const std::function<void()> &before = [] {})
    {
        m_view.reset();
        m_takes.clear();
        studioWith(QList<ScriptBlock>{spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), m_block} + extra);
        for (const VoiceSegment &segment : m_block.voiceSegments())
            m_takes.append(commitTake(m_block, segment));
        before();
        showWindow();
    }
    VoiceSegment segment(int i) const { return m_block.voiceSegments().at(i); }
    void choose(int i) { m_studio->selectSegment(m_block, segment(i)), settle(); }

    /// The live cell of segment `i` of block 3, the chosen row.
    SegmentAudioCell *segmentCell(int i) const
    {
        return table()->indexWidget(table()->model()->index(1, ScriptTableModel::audio))
            ->findChildren<SegmentAudioCell *>().value(i);
    }
    QPoint centre(QWidget *widget) const { return widget->mapTo(table()->viewport(), widget->rect().center()); }
    /// Where a row's audio cell shows the button of its segment `i`.
    QPoint paintedButton(int row, int i, CellButton::Kind kind) const
    {
        const QRect cell = table()->visualRect(table()->model()->index(row, ScriptTableModel::audio));
        const auto *delegate = static_cast<ScriptCellDelegate *>(table()->itemDelegate());
        const AudioCellLayout layout = delegate->audioLayout(row, cell.width(), table()->font());
        for (const CellButton &each : layout.segments.at(i).buttons) {
            if (each.kind == kind)
                return cell.topLeft() + each.rect.center();
        }
        return {};
    }

    /// A press and release of `mouse` at `at` in the viewport, delivered through the window,
    /// with the events between them run as a user's hand leaves time for.
    void click(Qt::MouseButton mouse, QPoint at)
    {
        const QPoint inWindow = table()->viewport()->mapTo(m_view.get(), at);
        QTest::mousePress(m_view->windowHandle(), mouse, {}, inWindow);
        settle();
        QTest::mouseRelease(m_view->windowHandle(), mouse, {}, inWindow);
        settle();
    }
    /// Runs `act`, lists the entries of the menu it opens and chooses `choose` as a user would.
    static QStringList answerMenu(const std::function<void()> &act, const QString &choose)
    {
        QStringList seen;
        QTimer poll;
        QMenu *shown = nullptr;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // Answered a tick after it opened, so whatever the press set going has run.
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || std::exchange(shown, menu) != menu)
                return;
            poll.stop();
            QAction *target = nullptr;
            for (QAction *action : menu->actions()) {
                if (action->isSeparator())
                    continue;
                seen.append(action->text());
                if (action->text() == choose)
                    target = action;
            }
            if (target)
                menu->setActiveAction(target);
            QTest::keyClick(menu, target ? Qt::Key_Return : Qt::Key_Escape);
        });
        poll.start(10);
        act();
        settle();
        return seen;
    }
    /// A WAV file of `seconds` at a steady `level` in place of the take's audio.
    void writeWav(const Take &take, int seconds, short level = 0) const
    {
        SF_INFO info{0, 1000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
        SNDFILE *file = sf_open(QFile::encodeName(store().audioURL(take)).constData(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        sf_write_short(file, std::vector<short>(1000 * static_cast<std::size_t>(seconds), level).data(),
                       1000 * seconds);
        sf_close(file);
    }
};

} // namespace

// A right press in the chosen row's audio cell once deleted the cell that owned the open menu.
TEST_F(AudioCellTest, RightClickInTheChosenRowsAudioCellNeverDeletesTheMenuUnderIt)
{
    struct Case
    {
        const char *name;
        int chosen;      // the segment chosen before the press
        bool playing;    // its take plays
        bool onTake;     // the press is on segment 1's take button, else right of its buttons
        QString choose;
        QStringList entries;
    };
    const QStringList oneTake{u"Прослушать запись"_s, u"Выбрать лучшей"_s, u"Заметка и оценка…"_s,
                              u"Удалить запись"_s};
    const Case cases[] = {
        {"A: the other segment", 1, false, false, u"Удалить запись"_s, oneTake},
        {"B: the playing take's button", 0, true, true, u"Удалить"_s, {u"Выбрать лучшим"_s, u"Заметка и оценка…"_s, u"Удалить"_s}},
        {"C: an empty spot while playing", 0, true, false, u"Удалить запись"_s, oneTake},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        open();
        choose(c.chosen);
        if (c.playing)
            click(Qt::LeftButton, centre(segmentCell(0)->findChild<QWidget *>(u"takeButton"_s)));
        SegmentAudioCell *first = segmentCell(0);
        const QPoint at = c.onTake ? centre(first->findChild<QWidget *>(u"takeButton"_s))
                                   : first->mapTo(table()->viewport(), QPoint(first->width() - 6, first->height() - 6));
        EXPECT_EQ(answerMenu([&] { click(Qt::RightButton, at); }, c.choose), c.entries);
        EXPECT_EQ(m_trash->moved, QStringList{m_takes.at(0).fileName});
        EXPECT_EQ(m_studio->takes(), QList<Take>{m_takes.at(1)});
    }
}

TEST_F(AudioCellTest, AFirstClickOnAPaintedButtonDoesWhatTheChosenRowsButtonDoes)
{
    struct Case
    {
        const char *name;
        int row;          // the painted row: block 1 or block 3
        int segment;      // of the row's block
        CellButton::Kind button;
        QString choose;   // from the menu the button opens
        int playing;      // the take of `m_takes` that plays after the click, or -1
        bool recording;
    };
    const Case cases[] = {
        {"take", 1, 0, CellButton::take, {}, 0, false},
        {"takes menu", 1, 1, CellButton::takesMenu, u"Прослушать дубль 2"_s, 2, false},
        {"new take", 1, 1, CellButton::newTake, {}, -1, true},
        {"record", 0, 0, CellButton::record, {}, -1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        open({}, [&] { m_takes.append(commitTake(m_block, segment(1))); });
        m_studio->selectBlock(c.row == 0 ? m_block.id : u"a"_s);
        settle();
        const int height = table()->rowHeight(c.row);
        const QPoint at = paintedButton(c.row, c.segment, c.button);
        EXPECT_EQ(answerMenu([&] { click(Qt::LeftButton, at); }, c.choose).isEmpty(), c.choose.isEmpty());
        ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
        settle();
        EXPECT_EQ(m_studio->selectedRecordingID(), c.row == 0 ? u"a"_s : segment(c.segment).id);
        EXPECT_EQ(m_studio->playingID(), c.playing < 0 ? std::nullopt : std::optional(m_takes.at(c.playing).id));
        EXPECT_EQ(m_studio->recording(), c.recording);
        EXPECT_EQ(table()->rowHeight(c.row), height); // chosen, the row kept its height
    }
}

TEST_F(AudioCellTest, AClickOnASegmentsTextInTheChosenRowChoosesTheSegment)
{
    open();
    choose(0);
    QLabel *text = segmentCell(1)->findChild<QLabel *>();
    ASSERT_NE(text, nullptr);
    click(Qt::LeftButton, centre(text));
    EXPECT_EQ(m_studio->selectedRecordingID(), segment(1).id);
}

TEST_F(AudioCellTest, EveryStatusTextIsReadableAtTheDefaultWidthAndWholeInItsTooltip)
{
    QList<ScriptBlock> blocks;
    for (const QString &status : {u"Нужно перезаписать"_s, u"Проверить и обрезать"_s, u"Нужно записать"_s}) {
        blocks.append(spokenBlock(status, QString::number(blocks.size() + 4), u"Текст"_s, u"Text"_s));
        blocks.last().voiceStatus = status;
    }
    open(blocks);
    for (int row = 2; row < 5; ++row) {
        const QModelIndex index = table()->model()->index(row, ScriptTableModel::status);
        const QString status = index.data().toString();
        EXPECT_EQ(index.data(Qt::ToolTipRole).toString(), status);
        EXPECT_EQ(ScriptCellDelegate::statusLines(status, table()->font(), table()->columnWidth(index.column())).join(
                      QString()),
                  status); // no line cut short
    }
}

TEST_F(AudioCellTest, CtrlPPlaysTheNewestTakeAndTheTakeButtonShowsItWithItsLength)
{
    open({}, [&] {
        m_takes.append(commitTake(m_block, segment(0))); // newer, not chosen
        writeWav(m_takes.at(0), 65);
        writeWav(m_takes.at(2), 2);
    });
    choose(0);
    // The silence written here may or may not be measured before it replaces the take's file.
    const auto shown = [this] {
        return segmentCell(0)->findChild<QAbstractButton *>(u"takeButton"_s)->text().remove(u" \u26A0"_s);
    };
    EXPECT_EQ(shown(), u"Дубль 1 · 1:05"_s);

    QTest::keyClick(m_view.get(), Qt::Key_P, Qt::ControlModifier);
    settle();
    EXPECT_EQ(m_studio->playingID(), m_takes.at(2).id);
    EXPECT_EQ(shown(), u"Дубль 2 · 0:02"_s);
    const QStringList entries =
        answerMenu([&] { click(Qt::LeftButton, centre(segmentCell(0)->findChild<QWidget *>(u"takesMenu"_s))); }, {})
            .replaceInStrings(u" \u26A0"_s, QString());
    EXPECT_EQ(entries, (QStringList{u"Прослушать дубль 1 · 1:05"_s, u"Выбрать дубль 1"_s,
                                    u"Прослушать дубль 2 · 0:02"_s, u"Выбрать дубль 2"_s}));
}

// A flagged take must be seen where the speaker decides: on its button, and in its row's status.
TEST_F(AudioCellTest, AChosenTakeWithFlagsIsMarkedOnItsButtonAndUnderItsRowsStatus)
{
    Take loud;
    open({}, [&] {
        ASSERT_TRUE(recordAndWait(m_block, segment(0)));
        writeWav(*m_studio->pendingTake(), 1, 32767); // clipped throughout
        m_studio->stopRecording();
        loud = m_studio->takes().constLast();
        m_studio->select(loud);
    });
    ASSERT_TRUE(waitFor([&] { return m_studio->figures(loud.id).has_value(); }));
    choose(0);
    const QModelIndex status = table()->model()->index(1, ScriptTableModel::status);
    EXPECT_TRUE(status.data(ScriptTableModel::FlagsRole).toString().contains(u"перегрузка"_s));
    const auto *flagged = segmentCell(0)->findChild<QAbstractButton *>(u"takeButton"_s);
    EXPECT_TRUE(flagged->text().endsWith(u"\u26A0"_s)) << flagged->text().toStdString();
    EXPECT_TRUE(flagged->toolTip().contains(u"Перегруженных отсчётов: "_s));
    EXPECT_FALSE(segmentCell(1)->findChild<QAbstractButton *>(u"takeButton"_s)->text().contains(u"\u26A0"_s));
}
