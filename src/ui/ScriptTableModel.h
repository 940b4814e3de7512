#pragma once

#include "core/ScriptBlock.h"
#include "studio/BlockStatus.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

namespace tarnwick {

class Studio;

/// The blocks of the open project as table rows, read from the studio's published state. A
/// change of takes, selection or sound repaints only the rows whose cells it alters.
class ScriptTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { number, english, russian, status, audio, videoRussian, videoEnglish, columnCount_ };
    enum Role {
        BlockIDRole = Qt::UserRole + 1,
        NeedsRecordingRole, // the block still wants a take: text cells are tinted red
        PrimaryRole,        // medium weight text
        EmptyRole,          // the text shown is the dash for an empty value
        FlagsRole,          // status column: the flags of the block's chosen takes in words; empty for none
    };

    /// A column's widths: the least, the first shown, and the most a fitted width takes.
    struct Widths
    {
        int minimum;
        int ideal;
        int maximum; // 0: no bound
    };
    static Widths widths(int column);

    explicit ScriptTableModel(Studio &studio, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const ScriptBlock &block(int row) const { return m_rows.at(row).block; }
    const QList<VoiceSegment> &segments(int row) const { return m_rows.at(row).segments; }
    const std::optional<QString> &markerIssue(int row) const { return m_rows.at(row).markerIssue; }
    const BlockStatus &rowStatus(int row) const { return m_rows.at(row).status; }
    int rowOf(const QString &blockID) const;
    Studio &studio() const { return m_studio; }

private:
    struct Row
    {
        ScriptBlock block;
        QList<VoiceSegment> segments; // cut once per scenario, not on every refresh
        std::optional<QString> markerIssue;
        BlockStatus status;
        QString takesState; // the segments' takes, choices and flags, kept until the takes change
        QString flags;      // of the chosen takes, in words
        QString audioState; // what the audio cell shows, compared to find rows to repaint
    };

    Row rowFor(const ScriptBlock &block) const;
    QString takesStateOf(const Row &row) const;
    QString chosenFlagsOf(const Row &row) const;
    /// `playing`: the recording id of the take playing, worked out once for all rows.
    QString audioStateOf(const Row &row, const QString &playing) const;
    QString playingRecordingID() const;
    /// The rows that show the selected segment or the playing take.
    QList<int> markedRows(const QString &playing) const;
    void indexRecordings();
    void reloadBlocks();
    void refreshRows(bool takesChanged);

    Studio &m_studio;
    QList<Row> m_rows;
    QHash<QString, int> m_rowByID;
    QHash<QString, int> m_rowByRecording; // by segment id
    QList<int> m_markedRows;               // as of the last refresh
    bool m_wasRecording = false;
};

/// The rows the search lets through, and the video columns while they are shown.
class ScriptFilterModel final : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit ScriptFilterModel(ScriptTableModel &source, QObject *parent = nullptr);

    /// Which blocks the status filter beside the search lets through.
    enum class StatusFilter { all, needsRecording, done };

    void setSearch(const QString &search);
    void setStatusFilter(StatusFilter filter);
    void setShowVideoColumns(bool show);
    bool showVideoColumns() const { return m_showVideoColumns; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex &sourceParent) const override;

private:
    ScriptTableModel &m_source;
    QString m_search;
    StatusFilter m_statusFilter = StatusFilter::all;
    bool m_showVideoColumns = false;
};

} // namespace tarnwick
