#pragma once

#include "ui/RightClickMenu.h"

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tarnwick {

class AudioCell;
class LiveLevelBar;
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

    /// Opens a folder in the file manager; tests put their own here.
    std::function<void(const QString &folder)> openFolder;

    QTableView *table() const { return m_table; }
    ScriptFilterModel &filter() const { return *m_filter; }

signals:
    void settingsRequested();
    /// The window closed for good: the studio agreed to quit.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeStatusBar();
    void setUpTable();
    void setUpKeys();
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
    QLineEdit *m_search = nullptr;
    QPushButton *m_openProject = nullptr;
    QPushButton *m_import = nullptr;
    QTableView *m_table = nullptr;
    QWidget *m_dot = nullptr;
    QLabel *m_message = nullptr;
    LiveLevelBar *m_level = nullptr;
    QLabel *m_clipping = nullptr; // shown from the first full-scale reading to the end of the take
    QPushButton *m_cancel = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_record = nullptr;

    QPointer<AudioCell> m_audioCell;
    QPersistentModelIndex m_audioCellIndex;
    QList<QPersistentModelIndex> m_textCellIndexes; // the selected row's live texts
    QString m_textCellsKey; // what they were built from
    QTimer m_liveCellsTimer; // coalesces rebuilds and keeps them out of the handler that caused them
    QTimer m_resizeTimer;
    bool m_syncing = false;
    bool m_rowsMoving = false;
};

} // namespace tarnwick
