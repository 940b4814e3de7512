#include "ui/StudioView.h"

#include "studio/StudioFixture.h"
#include "ui/AudioCell.h"
#include "ui/CellText.h"
#include "ui/DialogServices.h"
#include "ui/LevelBar.h"
#include "ui/RecordingStrip.h"
#include "ui/ScriptTableModel.h"
#include "ui/StudioSettingsView.h"
#include "ui/ViewSettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct MenuEntry
{
    QString title;
    bool enabled;
    friend bool operator==(const MenuEntry &, const MenuEntry &) = default;
};

void PrintTo(const MenuEntry &entry, std::ostream *os)
{
    *os << entry.title.toStdString() << (entry.enabled ? "" : " (disabled)");
}

/// The window over a studio with fake sound and services; the view's settings live in the same
/// in-memory store as the studio's, as they share one settings file in the program.
class StudioViewTest : public StudioFixture
{
protected:
    std::unique_ptr<MemoryDefaults> m_viewDefaults;
    std::unique_ptr<ViewSettings> m_settings;
    std::unique_ptr<StudioView> m_view;
    QStringList m_openedFolders;

    StudioView &showWindow(const QList<ScriptBlock> &blocks)
    {
        studioWith(blocks);
        return showWindow();
    }
    StudioView &showWindow()
    {
        m_viewDefaults = std::make_unique<MemoryDefaults>(m_defaults);
        m_settings = std::make_unique<ViewSettings>(*m_viewDefaults);
        m_view = std::make_unique<StudioView>(*m_studio, *m_settings);
        m_view->openFolder = [this](const QString &folder) { m_openedFolders.append(folder); };
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        settle();
        return *m_view;
    }
    void TearDown() override
    {
        m_view.reset();
        m_settings.reset();
    }

    /// Lets deferred rebuilds and resizes run.
    static void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }

    template<typename T = QPushButton>
    T *widget(const QString &name) const
    {
        T *found = m_view->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QTableView *table() const { return m_view->table(); }
    QAbstractItemModel *model() const { return table()->model(); }
    int rows() const { return model()->rowCount(); }
    QString cell(int row, int column) const { return model()->index(row, column).data().toString(); }
    QStringList numbers() const
    {
        QStringList result;
        for (int row = 0; row < rows(); ++row)
            result.append(cell(row, ScriptTableModel::number));
        return result;
    }
    QStringList headers() const
    {
        QStringList result;
        for (int column = 0; column < model()->columnCount(); ++column)
            result.append(model()->headerData(column, Qt::Horizontal).toString());
        return result;
    }
    QPoint centreOf(int row, int column) const { return table()->visualRect(model()->index(row, column)).center(); }
    void clickRow(int row)
    {
        table()->scrollTo(model()->index(row, 0));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, centreOf(row, ScriptTableModel::number));
        settle();
    }
    void click(QAbstractButton *button)
    {
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisible()) << button->text().toStdString();
        ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
        settle();
    }
    /// Types as a keyboard would; QTest's own typing knows only Latin letters.
    static void typeText(QWidget *target, const QString &text)
    {
        for (const QChar character : text)
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(character), Qt::NoModifier);
    }
    bool visible(const QString &name) const { return widget<QWidget>(name)->isVisible(); }

    /// The live audio cell of the selected row.
    AudioCell *audioCell() const
    {
        for (int row = 0; row < rows(); ++row) {
            if (auto *cell = qobject_cast<AudioCell *>(table()->indexWidget(model()->index(row, ScriptTableModel::audio))))
                return cell;
        }
        return nullptr;
    }
    QAbstractButton *audioButton(const QString &text) const
    {
        AudioCell *cell = audioCell();
        if (!cell)
            return nullptr;
        for (QAbstractButton *button : cell->findChildren<QAbstractButton *>()) {
            if (button->text() == text || button->accessibleName() == text)
                return button;
        }
        return nullptr;
    }

    /// Runs `open`, which is expected to pop up a menu; lists the entries it showed and
    /// chooses `choose` as a user would (highlight and Return). Empty when no menu appeared.
    static QList<MenuEntry> answerMenu(const std::function<void()> &open, const QString &choose = {})
    {
        QList<MenuEntry> seen;
        QTimer::singleShot(0, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            QAction *target = nullptr;
            for (QAction *action : menu->actions()) {
                if (action->isSeparator())
                    continue;
                seen.append({action->text(), action->isEnabled()});
                if (action->text() == choose)
                    target = action;
            }
            if (target && target->isEnabled()) {
                menu->setActiveAction(target);
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                menu->close();
            }
        });
        open();
        settle();
        return seen;
    }
    QList<MenuEntry> rightClick(int row, int column, const QString &choose = {})
    {
        const QPoint at = centreOf(row, column);
        return answerMenu([&] { QTest::mousePress(table()->viewport(), Qt::RightButton, {}, at); }, choose);
    }

    /// Starts a take of the selected block with the status bar's record button.
    void recordFromStatusBar()
    {
        click(widget(u"record"_s));
        ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
        ASSERT_TRUE(m_studio->recording()) << m_studio->message().toStdString();
        settle();
    }
};

} // namespace

// --- the table: rows, columns, statuses and progress ----------------------------------

TEST_F(StudioViewTest, WindowOpensAtItsDefaultSizeWithFiveColumnsAndOneRowPerBlock)
{
    ScriptBlock withVideo = spokenBlock(u"a"_s, u"1"_s, u"Первый"_s, u"First"_s);
    withVideo.videoRussian = u"Кадр"_s;
    showWindow({withVideo, spokenBlock(u"b"_s, u"2"_s, u"Второй"_s, u""_s)});

    EXPECT_EQ(m_view->size(), QSize(1320, 760));
    EXPECT_EQ(m_view->windowTitle(), u"Tarnwick"_s);
    EXPECT_EQ(headers(), (QStringList{u"#"_s, u"AUDIO / ENGLISH"_s, u"АУДИО / РУССКИЙ"_s, u"СТАТУС"_s,
                                      u"АУДИОФАЙЛЫ"_s}));
    EXPECT_EQ(numbers(), (QStringList{u"1"_s, u"2"_s}));
    EXPECT_EQ(cell(0, ScriptTableModel::english), u"First"_s);
    EXPECT_EQ(cell(1, ScriptTableModel::english), u"—"_s); // an empty text shows the dash
    EXPECT_EQ(cell(0, ScriptTableModel::status), u"Не записано"_s);
    EXPECT_EQ(widget<QLabel>(u"progress"_s)->text(), u"0 из 2 блоков озвучено"_s);
    EXPECT_EQ(widget<QLabel>(u"projectName"_s)->text(), u"Урок"_s);

    // "Монтаж" appends the two video columns after the audio column, and takes them away again.
    click(widget(u"videoColumns"_s));
    EXPECT_EQ(headers().mid(5), (QStringList{u"ВИДЕО / МОНТАЖ"_s, u"VIDEO / EDIT"_s}));
    EXPECT_EQ(cell(0, ScriptTableModel::videoRussian), u"Кадр"_s);
    EXPECT_EQ(cell(1, ScriptTableModel::videoRussian), u"—"_s);
    click(widget(u"videoColumns"_s));
    EXPECT_EQ(model()->columnCount(), 5);
}

TEST_F(StudioViewTest, NoProjectShowsZeroOfZero)
{
    startStudio(false);
    showWindow();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(widget<QLabel>(u"progress"_s)->text(), u"0 из 0 блоков озвучено"_s);
    EXPECT_FALSE(visible(u"record"_s)); // nothing selected, no recording command
    click(widget(u"showProject"_s));
    EXPECT_TRUE(m_openedFolders.isEmpty());
}

// --- search ------------------------------------------------------------------------------

TEST_F(StudioViewTest, SearchFiltersByNumberAndBothVoiceTextsIgnoringCase)
{
    ScriptBlock onlyVideo = spokenBlock(u"c"_s, u"30"_s, u"Тишина"_s, u"Quiet"_s);
    onlyVideo.videoRussian = u"Солнце на экране"_s;
    showWindow({spokenBlock(u"a"_s, u"10"_s, u"Солнце светит"_s, u"The Sun shines"_s),
                spokenBlock(u"b"_s, u"21"_s, u"Панель работает"_s, u"The panel works"_s), onlyVideo});
    auto *search = widget<QLineEdit>(u"search"_s);
    EXPECT_EQ(search->placeholderText(), u"Поиск в сценарии"_s);

    const std::pair<QString, QStringList> cases[] = {
        {u"солнце"_s, {u"10"_s}},        // Russian, other case; the video text is not searched
        {u"СОЛНЦЕ"_s, {u"10"_s}},
        {u"PANEL"_s, {u"21"_s}},         // English
        {u"1"_s, {u"10"_s, u"21"_s}},    // the number
        {u" работает"_s, {u"21"_s}},     // used as typed, not trimmed
        {u"нет такого"_s, {}},
        {u""_s, {u"10"_s, u"21"_s, u"30"_s}},
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(text.toStdString());
        search->clear();
        typeText(search, text);
        EXPECT_EQ(numbers(), expected);
    }
}

TEST_F(StudioViewTest, ASelectedBlockHiddenBySearchStaysSelectedAndReturnsWithIt)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s),
                spokenBlock(u"c"_s, u"3"_s, u"Три"_s, u"Three"_s)});
    clickRow(1);
    ASSERT_EQ(m_studio->selectedBlockID(), u"b"_s);
    auto *search = widget<QLineEdit>(u"search"_s);
    typeText(search, u"Th"_s); // leaves 3 only, then none
    settle();
    EXPECT_EQ(numbers(), QStringList{u"3"_s});
    EXPECT_EQ(m_studio->selectedBlockID(), u"b"_s);
    EXPECT_TRUE(table()->selectionModel()->selectedRows().isEmpty());
    EXPECT_TRUE(visible(u"record"_s)); // still records the hidden block
    search->clear();
    settle();
    EXPECT_EQ(m_studio->selectedBlockID(), u"b"_s);
    const QModelIndexList selected = table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.constFirst().row(), 1);
}

// --- selection and the status bar's three states -------------------------------------------

TEST_F(StudioViewTest, ClickingARowSelectsItsBlockAndTheTableFollowsTheStudio)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s)});
    clickRow(1);
    EXPECT_EQ(m_studio->selectedBlockID(), u"b"_s);
    m_studio->selectBlock(u"a"_s);
    settle();
    const QModelIndexList selected = table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.constFirst().row(), 0);
    // The selected row's audio column is live: its record button records that block.
    EXPECT_NE(audioButton(u"Записать эту реплику"_s), nullptr);
}

TEST_F(StudioViewTest, RecordSaveFromTheStatusBarCommitsATakeAndUpdatesOnlyItsRow)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s),
                spokenBlock(u"c"_s, u"3"_s, u"Три"_s, u"Three"_s)});
    clickRow(1);
    auto *record = widget(u"record"_s);
    EXPECT_EQ(record->text(), u"Записать следующую реплику"_s);
    EXPECT_FALSE(visible(u"save"_s));

    recordFromStatusBar();
    EXPECT_TRUE(widget<QWidget>(u"statusDot"_s)->property("red").toBool());
    EXPECT_TRUE(visible(u"liveLevel"_s));
    EXPECT_FALSE(record->isVisible());
    EXPECT_EQ(widget(u"save"_s)->text(), u"Сохранить"_s);
    EXPECT_EQ(widget(u"cancel"_s)->text(), u"Отменить"_s);
    EXPECT_EQ(cell(1, ScriptTableModel::status), u"Запись"_s);
    // Locked: the project commands wait, showing the folder does not.
    EXPECT_FALSE(widget(u"openProject"_s)->isEnabled());
    EXPECT_FALSE(widget(u"importScenario"_s)->isEnabled());
    EXPECT_TRUE(widget(u"showProject"_s)->isEnabled());

    QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(model(), &QAbstractItemModel::modelReset);
    writeAudio();
    click(widget(u"save"_s));
    EXPECT_EQ(m_studio->message(), u"Дубль сохранён"_s);
    EXPECT_EQ(widget<QLabel>(u"message"_s)->text(), u"Дубль сохранён"_s);
    EXPECT_EQ(cell(1, ScriptTableModel::status), u"Утверждено"_s);
    EXPECT_EQ(widget<QLabel>(u"progress"_s)->text(), u"1 из 3 блоков озвучено"_s);
    EXPECT_FALSE(widget<QWidget>(u"statusDot"_s)->property("red").toBool());
    EXPECT_TRUE(record->isVisible());
    EXPECT_EQ(reset.count(), 0);
    ASSERT_GT(changed.count(), 0);
    for (const QList<QVariant> &signal : changed) {
        EXPECT_EQ(signal.at(0).toModelIndex().row(), 1);
        EXPECT_EQ(signal.at(1).toModelIndex().row(), 1);
    }
}

TEST_F(StudioViewTest, AFailedSaveOffersARetryAndCancelDiscardsTheTake)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    clickRow(0);
    recordFromStatusBar();
    click(widget(u"save"_s)); // the device wrote nothing
    EXPECT_EQ(m_studio->message(), u"Ошибка: Аудиофайл не создан. Отмените этот дубль и проверьте микрофон"_s);
    EXPECT_EQ(widget(u"save"_s)->text(), u"Повторить сохранение"_s);
    EXPECT_FALSE(widget<QWidget>(u"statusDot"_s)->property("red").toBool());
    EXPECT_FALSE(visible(u"liveLevel"_s));

    click(widget(u"cancel"_s));
    EXPECT_EQ(m_studio->message(), u"Запись отменена"_s);
    EXPECT_FALSE(m_studio->pendingTake());
    EXPECT_TRUE(visible(u"record"_s));
}

TEST_F(StudioViewTest, ShowProjectOpensTheProjectFolder)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    click(widget(u"showProject"_s));
    EXPECT_EQ(m_openedFolders, QStringList{store().root()});
}

// --- the segment cell and its recording strip ---------------------------------------------

TEST_F(StudioViewTest, StripInTheSegmentCellSavesATakeAndTheTakeRowReplacesIt)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s)});
    clickRow(0);
    click(audioButton(u"Записать эту реплику"_s));
    ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
    settle();
    auto *strip = audioCell() ? audioCell()->findChild<RecordingStrip *>() : nullptr;
    ASSERT_NE(strip, nullptr);

    // A meter tick moves the strip and the level bar only: no row of the table changes.
    QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
    const int height = table()->rowHeight(0);
    m_audio->powers = {-10.0f};
    m_audio->recorder->time = 75.9;
    m_audio->timer->tick();
    settle();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(table()->rowHeight(0), height);
    EXPECT_EQ(strip->accessibleName(), u"Идёт запись, 1:15"_s);

    writeAudio();
    click(strip->saveButton());
    EXPECT_EQ(m_studio->takes().size(), 1);
    EXPECT_EQ(cell(0, ScriptTableModel::status), u"Утверждено"_s);
    EXPECT_NE(audioButton(u"Дубль 1"_s), nullptr);
    EXPECT_NE(audioButton(u"Новый дубль"_s), nullptr);
}

TEST_F(StudioViewTest, TakeButtonPlaysTheChosenTake)
{
    const ScriptBlock a = spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s);
    studioWith({a});
    commitTake(a, a.voiceSegments().constFirst());
    showWindow();
    clickRow(0);
    click(audioButton(u"Дубль 1"_s));
    EXPECT_EQ(m_studio->playingID(), m_studio->takes().constFirst().id);
}

TEST_F(StudioViewTest, PaintedButtonsOfOtherRowsWorkAtTheFirstClick)
{
    const ScriptBlock b = spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s);
    studioWith({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), b, spokenBlock(u"c"_s, u"3"_s, u"Три"_s, u"Three"_s)});
    const Take take = commitTake(b, b.voiceSegments().constFirst());
    showWindow();
    m_studio->selectBlock(u"a"_s);
    settle();
    // Row 2 is a picture; its take button sits at the top left of the audio cell.
    const QPoint onButton = table()->visualRect(model()->index(1, ScriptTableModel::audio)).topLeft() + QPoint(24, 22);
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, onButton);
    settle();
    EXPECT_EQ(m_studio->selectedBlockID(), u"b"_s);
    EXPECT_EQ(m_studio->playingID(), take.id);

    const QPoint onRecord = table()->visualRect(model()->index(2, ScriptTableModel::audio)).topLeft() + QPoint(24, 22);
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, onRecord);
    ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
    EXPECT_TRUE(m_studio->recording());
    EXPECT_EQ(m_studio->selectedBlockID(), u"c"_s);
}

// --- context menus ---------------------------------------------------------------------

TEST_F(StudioViewTest, VoiceTextMenuCopiesTheTextWithoutMarkers)
{
    ScriptBlock marked = markedBlock(u"a"_s, u"1"_s, {u"1-1"_s, u"1-2"_s});
    showWindow({marked});
    const QList<MenuEntry> entries = rightClick(0, ScriptTableModel::english, u"Копировать текст"_s);
    EXPECT_EQ(entries, (QList<MenuEntry>{{u"Копировать текст"_s, true}, {u"Разбить на предложения"_s, true}}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"Line 1-1.\nLine 1-2."_s);
}

TEST_F(StudioViewTest, TheSelectedRowsTextCanBeSelectedAndCopiedWithTheMouse)
{
    ScriptBlock marked = markedBlock(u"a"_s, u"1"_s, {u"1-1"_s, u"1-2"_s});
    showWindow({marked, spokenBlock(u"b"_s, u"2"_s, u"Два слова"_s, u"Two words"_s)});
    const int paintedHeight = table()->rowHeight(0);
    clickRow(0);
    // Live text for the selected row only, one piece per segment, at the painted row's height.
    auto *english = qobject_cast<CellText *>(table()->indexWidget(model()->index(0, ScriptTableModel::english)));
    ASSERT_NE(english, nullptr);
    EXPECT_EQ(table()->indexWidget(model()->index(1, ScriptTableModel::english)), nullptr);
    EXPECT_EQ(table()->rowHeight(0), paintedHeight);
    const QList<QLabel *> pieces = english->findChildren<QLabel *>();
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_EQ(pieces.at(1)->text(), u"Line 1-2."_s);
    // Drawn as the painted selected row is, in the selection's text colour.
    EXPECT_EQ(pieces.at(1)->palette().color(pieces.at(1)->foregroundRole()),
              table()->palette().color(QPalette::HighlightedText));

    // A drag over the second segment selects it; the copy key copies the selection.
    QLabel *second = pieces.at(1);
    const int middle = second->height() / 2;
    QTest::mousePress(second, Qt::LeftButton, {}, QPoint(1, middle));
    QTest::mouseMove(second, QPoint(second->width() - 1, middle));
    QTest::mouseRelease(second, Qt::LeftButton, {}, QPoint(second->width() - 1, middle));
    EXPECT_EQ(english->selectedText(), u"Line 1-2."_s);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(second, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"Line 1-2."_s);
    EXPECT_EQ(m_studio->selectedBlockID(), u"a"_s); // selecting text chose nothing else

    // A secondary press over the live text still opens the cell's menu.
    EXPECT_EQ(rightClick(0, ScriptTableModel::english).size(), 2);

    // The selection moves on, and the live text with it.
    clickRow(1);
    EXPECT_EQ(table()->indexWidget(model()->index(0, ScriptTableModel::english)), nullptr);
    auto *russian = qobject_cast<CellText *>(table()->indexWidget(model()->index(1, ScriptTableModel::russian)));
    ASSERT_NE(russian, nullptr);
    EXPECT_EQ(russian->findChild<QLabel *>()->text(), u"Два слова"_s);
}

TEST_F(StudioViewTest, SecondaryPressesElsewherePassThroughToTheTable)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s)});
    // The status cell has no menu of its own: the press reaches the table and selects the row.
    EXPECT_TRUE(rightClick(1, ScriptTableModel::status).isEmpty());
    EXPECT_EQ(m_studio->selectedBlockID(), u"b"_s);
    // Over a voice text the menu takes the press, and the row beneath stays unselected.
    rightClick(0, ScriptTableModel::english);
    EXPECT_EQ(m_studio->selectedBlockID(), u"b"_s);
}

TEST_F(StudioViewTest, SettingsKeyAsksForTheSettingsWindow)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    QSignalSpy asked(m_view.get(), &StudioView::settingsRequested);
    QTest::keyClick(m_view.get(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(asked.count(), 1);
}

TEST_F(StudioViewTest, SplitIsDisabledWhileLockedAndCopyIsNot)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один. Два."_s, u"One. Two."_s)});
    clickRow(0);
    recordFromStatusBar();
    EXPECT_EQ(rightClick(0, ScriptTableModel::russian),
              (QList<MenuEntry>{{u"Копировать текст"_s, true}, {u"Разбить на предложения"_s, false}}));
}

TEST_F(StudioViewTest, SplitAsksBeforeTakesGoAndHonoursBothAnswers)
{
    const ScriptBlock a = spokenBlock(u"a"_s, u"7"_s, u"Солнце светит. Ток течёт."_s, u"The Sun shines. Current flows."_s);
    studioWith({a});
    commitTake(a, a.voiceSegments().constFirst());
    showWindow();
    m_studio->confirmTakeRemoval = takeRemovalDialog(m_view.get());

    for (const bool agree : {false, true}) {
        SCOPED_TRACE(agree);
        QString asked;
        QTimer::singleShot(0, [&] {
            // The menu has closed by now; the question is the modal box.
            QTimer::singleShot(0, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                asked = box->text();
                for (QAbstractButton *button : box->buttons()) {
                    if (button->text() == (agree ? u"Удалить дубли и разбить"_s : u"Отмена"_s))
                        button->click();
                }
            });
        });
        rightClick(0, ScriptTableModel::english, u"Разбить на предложения"_s);
        EXPECT_EQ(asked, u"Чтобы разбить блок на предложения, дубли будут перемещены в Корзину."_s);
        EXPECT_EQ(m_trash->moved.size(), agree ? 1 : 0);
        EXPECT_EQ(m_studio->blocks().constFirst().hasVoiceMarkers(), agree);
    }
    EXPECT_EQ(m_studio->message(), u"Блок 7 разбит на реплики: 2"_s);
    EXPECT_EQ(rows(), 1);
}

TEST_F(StudioViewTest, SegmentMenuOfOneTakeChoosesAndDeletes)
{
    const ScriptBlock a = spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s);
    studioWith({a, spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s)});
    const Take take = commitTake(a, a.voiceSegments().constFirst());
    showWindow();
    m_studio->selectBlock(u"b"_s); // row 0 is a picture, its menu is the table's
    settle();
    const QList<MenuEntry> entries = rightClick(0, ScriptTableModel::audio, u"Удалить запись"_s);
    EXPECT_EQ(entries, (QList<MenuEntry>{{u"Прослушать запись"_s, true},
                                         {u"Выбрать лучшей"_s, true},
                                         {u"Удалить запись"_s, true}}));
    EXPECT_EQ(m_trash->moved, QStringList{take.fileName});
    EXPECT_EQ(cell(0, ScriptTableModel::status), u"Не записано"_s);
}

TEST_F(StudioViewTest, SegmentMenuWithoutTakesRecords)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    clickRow(0);
    const QList<MenuEntry> entries = rightClick(0, ScriptTableModel::audio, u"Записать эту реплику"_s);
    EXPECT_EQ(entries, (QList<MenuEntry>{{u"Записать эту реплику"_s, true}}));
    EXPECT_TRUE(waitFor([this] { return !m_studio->busy(); }));
    EXPECT_TRUE(m_studio->recording());
}

// --- settings -----------------------------------------------------------------------------

TEST_F(StudioViewTest, LineLimitFromTheSettingsWindowAppliesAtOnceAndIsRemembered)
{
    const QString longText = QString(u"Очень длинная фраза для проверки переноса строк. "_s).repeated(20);
    showWindow({spokenBlock(u"a"_s, u"1"_s, longText, longText)});
    const int full = table()->rowHeight(0);

    StudioSettingsView settings(*m_studio, *m_settings);
    settings.show();
    QList<QRadioButton *> radios = settings.findChildren<QRadioButton *>();
    ASSERT_EQ(radios.size(), 3);
    EXPECT_EQ(radios.at(0)->text(), u"Показывать полностью"_s);
    EXPECT_TRUE(radios.at(0)->isChecked()); // nothing stored yet
    EXPECT_EQ(radios.at(2)->text(), u"Не более 3 строк"_s);

    QTest::mouseClick(radios.at(2), Qt::LeftButton, {}, QPoint(8, radios.at(2)->height() / 2));
    settle();
    EXPECT_LT(table()->rowHeight(0), full);
    EXPECT_EQ(m_defaults.value(u"scriptTextLineLimit"_s), u"3"_s);
    EXPECT_EQ(ViewSettings(*m_viewDefaults).scriptTextLineLimit(), 3);

    QTest::mouseClick(radios.at(0), Qt::LeftButton, {}, QPoint(8, radios.at(0)->height() / 2));
    settle();
    EXPECT_EQ(table()->rowHeight(0), full);
}

TEST_F(StudioViewTest, InputDeviceChoiceListsTheDefaultFirstAndIsStored)
{
    studioWith({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    m_audio->devices = {{u"mic-1"_s, u"USB"_s}, {u"mic-2"_s, u"Гарнитура"_s}};
    showWindow();
    StudioSettingsView settings(*m_studio, *m_settings);
    settings.show();
    auto *devices = settings.findChild<QComboBox *>(u"inputDevice"_s);
    ASSERT_NE(devices, nullptr);
    QStringList titles;
    for (int i = 0; i < devices->count(); ++i)
        titles.append(devices->itemText(i));
    EXPECT_EQ(titles, (QStringList{u"По умолчанию"_s, u"USB"_s, u"Гарнитура"_s}));
    EXPECT_EQ(devices->currentIndex(), 0);

    devices->setFocus();
    QTest::keyClick(devices, Qt::Key_Down); // activates the next entry, as a user's choice does
    EXPECT_EQ(m_audio->inputDeviceID, u"mic-1"_s);
    EXPECT_EQ(m_defaults.value(Studio::inputDeviceKey()), u"mic-1"_s);
}

// --- closing the window -----------------------------------------------------------------

TEST_F(StudioViewTest, ClosingWithATakeThatCannotBeSavedKeepsTheWindowOpen)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    clickRow(0);
    recordFromStatusBar();
    QSignalSpy closed(m_view.get(), &StudioView::closed);
    EXPECT_FALSE(m_view->close()); // no audio was written, so the save fails
    EXPECT_TRUE(m_view->isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(m_alert->shown.size(), 1);
    EXPECT_TRUE(m_studio->pendingTake());
}

TEST_F(StudioViewTest, ClosingWhileRecordingSavesTheTakeAndRemembersTheLayout)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    clickRow(0);
    recordFromStatusBar();
    writeAudio();
    table()->setColumnWidth(ScriptTableModel::english, 500);
    QSignalSpy closed(m_view.get(), &StudioView::closed);
    EXPECT_TRUE(m_view->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(m_studio->takes().size(), 1);
    EXPECT_FALSE(m_studio->pendingTake());

    showWindow();
    EXPECT_EQ(table()->columnWidth(ScriptTableModel::english), 500);
}

// --- the recording loop from the keyboard ---------------------------------------------------

TEST_F(StudioViewTest, KeysRecordSaveAndMoveBetweenBlocksButNotFromTheSearchField)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s), spokenBlock(u"b"_s, u"2"_s, u"Два"_s, u"Two"_s)});
    m_view->activateWindow();
    auto *search = widget<QLineEdit>(u"search"_s);
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Down, Qt::AltModifier);
    settle();
    EXPECT_EQ(m_studio->selectedBlockID(), u"b"_s);
    QTest::keyClick(search, Qt::Key_Up, Qt::AltModifier);
    settle();
    EXPECT_EQ(m_studio->selectedBlockID(), u"a"_s);
    EXPECT_TRUE(widget(u"record"_s)->toolTip().contains(u"Ctrl+R"_s));

    QTest::keyClick(search, Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([this] { return !m_studio->busy(); }));
    ASSERT_TRUE(m_studio->recording());
    // In the search field Ctrl+Delete deletes a word; the take stays.
    QTest::keyClicks(search, u"one two"_s);
    QTest::keyClick(search, Qt::Key_Home);
    QTest::keyClick(search, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(search->text(), u"two"_s);
    EXPECT_TRUE(m_studio->pendingTake());
    search->clear();

    writeAudio();
    QTest::keyClick(search, Qt::Key_S, Qt::ControlModifier);
    settle();
    EXPECT_EQ(m_studio->message(), u"Дубль сохранён"_s);

    // Space on the table plays the chosen take of the selected segment.
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_Space);
    EXPECT_EQ(m_studio->playingID(), m_studio->takes().constFirst().id);
}

TEST_F(StudioViewTest, FullScaleInputShowsAClippingWarningUntilTheTakeEnds)
{
    showWindow({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    clickRow(0);
    recordFromStatusBar();
    m_audio->powers = {-1.0f}; // loud, but below full scale
    m_audio->timer->tick();
    settle();
    EXPECT_FALSE(visible(u"clipping"_s));
    m_audio->powers = {0.0f, -30.0f};
    m_audio->timer->tick();
    m_audio->timer->tick(); // quiet again: the warning stays for the rest of the take
    settle();
    EXPECT_TRUE(visible(u"clipping"_s));
    EXPECT_EQ(widget<QLabel>(u"clipping"_s)->text(), u"Перегрузка входа"_s);

    writeAudio();
    click(widget(u"save"_s));
    EXPECT_FALSE(visible(u"clipping"_s));
}
