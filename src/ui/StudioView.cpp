#include "ui/StudioView.h"

#include "studio/Studio.h"
#include "ui/AudioCell.h"
#include "ui/ButtonRoles.h"
#include "ui/CellText.h"
#include "ui/ExportDialog.h"
#include "ui/LevelBar.h"
#include "ui/MessageLabel.h"
#include "ui/ScriptCellDelegate.h"
#include "ui/ScriptTableModel.h"
#include "ui/Symbols.h"
#include "ui/TrimStrip.h"
#include "ui/ViewSettings.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QPushButton *button(const QString &icon, const QString &title, const QString &name, QWidget *parent)
{
    auto *result = new QPushButton(symbol(icon), title, parent);
    result->setObjectName(name);
    result->setAutoDefault(false);
    // A click leaves the focus in the table, where the speaker's keys work, and a dialog the
    // button opens gives it back there.
    result->setFocusPolicy(Qt::TabFocus);
    return result;
}

/// The recording light of the status bar.
class StatusDot final : public QWidget
{
public:
    explicit StatusDot(QWidget *parent)
        : QWidget(parent)
    {
        setFixedSize(8, 8);
    }
    void setRed(bool red)
    {
        if (red == m_red)
            return;
        m_red = red;
        setProperty("red", red);
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_red ? QColor(255, 59, 48) : QColor(52, 199, 89));
        painter.drawEllipse(rect());
    }

private:
    bool m_red = false;
};

} // namespace

StudioView::StudioView(Studio &studio, ViewSettings &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_studio(studio)
    , m_settings(settings)
{
    openFolder = [](const QString &folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    setWindowTitle(u"Tarnwick"_s);
    setObjectName(u"studio"_s);

    auto *content = new QWidget(this);
    content->setMinimumSize(1120, 680);
    auto *bands = new QVBoxLayout(content);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);
    bands->addWidget(makeHeader());
    bands->addWidget(divider(content));
    m_table = new QTableView(content);
    bands->addWidget(m_table, 1);
    bands->addWidget(divider(content));
    bands->addWidget(new TrimStrip(m_studio, content));
    bands->addWidget(makeStatusBar());
    setCentralWidget(content);

    QMenu *menu = menuBar()->addMenu(u"Tarnwick"_s);
    QAction *preferences = menu->addAction(u"Настройки…"_s, this, &StudioView::settingsRequested);
    preferences->setShortcut(QKeySequence(u"Ctrl+,"_s));
    m_exportAction = menu->addAction(symbol(u"film"_s), u"Экспорт для монтажа…"_s, this, [this] {
        if (m_studio.locked() || !m_studio.store())
            return;
        // Each project exports to its own folder, remembered for the next time.
        const QString key = u"exportFolder:"_s + m_studio.store()->root();
        ExportDialog dialog(m_studio, m_settings.defaults().text(key).value_or(QString()), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        m_settings.defaults().setText(key, dialog.folder());
        dialog.run();
    });
    m_exportAction->setObjectName(u"exportForEditor"_s);
    m_exportAction->setShortcut(QKeySequence(u"Ctrl+E"_s));
    menu->addSeparator();
    QAction *quit = menu->addAction(u"Выйти"_s, this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    QMenu *takes = menuBar()->addMenu(u"Дубли"_s);
    QAction *latest = takes->addAction(symbol(u"play.fill"_s), u"Прослушать последний дубль"_s, this,
                                       [this] { m_studio.playLatestTake(); });
    latest->setObjectName(u"playLatestTake"_s);
    latest->setShortcut(QKeySequence(u"Ctrl+P"_s));
    m_listenAction = takes->addAction(symbol(u"play.fill"_s), u"Прослушать подряд"_s, this, [this] {
        m_studio.listening() ? m_studio.stopListening() : m_studio.listenThrough();
    });
    m_listenAction->setObjectName(u"listenThrough"_s);
    m_listenAction->setShortcut(QKeySequence(u"Ctrl+L"_s));

    setUpTable();
    setUpKeys();
    setUpRecordingMenu();
    resize(1320, 760);
    restoreLayout();

    for (auto signal : {&Studio::projectNameChanged, &Studio::blocksChanged})
        connect(&studio, signal, this, &StudioView::showTitle);
    showTitle();
    for (auto signal : {&Studio::blocksChanged, &Studio::takesChanged})
        connect(&studio, signal, this, &StudioView::showProgress);
    connect(&studio, &Studio::messageChanged, this, &StudioView::showMessage);
    showMessage();
    for (auto signal : {&Studio::selectedBlockIDChanged, &Studio::blocksChanged})
        connect(&studio, signal, this, &StudioView::showVoiceNote);
    showVoiceNote();
    for (auto signal : {&Studio::pendingTakeChanged, &Studio::audioStateChanged, &Studio::selectedBlockIDChanged,
                        &Studio::lockedChanged, &Studio::blocksChanged, &Studio::messageChanged,
                        &Studio::canUndoDeleteChanged})
        connect(&studio, signal, this, &StudioView::showStatusBar);
    connect(&studio, &Studio::selectedBlockIDChanged, this, &StudioView::syncSelection);
    connect(&studio, &Studio::lockedChanged, m_table->viewport(), [this] {
        m_table->viewport()->update();
        m_liveCellsTimer.start();
    });
    showProgress();
    showStatusBar();
    if (m_studio.store())
        m_scrollRoot = m_studio.store()->root();
    syncSelection();
    // Keys act on the table from the start: Space plays, not types into the search.
    m_table->setFocus();
}

StudioView::~StudioView() = default;

QWidget *StudioView::makeHeader()
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(16);

    auto *title = new QWidget(header);
    title->setMinimumWidth(150);
    auto *lines = new QVBoxLayout(title);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(4);
    m_projectName = new QLabel(title);
    m_projectName->setObjectName(u"projectName"_s);
    QFont titleFont = m_projectName->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
    titleFont.setBold(true);
    m_projectName->setFont(titleFont);
    m_projectName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_progress = new QLabel(title);
    m_progress->setObjectName(u"progress"_s);
    QFont captionFont = m_progress->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.9);
    m_progress->setFont(captionFont);
    m_progress->setForegroundRole(QPalette::PlaceholderText);
    lines->addWidget(m_projectName);
    lines->addWidget(m_progress);
    row->addWidget(title, 1);
    // The director's note for the chosen block, above the lines the speaker reads.
    m_voiceNote = new MessageLabel(header);
    m_voiceNote->setObjectName(u"voiceNote"_s);
    m_voiceNote->setForegroundRole(QPalette::PlaceholderText);
    m_voiceNote->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(m_voiceNote, 1);

    m_search = new QLineEdit(header);
    m_search->setObjectName(u"search"_s);
    m_search->setFixedWidth(220);
    m_search->setPlaceholderText(u"Поиск в сценарии"_s);
    m_search->setClearButtonEnabled(true);
    row->addWidget(m_search);
    // Return in the search hands the keys back to the table.
    connect(m_search, &QLineEdit::returnPressed, this, [this] { m_table->setFocus(); });
    m_statusFilter = new QComboBox(header);
    m_statusFilter->setObjectName(u"statusFilter"_s);
    m_statusFilter->setFocusPolicy(Qt::TabFocus);
    // In the order of the filter's values.
    m_statusFilter->addItems({u"Все блоки"_s, u"Нужно записать"_s, u"Готово"_s});
    m_statusFilter->setToolTip(u"Какие блоки показывать"_s);
    connect(m_statusFilter, &QComboBox::activated, this, [this] {
        m_filter->setStatusFilter(static_cast<ScriptFilterModel::StatusFilter>(m_statusFilter->currentIndex()));
        m_table->setFocus();
    });
    row->addWidget(m_statusFilter);

    QPushButton *show = button(u"folder"_s, u"Показать проект"_s, u"showProject"_s, header);
    connect(show, &QPushButton::clicked, this, [this] { m_studio.showProject(openFolder); });
    row->addWidget(show);

    QPushButton *editing = button(u"film"_s, u"Монтаж"_s, u"videoColumns"_s, header);
    editing->setCheckable(true);
    row->addWidget(editing);
    connect(editing, &QPushButton::toggled, this, [this](bool on) {
        m_filter->setShowVideoColumns(on);
        for (int column = ScriptTableModel::videoRussian; on && column < ScriptTableModel::columnCount_; ++column)
            m_table->setColumnWidth(column, ScriptTableModel::widths(column).ideal);
        m_resizeTimer.start();
        m_liveCellsTimer.start();
    });

    m_openProject = button(u"folder"_s, u"Открыть проект"_s, u"openProject"_s, header);
    connect(m_openProject, &QPushButton::clicked, this, [this] { m_studio.openProject(); });
    row->addWidget(m_openProject);

    m_import = button(u"tablecells"_s, u"Импорт сценария"_s, u"importScenario"_s, header);
    makeProminent(m_import);
    connect(m_import, &QPushButton::clicked, this, [this] { m_studio.importScenario(); });
    row->addWidget(m_import);
    return header;
}

QWidget *StudioView::makeStatusBar()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(12);

    m_dot = new StatusDot(bar);
    m_dot->setObjectName(u"statusDot"_s);
    row->addWidget(m_dot);
    m_message = new MessageLabel(bar);
    m_message->setObjectName(u"message"_s);
    QFont callout = m_message->font();
    callout.setWeight(QFont::Medium);
    m_message->setFont(callout);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(m_message, 1);
    m_undoDelete = button(QString(), u"Вернуть дубль"_s, u"undoDelete"_s, bar);
    m_undoDelete->setFlat(true);
    connect(m_undoDelete, &QPushButton::clicked, this, [this] { m_studio.undoDelete(); });
    row->addWidget(m_undoDelete);
    m_hiddenRecording = new QLabel(bar);
    m_hiddenRecording->setObjectName(u"hiddenRecording"_s);
    m_hiddenRecording->setStyleSheet(u"color: #ff3b30; font-weight: 600;"_s);
    row->addWidget(m_hiddenRecording);
    m_level = new LiveLevelBar(m_studio.audio(), bar);
    m_level->setObjectName(u"liveLevel"_s);
    row->addWidget(m_level);
    m_clipping = new QLabel(u"Перегрузка входа"_s, bar);
    m_clipping->setObjectName(u"clipping"_s);
    m_clipping->setStyleSheet(u"color: #ff3b30; font-weight: 600;"_s);
    m_clipping->hide();
    row->addWidget(m_clipping);
    connect(&m_studio.audio(), &AudioController::clippedChanged, this, &StudioView::showStatusBar);

    auto *format = new QLabel(u"WAV · mono · 48 kHz"_s, bar);
    format->setObjectName(u"format"_s);
    QFont caption = format->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    format->setFont(caption);
    format->setForegroundRole(QPalette::PlaceholderText);
    row->addWidget(format);

    m_cancel = button(u"xmark"_s, u"Отменить"_s, u"cancel"_s, bar);
    makeDestructive(m_cancel);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_studio.cancelRecording(); });
    m_save = button(u"checkmark"_s, u"Сохранить"_s, u"save"_s, bar);
    makeProminent(m_save);
    connect(m_save, &QPushButton::clicked, this, [this] { m_studio.stopRecording(); });
    m_record = button(u"mic.fill"_s, u"Записать следующую реплику"_s, u"record"_s, bar);
    connect(m_record, &QPushButton::clicked, this, [this] {
        if (const std::optional<ScriptBlock> block = m_studio.selectedBlock())
            m_studio.record(*block);
    });
    for (QPushButton *each : {m_cancel, m_save, m_record})
        row->addWidget(each);
    return bar;
}

void StudioView::setUpKeys()
{
    // Record and save use keys a text field ignores. Ctrl+Delete is also a field's word
    // deletion, so the cancel key rests while the search field has the focus.
    const auto bind = [this](QWidget *owner, const QKeySequence &keys, Qt::ShortcutContext context, auto handler) {
        auto *shortcut = new QShortcut(keys, owner);
        shortcut->setContext(context);
        connect(shortcut, &QShortcut::activated, this, handler);
        return shortcut;
    };
    const auto tip = [](QPushButton *button, const QKeySequence &keys) {
        button->setToolTip(button->text() + u" ("_s + keys.toString(QKeySequence::NativeText) + u')');
    };
    const QKeySequence record(u"Ctrl+R"_s);
    const QKeySequence save(u"Ctrl+S"_s);
    const QKeySequence cancel(u"Ctrl+Delete"_s);
    bind(this, record, Qt::WindowShortcut, [this] {
        if (m_record->isVisible() && m_record->isEnabled())
            m_record->click();
    });
    bind(this, save, Qt::WindowShortcut, [this] {
        if (m_save->isVisible())
            m_save->click();
    });
    QShortcut *cancelKey = bind(this, cancel, Qt::WindowShortcut, [this] {
        if (m_cancel->isVisible())
            m_cancel->click();
    });
    // Focus moves while the window is torn down too, so the handler must not touch the view.
    connect(qApp, &QApplication::focusChanged, cancelKey,
            [cancelKey, search = QPointer<QLineEdit>(m_search)](QWidget *, QWidget *now) {
                cancelKey->setEnabled(search.isNull() || now != search.data());
            });
    tip(m_record, record);
    tip(m_save, save);
    tip(m_cancel, cancel);
    bind(this, QKeySequence(u"Alt+Down"_s), Qt::WindowShortcut, [this] { selectNeighbour(1); });
    bind(this, QKeySequence(u"Alt+Up"_s), Qt::WindowShortcut, [this] { selectNeighbour(-1); });
    // Space belongs to whatever has the focus; on the table it plays the chosen take, or ends
    // listening through. Esc ends it anywhere in the window, and is left alone otherwise.
    bind(m_table, QKeySequence(Qt::Key_Space), Qt::WidgetShortcut, [this] {
        m_studio.listening() ? m_studio.stopListening() : togglePlaybackOfSelection();
    });
    QShortcut *escape =
        bind(this, QKeySequence(Qt::Key_Escape), Qt::WindowShortcut, [this] { m_studio.stopListening(); });
    escape->setEnabled(false);
    connect(&m_studio, &Studio::listeningChanged, escape, [this, escape] {
        escape->setEnabled(m_studio.listening());
        m_listenAction->setText(m_studio.listening() ? u"Остановить прослушивание"_s : u"Прослушать подряд"_s);
    });
}

QAction *StudioView::addCommand(QMenu *menu,
                                const QString &title,
                                const QKeySequence &keys,
                                std::function<void()> handler)
{
    QAction *action = menu->addAction(title, this, std::move(handler));
    action->setShortcut(keys);
    action->setToolTip(title + u" ("_s + keys.toString(QKeySequence::NativeText) + u')');
    return action;
}

void StudioView::setUpRecordingMenu()
{
    QMenu *menu = menuBar()->addMenu(u"Запись"_s);
    menu->setToolTipsVisible(true);
    m_recordNextAction = addCommand(menu, u"Сохранить и записать следующую реплику"_s, QKeySequence(u"Ctrl+Return"_s),
                                    [this] { m_studio.saveAndRecordNext(); });
    m_nextBlockAction = addCommand(menu, u"Следующий блок для записи"_s, QKeySequence(u"Ctrl+Down"_s),
                                   [this] { m_studio.selectNextBlockToRecord(); });
    menu->addSeparator();
    m_undoAction = addCommand(menu, u"Вернуть удалённый дубль"_s, QKeySequence::Undo, [this] { m_studio.undoDelete(); });
    m_undoDelete->setToolTip(m_undoAction->toolTip());
}

bool StudioView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table->viewport()) {
        if (event->type() == QEvent::Resize) {
            fitLastColumn();
            m_resizeTimer.start();
        }
        else if (event->type() == QEvent::MouseButtonPress)
            m_pointerDown = true;
        else if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::ContextMenu)
            m_pointerDown = false; // a menu takes the release
    }
    return QMainWindow::eventFilter(watched, event);
}

void StudioView::selectNeighbour(int step)
{
    const int sourceRow = m_model->rowOf(m_studio.selectedBlockID());
    const QModelIndex current = m_filter->mapFromSource(m_model->index(sourceRow, 0));
    const int row = current.isValid() ? current.row() + step : (step > 0 ? 0 : m_filter->rowCount() - 1);
    const QModelIndex next = m_filter->index(row, 0);
    if (!next.isValid())
        return;
    m_studio.selectBlock(next.data(ScriptTableModel::BlockIDRole).toString());
}

void StudioView::togglePlaybackOfSelection()
{
    const QString &recordingID = m_studio.selectedRecordingID();
    if (const std::optional<Take> chosen = m_studio.selectedTake(recordingID)) {
        m_studio.togglePlayback(*chosen);
        return;
    }
    const QList<Take> takes = m_studio.takes(recordingID);
    if (!takes.isEmpty())
        m_studio.togglePlayback(takes.constFirst());
}

std::optional<QList<ContextMenuAction>> StudioView::cellMenu(QPoint at)
{
    const QModelIndex index = m_table->indexAt(at);
    const QModelIndex source = m_filter->mapToSource(index);
    const ScriptBlock block = source.isValid() ? m_model->block(source.row()) : ScriptBlock{};
    if (source.column() == ScriptTableModel::audio) {
        // The same layout places the live cell's widgets: the menu is for what lies under the press.
        const QRect cell = m_table->visualRect(index);
        const AudioCellLayout layout = m_delegate->audioLayout(source.row(), cell.width(), m_table->font());
        const QPoint local = at - cell.topLeft();
        const qsizetype segment = layout.segmentAt(local);
        if (segment < 0)
            return std::nullopt;
        const SegmentLayout &piece = layout.segments.at(segment);
        const CellButton *button = piece.buttonAt(local);
        if (button && button->kind == CellButton::take)
            return takeMenu(m_studio, *piece.state.shown);
        return segmentMenu(m_studio, block, piece.segment);
    }
    if (source.column() != ScriptTableModel::english && source.column() != ScriptTableModel::russian)
        return std::nullopt;
    const QString value = source.column() == ScriptTableModel::english ? block.english : block.russian;
    QStringList texts;
    for (const VoiceSegment &segment : VoiceSegment::parse(value, block.id, block.number))
        texts.append(segment.text);
    const QString plainText = texts.join(u'\n');
    return QList<ContextMenuAction>{
        {u"Копировать текст"_s, u"doc.on.doc"_s, true,
         [plainText] {
             QGuiApplication::clipboard()->clear();
             QGuiApplication::clipboard()->setText(plainText);
         }},
        {u"Разбить на предложения"_s, u"scissors"_s, !m_studio.locked(),
         [this, block] { m_studio.splitIntoSentences(block); }},
    };
}

void StudioView::showProgress()
{
    m_progress->setText(QString::number(m_studio.doneCount()) + u" из "_s
                        + QString::number(m_studio.blocks().size()) + u" блоков озвучено"_s);
}

void StudioView::showTitle()
{
    m_projectName->setText(m_studio.projectName());
    // The folder is shown nowhere else; the title's tooltip names it.
    m_projectName->setToolTip(m_studio.store() ? m_studio.store()->root() : m_studio.projectName());
}

void StudioView::showMessage()
{
    m_message->setFullText(m_studio.message());
    m_message->setStyleSheet(m_studio.messageIsError() ? u"color: #d70015;"_s : QString());
}

void StudioView::showVoiceNote()
{
    const std::optional<ScriptBlock> block = m_studio.selectedBlock();
    const QString note = block && block->voiceNote ? block->voiceNote->trimmed() : QString();
    m_voiceNote->setFullText(note.isEmpty() ? QString() : u"Заметка к блоку "_s + block->number + u": "_s + note);
}

void StudioView::showStatusBar()
{
    const bool recording = m_studio.recording();
    static_cast<StatusDot *>(m_dot)->setRed(recording || m_studio.messageIsError());
    m_undoDelete->setVisible(m_studio.canUndoDelete());
    m_undoAction->setEnabled(m_studio.canUndoDelete());
    // With the recorded block's row hidden by the search, the status bar names it.
    const std::optional<ScriptBlock> recorded =
        recording && m_studio.pendingTake() ? m_studio.blockOfRecording(m_studio.pendingTake()->blockID) : std::nullopt;
    const bool hidden =
        recorded && !m_filter->mapFromSource(m_model->index(m_model->rowOf(recorded->id), 0)).isValid();
    m_hiddenRecording->setText(hidden ? u"Идёт запись блока "_s + recorded->number + u" (скрыт поиском)"_s : QString());
    m_hiddenRecording->setVisible(hidden);
    // The clip light outlives its take, so a clip at the very end is not missed.
    const bool clipped = m_studio.audio().clipped();
    m_level->setVisible(recording || clipped);
    m_clipping->setVisible(clipped);
    const bool pending = m_studio.pendingTake().has_value();
    m_cancel->setVisible(pending);
    m_save->setVisible(pending);
    m_save->setText(recording ? u"Сохранить"_s : u"Повторить сохранение"_s);
    const std::optional<ScriptBlock> selected = m_studio.selectedBlock();
    m_record->setVisible(!pending && selected.has_value());
    m_record->setEnabled(!m_studio.locked() && selected && !selected->voiceMarkerIssue());
    m_openProject->setEnabled(!m_studio.locked());
    m_import->setEnabled(!m_studio.locked());
    m_nextBlockAction->setEnabled(!m_studio.locked());
    m_listenAction->setEnabled(!m_studio.locked());
    m_exportAction->setEnabled(!m_studio.locked());
    m_recordNextAction->setEnabled(recording || (!m_studio.locked() && m_record->isEnabled()));
}

void StudioView::closeEvent(QCloseEvent *event)
{
    // A pending take is saved first; when that fails or work is under way, the window stays.
    if (!m_studio.prepareToQuit()) {
        event->ignore();
        return;
    }
    saveLayout();
    event->accept();
    emit closed();
}

} // namespace tarnwick
