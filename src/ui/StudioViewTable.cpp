// The script table of the studio window: its columns, the chosen row's live cells, and the place
// the speaker left, kept per project.
#include "studio/Studio.h"
#include "ui/AudioCell.h"
#include "ui/CellText.h"
#include "ui/ScriptCellDelegate.h"
#include "ui/ScriptTableModel.h"
#include "ui/StudioView.h"
#include "ui/ViewSettings.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// The chosen row is tinted with the accent rather than filled with it, so its red tints, green
/// labels and buttons read as in any other row, and its text keeps the ordinary colour.
void softenSelection(QTableView *table)
{
    QPalette palette = table->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor base = palette.color(group, QPalette::Base);
        const QColor accent = palette.color(QPalette::Active, QPalette::Highlight);
        constexpr float share = 0.3f;
        palette.setColor(group, QPalette::Highlight,
                         QColor::fromRgbF(base.redF() + (accent.redF() - base.redF()) * share,
                                          base.greenF() + (accent.greenF() - base.greenF()) * share,
                                          base.blueF() + (accent.blueF() - base.blueF()) * share));
        palette.setColor(group, QPalette::HighlightedText, palette.color(group, QPalette::Text));
    }
    table->setPalette(palette);
}

} // namespace

void StudioView::setUpTable()
{
    m_table->setObjectName(u"scriptTable"_s);
    m_model = new ScriptTableModel(m_studio, this);
    m_filter = new ScriptFilterModel(*m_model, this);
    // While rows come and go the selection model drops or moves the table's selection on its
    // own; that is not the user choosing a block, so the studio is not told. Connected before
    // the table is, so the flag is up before the selection model reacts.
    const auto rowsMoving = [this] { m_rowsMoving = true; };
    connect(m_filter, &QAbstractItemModel::modelAboutToBeReset, this, rowsMoving);
    connect(m_filter, &QAbstractItemModel::layoutAboutToBeChanged, this, rowsMoving);
    connect(m_filter, &QAbstractItemModel::rowsAboutToBeInserted, this, rowsMoving);
    connect(m_filter, &QAbstractItemModel::rowsAboutToBeRemoved, this, rowsMoving);
    m_table->setModel(m_filter);
    m_delegate = new ScriptCellDelegate(*m_model, *m_filter, *m_table);
    m_delegate->setLineLimit(m_settings.scriptTextLineLimit());
    m_table->setItemDelegate(m_delegate);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    softenSelection(m_table);
    m_table->setShowGrid(false);
    m_table->setWordWrap(true);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The last column is stretched by hand (fitLastColumn), so it keeps its minimum width.
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setMinimumSectionSize(38);
    for (int column = 0; column < m_filter->columnCount(); ++column)
        m_table->setColumnWidth(column, ScriptTableModel::widths(column).ideal);

    m_resizeTimer.setSingleShot(true);
    m_resizeTimer.setInterval(0);
    connect(&m_resizeTimer, &QTimer::timeout, this, &StudioView::resizeRows);
    m_liveCellsTimer.setSingleShot(true);
    m_liveCellsTimer.setInterval(0);
    connect(&m_liveCellsTimer, &QTimer::timeout, this, &StudioView::placeLiveCells);

    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                if (m_fittingColumns)
                    return;
                if (column != m_filter->columnCount() - 1)
                    fitLastColumn();
                // The filter only drops the last columns, so view and model columns agree.
                const ScriptTableModel::Widths widths = ScriptTableModel::widths(column);
                const int bounded =
                    std::max(widths.minimum, widths.maximum > 0 ? std::min(size, widths.maximum) : size);
                if (bounded != size) {
                    m_table->setColumnWidth(column, bounded);
                    return;
                }
                m_resizeTimer.start();
            });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &StudioView::tableSelectionChanged);
    // Rows change height only where their content changed; a take commit touches one row.
    connect(m_filter, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to) {
                for (int row = from.row(); row <= to.row(); ++row) {
                    if (m_audioCellIndex.isValid() && m_audioCellIndex.row() == row)
                        m_liveCellsTimer.start();
                    else
                        m_table->resizeRowToContents(row);
                }
            });
    const auto rowsMoved = [this] {
        m_rowsMoving = false;
        if (m_studio.store() && m_studio.store()->root() != m_scrollRoot) {
            rememberScroll(); // the project that was open keeps its place
            m_scrollRoot = m_studio.store()->root();
            m_restoreScroll = true;
        }
        showStatusBar(); // a recorded block may have been hidden or shown
        m_resizeTimer.start();
        m_liveCellsTimer.start();
        syncSelection();
    };
    connect(m_filter, &QAbstractItemModel::modelReset, this, rowsMoved);
    connect(m_filter, &QAbstractItemModel::layoutChanged, this, rowsMoved);
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, rowsMoved);
    connect(m_filter, &QAbstractItemModel::rowsRemoved, this, rowsMoved);
    connect(m_search, &QLineEdit::textChanged, m_filter, &ScriptFilterModel::setSearch);
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_rowsMoving && !m_restoreScroll)
            m_scrollValue = value;
    });
    m_table->viewport()->installEventFilter(this);
    connect(&m_settings, &ViewSettings::scriptTextLineLimitChanged, this, [this] {
        m_delegate->setLineLimit(m_settings.scriptTextLineLimit());
        placeLiveCells();
        resizeRows();
        m_table->viewport()->update();
    });

    // Every context menu of the table, live cells included, comes this one way.
    m_menus = new RightClickMenu(this);
    m_menus->addArea(m_table->viewport(), [this](QPoint at) { return cellMenu(at); });
    resizeRows();
}

void StudioView::scrollIntoMiddle(const QModelIndex &index)
{
    // The speaker reads the chosen row: it stays away from the edges, and a row already in the
    // middle third does not move.
    const QRect row = m_table->visualRect(index);
    const int height = m_table->viewport()->height();
    if (!row.isValid() || (row.top() >= height / 3 && row.bottom() <= height * 2 / 3))
        return;
    if (row.height() <= height / 3) {
        m_table->scrollTo(index, QAbstractItemView::PositionAtCenter);
        return;
    }
    // A row taller than the third starts a little below the top edge.
    QScrollBar *bar = m_table->verticalScrollBar();
    bar->setValue(bar->value() + row.top() - height / 6);
}

void StudioView::fitLastColumn()
{
    // The last column takes what the others leave, down to its own minimum.
    const int last = m_filter->columnCount() - 1;
    int others = 0;
    for (int column = 0; column < last; ++column)
        others += m_table->columnWidth(column);
    const int width = std::max(ScriptTableModel::widths(last).minimum, m_table->viewport()->width() - others);
    if (width == m_table->columnWidth(last))
        return;
    m_fittingColumns = true;
    m_table->setColumnWidth(last, width);
    m_fittingColumns = false;
    m_resizeTimer.start();
}

void StudioView::syncSelection()
{
    // The table follows the studio's choice; it never decides it.
    const int sourceRow = m_model->rowOf(m_studio.selectedBlockID());
    const QModelIndex index = m_filter->mapFromSource(m_model->index(sourceRow, 0));
    m_syncing = true;
    if (index.isValid()) {
        m_table->selectionModel()->select(index,
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    } else {
        m_table->selectionModel()->clearSelection();
    }
    m_syncing = false;
    if (index.isValid() && m_studio.selectedBlockID() != m_syncedBlockID && !m_pointerDown)
        scrollIntoMiddle(index);
    m_syncedBlockID = m_studio.selectedBlockID();
    m_liveCellsTimer.start();
}

void StudioView::tableSelectionChanged()
{
    if (m_syncing || m_rowsMoving)
        return;
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    m_studio.selectBlock(rows.isEmpty() ? QString()
                                        : rows.constFirst().data(ScriptTableModel::BlockIDRole).toString());
    syncSelection(); // a locked studio keeps its selection, and so does the table
}

void StudioView::placeLiveCells()
{
    const int sourceRow = m_model->rowOf(m_studio.selectedBlockID());
    const QModelIndex index = m_filter->mapFromSource(m_model->index(sourceRow, ScriptTableModel::audio));
    int oldRow = -1;
    if (m_audioCellIndex.isValid() && m_table->indexWidget(m_audioCellIndex)) {
        oldRow = m_audioCellIndex.row();
        m_table->setIndexWidget(m_audioCellIndex, nullptr);
    }
    // Texts stay while their block, line limit and columns do: a take played or chosen
    // rebuilds the audio cell only, and a text selection survives it.
    const QString textsKey = index.isValid()
                                 ? m_model->block(sourceRow).english + m_model->block(sourceRow).russian +
                                       QString::number(m_delegate->lineLimit()) +
                                       QString::number(m_filter->columnCount()) + QString::number(index.row())
                                 : QString();
    const bool keepTexts = !textsKey.isEmpty() && textsKey == m_textCellsKey &&
                           std::all_of(m_textCellIndexes.cbegin(), m_textCellIndexes.cend(),
                                       [this](const QPersistentModelIndex &text) {
                                           return text.isValid() && m_table->indexWidget(text);
                                       });
    for (const QPersistentModelIndex &text :
         keepTexts ? QList<QPersistentModelIndex>{} : std::exchange(m_textCellIndexes, {})) {
        if (text.isValid())
            m_table->setIndexWidget(text, nullptr);
    }
    m_textCellsKey = textsKey;
    if (oldRow >= 0 && oldRow != index.row())
        m_table->resizeRowToContents(oldRow);
    m_audioCellIndex = index;
    if (!index.isValid())
        return;
    m_audioCell = new AudioCell(m_studio, m_model->block(sourceRow));
    m_table->setIndexWidget(index, m_audioCell);
    if (keepTexts) {
        m_table->resizeRowToContents(index.row());
        return;
    }
    // The selected row's texts are live too, so they can be selected and copied; the filter
    // only drops the last columns, so view and model columns agree.
    for (int column = 0; column < m_filter->columnCount(); ++column) {
        const QModelIndex source = m_model->index(sourceRow, column);
        if (column == ScriptTableModel::number || column == ScriptTableModel::status ||
            column == ScriptTableModel::audio || source.data(ScriptTableModel::EmptyRole).toBool())
            continue;
        const QModelIndex cell = index.siblingAtColumn(column);
        m_table->setIndexWidget(cell, new CellText(m_delegate->textPieces(source),
                                                   ScriptCellDelegate::textFont(source, m_table->font()),
                                                   m_delegate->lineLimit()));
        m_textCellIndexes.append(cell);
    }
    m_table->resizeRowToContents(index.row());
}

void StudioView::resizeRows()
{
    m_table->resizeRowsToContents();
    // The place in a project comes back once its rows have their heights in the shown window.
    if (m_restoreScroll && isVisible() && !m_scrollRoot.isEmpty()) {
        m_restoreScroll = false;
        // Without a kept place the view stays where the chosen row put it.
        if (const std::optional<QString> kept = m_settings.defaults().text(u"scroll:"_s + m_scrollRoot))
            m_table->verticalScrollBar()->setValue(kept->toInt());
        m_scrollValue = m_table->verticalScrollBar()->value();
    }
}

void StudioView::rememberScroll()
{
    if (!m_scrollRoot.isEmpty() && !m_restoreScroll)
        m_settings.defaults().setText(u"scroll:"_s + m_scrollRoot, QString::number(m_scrollValue));
}

void StudioView::restoreLayout()
{
    UserDefaults &defaults = m_settings.defaults();
    if (const std::optional<QString> geometry = defaults.text(u"windowGeometry"_s))
        restoreGeometry(QByteArray::fromBase64(geometry->toLatin1()));
    if (const std::optional<QString> widths = defaults.text(u"columnWidths"_s)) {
        const QStringList each = widths->split(u',');
        for (int column = 0; column < each.size() && column < ScriptTableModel::columnCount_; ++column) {
            const int width = each.at(column).toInt();
            if (width > 0 && column < m_filter->columnCount())
                m_table->setColumnWidth(column, width);
        }
    }
}

void StudioView::saveLayout()
{
    UserDefaults &defaults = m_settings.defaults();
    defaults.setText(u"windowGeometry"_s, QString::fromLatin1(saveGeometry().toBase64()));
    QStringList widths;
    for (int column = 0; column < m_filter->columnCount(); ++column)
        widths.append(QString::number(m_table->columnWidth(column)));
    defaults.setText(u"columnWidths"_s, widths.join(u','));
    rememberScroll();
}

} // namespace tarnwick
