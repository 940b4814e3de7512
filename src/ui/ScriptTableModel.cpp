#include "ui/ScriptTableModel.h"

#include "studio/Studio.h"
#include "ui/TakeFiguresText.h"

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace tarnwick {

ScriptTableModel::Widths ScriptTableModel::widths(int column)
{
    switch (static_cast<Column>(column)) {
    case number:
        return {38, 44, 56};
    case english:
        return {260, 380, 760};
    case russian:
        return {220, 300, 760};
    case status:
        return {102, 112, 126};
    case audio:
        return {280, 340, 520};
    case videoRussian:
    case videoEnglish:
    case columnCount_:
        break;
    }
    return {180, 240, 0};
}

ScriptTableModel::ScriptTableModel(Studio &studio, QObject *parent)
    : QAbstractTableModel(parent)
    , m_studio(studio)
{
    reloadBlocks();
    connect(&studio, &Studio::blocksChanged, this, &ScriptTableModel::reloadBlocks);
    // The lock only greys the painted buttons: the view repaints for it, no row changes. Only
    // new takes make the rows look at their takes again; the selection and sound are cheaper.
    for (auto signal : {&Studio::takesChanged, &Studio::figuresChanged})
        connect(&studio, signal, this, [this] { refreshRows(true); });
    for (auto signal : {&Studio::audioStateChanged, &Studio::selectedRecordingIDChanged})
        connect(&studio, signal, this, [this] { refreshRows(false); });
}

int ScriptTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ScriptTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

int ScriptTableModel::rowOf(const QString &blockID) const
{
    return m_rowByID.value(blockID, -1);
}

QVariant ScriptTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (static_cast<Column>(section)) {
    case number:
        return u"#"_s;
    case english:
        return u"AUDIO / ENGLISH"_s;
    case russian:
        return u"АУДИО / РУССКИЙ"_s;
    case status:
        return u"СТАТУС"_s;
    case audio:
        return u"АУДИОФАЙЛЫ"_s;
    case videoRussian:
        return u"ВИДЕО / МОНТАЖ"_s;
    case videoEnglish:
        return u"VIDEO / EDIT"_s;
    case columnCount_:
        break;
    }
    return {};
}

QVariant ScriptTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    const auto column = static_cast<Column>(index.column());
    const auto text = [&]() -> QString {
        switch (column) {
        case number:
            return row.block.number;
        case english:
            return row.block.english;
        case russian:
            return row.block.russian;
        case status:
            return statusText(row.status);
        case audio:
            return row.audioState;
        case videoRussian:
            return row.block.videoRussian.value_or(QString());
        case videoEnglish:
            return row.block.videoEnglish.value_or(QString());
        case columnCount_:
            break;
        }
        return {};
    };
    const bool textColumn = column == english || column == russian || column == videoRussian || column == videoEnglish;
    switch (role) {
    case Qt::DisplayRole: {
        const QString value = text();
        return textColumn && value.isEmpty() ? u"—"_s : value;
    }
    case Qt::ToolTipRole: // the whole text, if the cell is short
        if (column != status)
            return {};
        return row.flags.isEmpty() ? statusText(row.status)
                                   : statusText(row.status) + u"\nВыбранный дубль: "_s + row.flags;
    case FlagsRole:
        return column == status ? row.flags : QString();
    case BlockIDRole:
        return row.block.id;
    case NeedsRecordingRole:
        return (column == english || column == russian) && needsRecording(row.status);
    case PrimaryRole:
        return column == english;
    case EmptyRole:
        return textColumn && text().isEmpty();
    default:
        return {};
    }
}

QString ScriptTableModel::takesStateOf(const Row &row) const
{
    // The takes of each segment, in the cell's order, with the chosen ones starred and their
    // rating and note.
    QString state;
    for (const VoiceSegment &segment : row.segments) {
        for (const Take &take : m_studio.takes(segment.id)) {
            state += u' ' + take.id.toString(QUuid::WithoutBraces);
            if (take.selected)
                state += u'*';
            if (const std::optional<TakeFigures> figures = m_studio.figures(take.id))
                state += takeFlags(*figures).isEmpty() ? u"+"_s : u"!"_s; // the tooltip shows figures
            state += u'/' + QString::number(take.rating) + u'/' + take.note; // in the take's tooltip
        }
        state += u'\n';
    }
    return state;
}

QString ScriptTableModel::chosenFlagsOf(const Row &row) const
{
    QList<TakeFlag> flags;
    for (const VoiceSegment &segment : row.segments) {
        const std::optional<Take> chosen = m_studio.selectedTake(segment.id);
        const std::optional<TakeFigures> figures = chosen ? m_studio.figures(chosen->id) : std::nullopt;
        for (const TakeFlag flag : figures ? takeFlags(*figures) : QList<TakeFlag>{}) {
            if (!flags.contains(flag))
                flags.append(flag);
        }
    }
    std::sort(flags.begin(), flags.end());
    return flagsText(flags);
}

QString ScriptTableModel::playingRecordingID() const
{
    const std::optional<QUuid> playing = m_studio.playingID();
    if (!playing)
        return {};
    const QList<Take> &takes = m_studio.takes();
    const auto take = std::find_if(takes.cbegin(), takes.cend(), [&](const Take &each) { return each.id == *playing; });
    return take == takes.cend() ? QString() : take->blockID;
}

QString ScriptTableModel::audioStateOf(const Row &row, const QString &playing) const
{
    // Everything the audio cell draws, as one comparable text: takes, choices, playing, recording.
    if (row.markerIssue)
        return *row.markerIssue;
    QString state = row.takesState;
    for (const VoiceSegment &segment : row.segments) {
        if (segment.id == m_studio.selectedRecordingID())
            state += segment.id + (m_studio.recording() ? u" recording"_s : u" selected"_s);
    }
    for (const VoiceSegment &segment : row.segments) {
        if (!playing.isEmpty() && segment.id == playing)
            state += u" playing "_s + m_studio.playingID()->toString(QUuid::WithoutBraces);
    }
    return state;
}

ScriptTableModel::Row ScriptTableModel::rowFor(const ScriptBlock &block) const
{
    Row row{block, block.voiceSegments(), block.voiceMarkerIssue(), m_studio.status(block), {}, {}, {}};
    row.takesState = takesStateOf(row);
    row.flags = chosenFlagsOf(row);
    row.audioState = audioStateOf(row, playingRecordingID());
    return row;
}

void ScriptTableModel::reloadBlocks()
{
    const QList<ScriptBlock> &blocks = m_studio.blocks();
    const bool sameRows = blocks.size() == m_rows.size()
                          && std::equal(blocks.cbegin(), blocks.cend(), m_rows.cbegin(),
                                        [](const ScriptBlock &b, const Row &r) { return b.id == r.block.id; });
    if (!sameRows) {
        beginResetModel();
        m_rows.clear();
        m_rowByID.clear();
        m_rows.reserve(blocks.size());
        for (const ScriptBlock &block : blocks) {
            m_rowByID.insert(block.id, static_cast<int>(m_rows.size()));
            m_rows.append(rowFor(block));
        }
        indexRecordings();
        m_markedRows = markedRows(playingRecordingID());
        endResetModel();
        return;
    }
    // A split rewrites one block: only its row changes.
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).block == blocks.at(i))
            continue;
        m_rows[i] = rowFor(blocks.at(i));
        emit dataChanged(index(i, 0), index(i, columnCount_ - 1));
    }
    indexRecordings();
    refreshRows(false);
}

void ScriptTableModel::indexRecordings()
{
    m_rowByRecording.clear();
    for (int i = 0; i < m_rows.size(); ++i) {
        for (const VoiceSegment &segment : m_rows.at(i).segments)
            m_rowByRecording.insert(segment.id, i);
    }
}

QList<int> ScriptTableModel::markedRows(const QString &playing) const
{
    QList<int> rows;
    for (const QString &recordingID : {m_studio.selectedRecordingID(), playing}) {
        if (const int row = m_rowByRecording.value(recordingID, -1); row >= 0)
            rows.append(row);
    }
    return rows;
}

void ScriptTableModel::refreshRows(bool takesChanged)
{
    // A status rests on the takes and the running recording: a new selection or playback leaves
    // every status as it was, so a click does not ask a thousand rows again.
    const bool recording = m_studio.recording();
    const bool statuses = takesChanged || recording || std::exchange(m_wasRecording, recording);
    const QString playing = playingRecordingID();
    // Otherwise only the rows that show, or showed, the selection or the playing take can change.
    const QList<int> marked = markedRows(playing);
    QList<int> rows = std::exchange(m_markedRows, marked) + marked;
    if (statuses) {
        rows.resize(m_rows.size());
        std::iota(rows.begin(), rows.end(), 0);
    }
    for (const int i : rows) {
        if (i >= m_rows.size())
            continue;
        Row &row = m_rows[i];
        QString flags = row.flags;
        if (takesChanged) {
            row.takesState = takesStateOf(row);
            flags = chosenFlagsOf(row);
        }
        BlockStatus freshStatus = statuses ? m_studio.status(row.block) : row.status;
        QString audioState = audioStateOf(row, playing);
        if (freshStatus == row.status && audioState == row.audioState && flags == row.flags)
            continue;
        row.flags = std::move(flags);
        row.status = std::move(freshStatus);
        row.audioState = std::move(audioState);
        emit dataChanged(index(i, 0), index(i, columnCount_ - 1));
    }
}

ScriptFilterModel::ScriptFilterModel(ScriptTableModel &source, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_source(source)
{
    setSourceModel(&source);
}

void ScriptFilterModel::setSearch(const QString &search)
{
    if (search == m_search)
        return;
    m_search = search;
    invalidateRowsFilter();
}

void ScriptFilterModel::setShowVideoColumns(bool show)
{
    if (show == m_showVideoColumns)
        return;
    m_showVideoColumns = show;
    invalidateColumnsFilter();
}

void ScriptFilterModel::setStatusFilter(StatusFilter filter)
{
    if (filter == m_statusFilter)
        return;
    m_statusFilter = filter;
    invalidateRowsFilter();
}

bool ScriptFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const ScriptBlock &block = m_source.block(sourceRow);
    if (m_statusFilter == StatusFilter::needsRecording && !awaitsTake(m_source.studio().status(block)))
        return false;
    if (m_statusFilter == StatusFilter::done && !isDone(m_source.studio().status(block)))
        return false;
    if (m_search.isEmpty())
        return true;
    return block.number.contains(m_search, Qt::CaseInsensitive)
           || block.russian.contains(m_search, Qt::CaseInsensitive)
           || block.english.contains(m_search, Qt::CaseInsensitive);
}

bool ScriptFilterModel::filterAcceptsColumn(int sourceColumn, const QModelIndex &) const
{
    return m_showVideoColumns || sourceColumn < ScriptTableModel::videoRussian;
}

} // namespace tarnwick
