#include "config/ui/LIController.h"

#include "config/model/DataStore.h"
#include "config/ui/Cells.h"
#include "config/ui/DropTableView.h"
#include "config/ui/Notifications.h"
#include "config/ui/TableModels.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace presto {

namespace {

QVariantMap rowValues(int launchRow, int drawerRow) {
    return {{note::kLaunchItemRow, launchRow}, {note::kDrawerItemRow, drawerRow}};
}

} // namespace

LIController::LIController(NotificationCenter& center, AlertPresenter& alerts, FileChooser& chooser,
                           QWidget* parent)
    : QWidget(parent), center_(center), alerts_(alerts), chooser_(chooser), observations_(center) {
    model_ = new LaunchItemModel(this);
    model_->setHeaderTitles({tr("No"), tr("Item"), tr("HotKey")});
    model_->dropHandler = [this](const QMimeData& data, int row) { return acceptDrop(data, row); };
    model_->sortHandler = [this](int column, Qt::SortOrder order) {
        sortLaunchItems(column, order);
    };

    table_ = new DropTableView(this);
    table_->setModel(model_);
    table_->setItemDelegateForColumn(1, new ItemCell(table_));
    table_->setItemDelegateForColumn(2, new HotKeyCell(table_));
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::Fixed);
    header->resizeSection(0, 40);
    header->resizeSection(2, HotKeyCell::kLeftMargin + HotKeyCell::kSlotPitch * 6 + 8);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) { model_->sort(column, order); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { arrangeButtonAndDrawer(); });

    addButton_ = new QPushButton(tr("Add HotKey"), this);
    delButton_ = new QPushButton(tr("Delete HotKey"), this);
    addItemButton_ = new QPushButton(tr("Add Item"), this);
    addButton_->setShortcut(Qt::Key_Return);
    delButton_->setEnabled(false);
    addItemButton_->setEnabled(false);
    connect(addButton_, &QPushButton::clicked, this, [this] { addLaunchItem(); });
    connect(delButton_, &QPushButton::clicked, this, [this] { delLaunchItem(); });
    connect(addItemButton_, &QPushButton::clicked, this, [this] { addItem(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(delButton_);
    buttons->addStretch();
    buttons->addWidget(addItemButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);

    const auto showTable = [this](const Notification& n) { handleShowLaunchItemTable(n); };
    observations_.observe(note::kShowLaunchItemTableByTab, showTable);
    observations_.observe(note::kShowLaunchItemTable, showTable);
    observations_.observe(note::kAddLaunchItemByMenu,
                          [this](const Notification&) { addLaunchItem(); });
    observations_.observe(note::kDelLaunchItemByMenu,
                          [this](const Notification&) { delLaunchItem(); });
    observations_.observe(note::kAddItemByMenu, [this](const Notification&) { addItem(); });
    observations_.observe(note::kDelItemByMenu,
                          [this](const Notification&) { center_.post(note::kDelItemFromLI); });
    observations_.observe(note::kChgSubItems, [this](const Notification& n) { handleGetItems(n); });
    observations_.observe(note::kRowValueFromDrawer,
                          [this](const Notification& n) { handleGetRow(n); });
    observations_.observe(note::kModHotKey2LIByMenu,
                          [this](const Notification&) { handleGetModHotKey(); });
}

LIController::~LIController() {
    // The table outlives this part of the object while QWidget deletes the children; it must not
    // report selection or sorting changes back into it.
    table_->selectionModel()->disconnect(this);
    table_->horizontalHeader()->disconnect(this);
}

void LIController::setData(DataStore* store) {
    dataStore_ = store;
    model_->setDataStore(store);
}

void LIController::handleShowLaunchItemTable(const Notification& notification) {
    if (auto* store = note::pointerValue<DataStore>(notification.object))
        setData(store);
    if (notification.name == QLatin1String(note::kShowLaunchItemTableByTab)) {
        showTable(dataStore_);
        selectedRow_ = -1;
        drawerTableRow_ = -1;
        center_.post(note::kRowValueFromLI, rowValues(selectedRow_, drawerTableRow_));
    } else {
        reloadTable();
    }
}

void LIController::showTable(DataStore* store) {
    setData(store);
    reloadTable();
    table_->clearSelection();
}

void LIController::reloadAndDeselect() {
    // A model reset drops the selection without a word; the tab must still hear of it.
    const bool hadSelection = table_->selectedRow() >= 0;
    model_->reload();
    table_->clearSelection();
    if (hadSelection)
        arrangeButtonAndDrawer();
}

void LIController::reloadTable() {
    // A reload keeps the selected row, as a table that only redraws would, so the drawer and the
    // menu stay as they are; only a selection that ran off the end is a change.
    const int row = table_->selectedRow();
    {
        const QSignalBlocker blocker(table_->selectionModel());
        model_->reload();
        if (row >= 0 && row < model_->rowCount())
            table_->selectRow(row);
    }
    if (row >= model_->rowCount())
        arrangeButtonAndDrawer();
    table_->viewport()->update();
}

std::optional<QStringList> LIController::runChooser() {
    return chooser_.choosePaths({tr("Choose Item"), tr("Choose")});
}

bool LIController::alertDupItem(const QString& name) {
    AlertRequest request;
    request.style = AlertStyle::Critical;
    request.title = tr("This item is already on the list");
    request.message = name;
    request.buttons = {tr("Retry"), tr("Cancel")};
    return alerts_.run(request) == 0;
}

void LIController::addLaunchItem() {
    selectedRow_ = table_->selectedRow();
    for (;;) {
        const std::optional<QStringList> paths = runChooser();
        if (!paths || paths->isEmpty())
            return;
        newItems_ = *paths;
        if (newItems_.size() == 1 && dataStore_ && dataStore_->isDupItem(newItems_.first())) {
            if (alertDupItem(lastPathComponent(newItems_.first())))
                continue;
            return;
        }
        break;
    }
    postShowHK();
}

void LIController::postShowHK() {
    center_.post(note::kShowHKFromLI, QVariantMap{
                                          {note::kKbn, int(note::kKbnNewLaunch)},
                                          {note::kAddFiles, newItems_},
                                          {note::kDataStore, QVariant::fromValue(dataStore_)},
                                          {note::kSelectedRow, selectedRow_},
                                      });
}

void LIController::delLaunchItem() {
    const int row = table_->selectedRow();
    if (row < 0)
        return;
    center_.post(note::kDelHotKeyItem, row);
    arrangeButtonAndDrawer();
}

void LIController::addItem() {
    selectedRow_ = table_->selectedRow();
    HotKeyItem* item = dataStore_ ? dataStore_->hotKeyItem(selectedRow_) : nullptr;
    if (!item)
        return;
    for (;;) {
        const std::optional<QStringList> paths = runChooser();
        if (!paths)
            return;
        if (paths->isEmpty())
            continue;
        const int result = item->multiEntry(*paths, -1, tr("Retry"), alerts_);
        if (result == -1)
            continue;
        if (result != 1)
            return;
        break;
    }
    const QVariantMap info{
        {note::kHotKeyItem, QVariant::fromValue(item)},
        {note::kDrawerItems, item->itemPaths()},
        {note::kLaunchItemRow, selectedRow_},
    };
    center_.post(note::kReplaceHotKeyItem, info);
    center_.post(note::kOpenDrawer, info);
    showAddItemButton(false, false);
}

void LIController::handleGetItems(const Notification& notification) {
    const QVariantMap info = notification.object.toMap();
    const int row = note::rowValue(info.value(note::kLaunchItemRow));
    HotKeyItem* item = dataStore_ ? dataStore_->hotKeyItem(row) : nullptr;
    if (!item)
        return;
    item->setItemPaths(info.value(note::kDrawerItems).toStringList());
    reloadTable();
    center_.post(note::kReplaceHotKeyItem, QVariantMap{
                                               {note::kHotKeyItem, QVariant::fromValue(item)},
                                               {note::kLaunchItemRow, row},
                                           });
    if (item->itemPaths().size() <= 1)
        showAddItemButton(true, true);
}

void LIController::handleGetRow(const Notification& notification) {
    drawerTableRow_ = note::rowValue(notification.object);
    center_.post(note::kRowValueFromLI, rowValues(table_->selectedRow(), drawerTableRow_));
}

void LIController::handleGetModHotKey() {
    HotKeyItem* item = dataStore_ ? dataStore_->hotKeyItem(selectedRow_) : nullptr;
    if (!item)
        return;
    center_.post(note::kModHotKey2HKFromLI,
                 QVariantMap{
                     {note::kKbn, int(note::kKbnChangeLaunch)},
                     {note::kLaunchItemRow, selectedRow_},
                     {note::kItemPaths, item->itemPaths()},
                     {note::kHotKey, QVariant::fromValue(static_cast<HotKey*>(item))},
                     {note::kDataStore, QVariant::fromValue(dataStore_)},
                 });
}

void LIController::arrangeButtonAndDrawer() {
    selectedRow_ = table_->selectedRow();
    center_.post(note::kRowValueFromLI, rowValues(selectedRow_, -1));
    center_.post(note::kCloseHK);
    const HotKeyItem* item = dataStore_ ? dataStore_->hotKeyItem(selectedRow_) : nullptr;
    if (!item) {
        center_.post(note::kCloseDrawer, QVariant::fromValue(static_cast<QObject*>(this)));
        delButton_->setEnabled(false);
        showAddItemButton(true, false);
        return;
    }
    delButton_->setEnabled(true);
    if (item->itemPaths().size() < 2) {
        center_.post(note::kCloseDrawer, QVariant::fromValue(static_cast<QObject*>(this)));
        showAddItemButton(true, true);
    } else {
        center_.post(note::kOpenDrawer, QVariantMap{
                                            {note::kLaunchItemRow, selectedRow_},
                                            {note::kDrawerItems, item->itemPaths()},
                                        });
        showAddItemButton(false, false);
    }
}

void LIController::showAddItemButton(bool shown, bool enabled) {
    addItemButton_->setVisible(shown);
    addItemButton_->setEnabled(enabled);
}

bool LIController::acceptDrop(const QMimeData& data, int row) {
    if (data.hasUrls()) {
        newItems_ = droppedFiles(data);
        if (newItems_.isEmpty())
            return false;
        if (newItems_.size() == 1 && dataStore_ && dataStore_->isDupItem(newItems_.first()) &&
            !alertDupItem(lastPathComponent(newItems_.first())))
            return false;
        // The new hot key goes where the files were dropped.
        selectedRow_ = row;
        postShowHK();
        return true;
    }
    const auto rows = draggedRows(data, model_->rowType());
    if (!rows || !dataStore_)
        return false;
    const int to = row < 0 ? static_cast<int>(dataStore_->countHotKeyItem()) : row;
    dataStore_->moveItem(rows->first(), to);
    reloadAndDeselect();
    return true;
}

void LIController::sortLaunchItems(int column, Qt::SortOrder order) {
    const QString key = model_->columnIds().value(column);
    if (!dataStore_ || (key != QLatin1String("itemPath") && key != QLatin1String("hotKey")))
        return;
    const auto pathOf = [](const HotKeyItem* item) { return item->itemPath().value_or(QString()); };
    const auto keyOf = [](const HotKeyItem* item) { return item->hotKey(); };
    const bool byPath = key == QLatin1String("itemPath");
    const auto less = [&](const HotKeyItem* a, const HotKeyItem* b) {
        const int primary = byPath ? pathOf(a).compare(pathOf(b)) : keyOf(a).compare(keyOf(b));
        if (primary != 0)
            return order == Qt::AscendingOrder ? primary < 0 : primary > 0;
        const int secondary = byPath ? keyOf(a).compare(keyOf(b)) : pathOf(a).compare(pathOf(b));
        return secondary < 0;
    };
    std::vector<const HotKeyItem*> sorted;
    for (const auto& item : dataStore_->hotKeyItems())
        sorted.push_back(item.get());
    std::stable_sort(sorted.begin(), sorted.end(), less);
    // The list owns its hot keys; moving each into place keeps them where they are in memory.
    for (std::size_t target = 0; target < sorted.size(); ++target) {
        const auto& list = dataStore_->hotKeyItems();
        const auto it =
            std::find_if(list.begin() + static_cast<std::ptrdiff_t>(target), list.end(),
                         [&](const auto& item) { return item.get() == sorted[target]; });
        const auto from = static_cast<qsizetype>(it - list.begin());
        dataStore_->moveItem(from, static_cast<qsizetype>(target));
    }
    reloadAndDeselect();
}

} // namespace presto
