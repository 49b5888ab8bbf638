#include "config/ui/HotKeyTab.h"

#include "config/ui/Cells.h"
#include "config/ui/DropTableView.h"
#include "config/ui/TableModels.h"

#include <QHeaderView>
#include <QSignalBlocker>

namespace presto {

HotKeyTab::~HotKeyTab() {
    // The table outlives this part of the object while QWidget deletes the children; it must not
    // report selection or sorting changes back into it.
    if (table_) {
        table_->selectionModel()->disconnect(this);
        table_->horizontalHeader()->disconnect(this);
    }
}

void HotKeyTab::setUpTable(DragTableModel* model, int nameColumn, int hotKeyColumn) {
    tableModel_ = model;
    table_ = new DropTableView(this);
    table_->setModel(model);
    table_->setItemDelegateForColumn(nameColumn, new ItemCell(table_));
    table_->setItemDelegateForColumn(hotKeyColumn, new HotKeyCell(table_));
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setSectionResizeMode(nameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(hotKeyColumn, QHeaderView::Fixed);
    header->resizeSection(0, 40);
    header->resizeSection(hotKeyColumn, HotKeyCell::columnWidth(table_->font()));
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) { tableModel_->sort(column, order); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { arrangeButtonAndDrawer(); });
}

int HotKeyTab::reloadKeepingSelection() {
    const int row = table_->selectedRow();
    {
        const QSignalBlocker blocker(table_->selectionModel());
        tableModel_->reload();
        if (row >= 0 && row < tableModel_->rowCount())
            table_->selectRow(row);
    }
    table_->viewport()->update();
    return row;
}

void HotKeyTab::reloadAndDeselect() {
    // A model reset drops the selection without a word; the tab must still hear of it.
    const bool hadSelection = table_->selectedRow() >= 0;
    tableModel_->reload();
    table_->clearSelection();
    if (hadSelection)
        arrangeButtonAndDrawer();
}

bool HotKeyTab::moveDraggedRow(const QMimeData& data, int row, qsizetype count,
                               const std::function<void(qsizetype from, qsizetype to)>& move) {
    const auto rows = draggedRows(data, tableModel_->rowType());
    if (!rows)
        return false;
    move(rows->first(), row < 0 ? count : row);
    reloadAndDeselect();
    return true;
}

} // namespace presto
