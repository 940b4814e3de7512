#pragma once

#include "ui/RightClickMenu.h"

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tarnwick {

class AudioCell;
class LiveLevelBar;
class MessageLabel;
class ScriptCellDelegate;
class ScriptFilterModel;
class ScriptTableModel;
class Studio;
class ViewSettings;

/// The main window: the project's blocks as a table between a header bar (name, progress,
/// search, project commands) and a status bar (message, level, recording commands). Shows only
/// what the studio publishes and calls one studio operation per command.
class StudioView final : public QMainWindow
{
    Q_OBJECT

public:
    StudioView(Studio &studio, ViewSettings &settings, QWidget *parent = nullptr);
    ~StudioView() override;

    /// Opens a folder in the file manager, false when none could; tests put their own here.
    std::function<bool(const QString &folder)> openFolder;

    QTableView *table() const { return m_table; }
    ScriptFilterModel &filter() const { return *m_filter; }

signals:
    void settingsRequested();
    /// The window closed for good: the studio agreed to quit.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeStatusBar();
    void setUpTable();
    void setUpKeys();
    void setUpRecordingMenu();
    QAction *addCommand(QMenu *menu, const QString &title, const QKeySequence &keys, std::function<void()> handler);
    void scrollIntoMiddle(const QModelIndex &index);
    void fitLastColumn();
    void showTitle();
    void showMessage();
    void showVoiceNote();
    void rememberScroll();
    void selectNeighbour(int step);
    void togglePlaybackOfSelection();
    void restoreLayout();
    void saveLayout();

    void showProgress();
    void showStatusBar();
    void syncSelection();
    void tableSelectionChanged();
    void placeLiveCells();
    void resizeRows();
    std::optional<QList<ContextMenuAction>> cellMenu(QPoint at);

    Studio &m_studio;
    ViewSettings &m_settings;
    ScriptTableModel *m_model = nullptr;
    ScriptFilterModel *m_filter = nullptr;
    ScriptCellDelegate *m_delegate = nullptr;
    RightClickMenu *m_menus = nullptr;

    QLabel *m_projectName = nullptr;
    QLabel *m_progress = nullptr;
    MessageLabel *m_voiceNote = nullptr;
    QLineEdit *m_search = nullptr;
    QComboBox *m_statusFilter = nullptr;
    QPushButton *m_openProject = nullptr;
    QPushButton *m_import = nullptr;
    QTableView *m_table = nullptr;
    QWidget *m_dot = nullptr;
    MessageLabel *m_message = nullptr;
    QPushButton *m_undoDelete = nullptr;
    QLabel *m_hiddenRecording = nullptr; // which block records while the search hides its row
    LiveLevelBar *m_level = nullptr;
    QLabel *m_clipping = nullptr; // shown while the clip light is lit
    QPushButton *m_cancel = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_record = nullptr;
    QAction *m_recordNextAction = nullptr;
    QAction *m_nextBlockAction = nullptr;
    QAction *m_undoAction = nullptr;
    QAction *m_listenAction = nullptr;
    QAction *m_exportAction = nullptr;

    QPointer<AudioCell> m_audioCell;
    QPersistentModelIndex m_audioCellIndex;
    QList<QPersistentModelIndex> m_textCellIndexes; // the selected row's live texts
    QString m_textCellsKey; // what they were built from
    QTimer m_liveCellsTimer; // coalesces rebuilds and keeps them out of the handler that caused them
    QTimer m_resizeTimer;
    QString m_syncedBlockID;
    QString m_scrollRoot;     // the project whose scroll position is tracked
    int m_scrollValue = 0;
    bool m_restoreScroll = true;
    bool m_pointerDown = false; // a selection made by the pointer is not scrolled away from it
    bool m_fittingColumns = false;
    bool m_syncing = false;
    bool m_rowsMoving = false;
};

} // namespace tarnwick
