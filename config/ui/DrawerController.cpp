#include "config/ui/DrawerController.h"

#include "config/model/HotKeyItem.h"
#include "config/ui/Cells.h"
#include "config/ui/DropTableView.h"
#include "config/ui/TableModels.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace presto {

DrawerController::DrawerController(NotificationHub& hub, AlertPresenter& alerts,
                                   FileChooser& chooser, QWidget* parent)
    : QWidget(parent), hub_(hub), alerts_(alerts), chooser_(chooser) {
    model_ = new PathListModel({QStringLiteral("No"), QStringLiteral("ItemName")},
                               QStringLiteral("application/x-presto-drawer-rows"),
                               {QStringLiteral("text/uri-list")}, this);
    model_->setHeaderTitles({tr("No"), tr("Item")});
    model_->dropHandler = [this](const QMimeData& data, int row) { return acceptDrop(data, row); };
    model_->sortHandler = [this](int column, Qt::SortOrder order) { sortItems(column, order); };

    table_ = new DropTableView(this);
    table_->setModel(model_);
    table_->setItemDelegateForColumn(1, new ItemCell(table_));
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->resizeSection(0, 36);
    header->setStretchLastSection(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) { model_->sort(column, order); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionDidChange(); });

    addButton_ = new QPushButton(tr("Add Item"), this);
    delButton_ = new QPushButton(tr("Delete Item"), this);
    delButton_->setEnabled(false);
    connect(addButton_, &QPushButton::clicked, this, [this] { addSubItem(); });
    connect(delButton_, &QPushButton::clicked, this, [this] { delSubItem(); });
    table_->deleteHandler = [this] { delSubItem(); };

    auto* title = new QLabel(tr("Items in launch order"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(delButton_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    setMinimumWidth(240);
    setVisible(false);

    // The drawer reads only the row and the paths.
    connect(
        &hub_, &NotificationHub::OpenDrawer, this,
        [this](int row, const QStringList& paths, HotKeyItem*) { handleOpenDrawer(row, paths); });
    connect(&hub_, &NotificationHub::CloseDrawer, this, &DrawerController::closeDrawer);
    connect(&hub_, &NotificationHub::DelItemFromLI, this, &DrawerController::delSubItem);
}

DrawerController::~DrawerController() {
    hub_.disconnect(this);
    // The table outlives this part of the object while QWidget deletes the children; it must not
    // report selection or sorting changes back into it.
    table_->selectionModel()->disconnect(this);
    table_->horizontalHeader()->disconnect(this);
}

void DrawerController::handleOpenDrawer(int launchItemRow, const QStringList& drawerItems) {
    currentRow_ = launchItemRow;
    setItemPaths(drawerItems);
    openDrawer();
    reloadAndDeselect();
}

void DrawerController::openDrawer() {
    // Slides out beside the tabs: the window grows by the panel rather than squeezing the table.
    QWidget* top = window();
    if (!open_ && top != this && top->isVisible() && !top->isMaximized()) {
        grownBy_ = std::max(minimumWidth(), sizeHint().width());
        top->resize(top->width() + grownBy_, top->height());
    }
    open_ = true;
    setVisible(true);
}

void DrawerController::closeDrawer() {
    open_ = false;
    setVisible(false);
    if (grownBy_ > 0) {
        QWidget* top = window();
        top->resize(top->width() - grownBy_, top->height());
        grownBy_ = 0;
    }
}

void DrawerController::postSubitems() {
    emit hub_.ChgSubItems(itemPaths(), currentRow_);
}

QStringList DrawerController::itemPaths() const {
    return model_->paths();
}

void DrawerController::setItemPaths(const QStringList& paths) {
    model_->setPaths(paths);
}

const QList<ItemPathName>& DrawerController::itemPathNames() const {
    return model_->items();
}

void DrawerController::setItemPathNames(const QList<ItemPathName>& items) {
    model_->setItems(items);
}

std::optional<ItemPathName> DrawerController::itemPathNameAtIndex(qsizetype index) const {
    if (index < 0 || index >= model_->items().size())
        return std::nullopt;
    return model_->items().at(index);
}

void DrawerController::delItemPathNameAtIndex(qsizetype index) {
    QList<ItemPathName> items = model_->items();
    if (index < 0 || index >= items.size())
        return;
    items.removeAt(index);
    model_->setItems(std::move(items));
}

void DrawerController::insertItemPathNameAtIndex(const ItemPathName& item, qsizetype row) {
    QList<ItemPathName> items = model_->items();
    if (row >= 0 && row <= items.size())
        items.insert(row, item);
    else
        items.append(item);
    model_->setItems(std::move(items));
}

void DrawerController::insertItemPathAtIndex(const QString& path, qsizetype row) {
    insertItemPathNameAtIndex(ItemPathName(path), row);
}

bool DrawerController::isDupItemPath(const QString& path) const {
    return itemPaths().contains(path, Qt::CaseSensitive);
}

int DrawerController::multiEntry(const QStringList& paths, int row,
                                 const std::optional<QString>& retryButton) {
    // The same question a launch hot key asks, over the drawer's list.
    HotKeyItem scratch;
    scratch.setItemPaths(itemPaths());
    const int result = scratch.multiEntry(paths, row, retryButton, alerts_);
    if (result == 1)
        setItemPaths(scratch.itemPaths());
    return result;
}

void DrawerController::moveItem(qsizetype from, qsizetype to) {
    model_->moveItem(from, to);
}

void DrawerController::addSubItem() {
    const int row = table_->selectedRow();
    for (;;) {
        const std::optional<QStringList> paths =
            chooser_.choosePaths({tr("Choose Item"), tr("Choose")});
        if (!paths)
            return;
        if (paths->isEmpty())
            continue;
        const int result = multiEntry(*paths, row, tr("Retry"));
        if (result == -1)
            continue;
        if (result == 1) {
            reloadAndDeselect();
            postSubitems();
        }
        return;
    }
}

void DrawerController::delSubItem() {
    const int row = table_->selectedRow();
    if (row < 0)
        return;
    delItemPathNameAtIndex(row);
    selectionDidChange();
    postSubitems();
    // A launch hot key with one path is a plain row of the Launch Item tab.
    if (model_->items().size() <= 1)
        closeDrawer();
}

void DrawerController::selectionDidChange() {
    const int row = table_->selectedRow();
    emit hub_.RowValueFromDrawer(row);
    delButton_->setEnabled(row >= 0);
}

void DrawerController::reloadAndDeselect() {
    // Replacing the list drops the selection without a word; the tab must still hear of it.
    table_->clearSelection();
    selectionDidChange();
}

bool DrawerController::acceptDrop(const QMimeData& data, int row) {
    if (data.hasUrls()) {
        const QStringList files = droppedFiles(data);
        if (files.isEmpty())
            return false;
        multiEntry(files, row, std::nullopt);
        reloadAndDeselect();
        postSubitems();
        return true;
    }
    const auto rows = draggedRows(data, model_->rowType());
    if (!rows)
        return false;
    moveItem(rows->first(), row < 0 ? model_->items().size() : row);
    reloadAndDeselect();
    postSubitems();
    return true;
}

void DrawerController::sortItems(int column, Qt::SortOrder order) {
    if (model_->columnIds().value(column) != QLatin1String("ItemName"))
        return;
    model_->sortByName(order);
    reloadAndDeselect();
    postSubitems();
}

} // namespace presto
