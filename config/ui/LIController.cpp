#include "config/ui/LIController.h"

#include "config/model/DataStore.h"
#include "config/ui/DropTableView.h"
#include "config/ui/Notifications.h"
#include "config/ui/TableModels.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

namespace presto {

namespace {

QVariantMap rowValues(int launchRow, int drawerRow) {
    return {{note::kLaunchItemRow, launchRow}, {note::kDrawerItemRow, drawerRow}};
}

} // namespace

LIController::LIController(NotificationCenter& center, AlertPresenter& alerts, FileChooser& chooser,
                           QWidget* parent)
    : HotKeyTab(parent), center_(center), alerts_(alerts), chooser_(chooser),
      observations_(center) {
    model_ = new LaunchItemModel(this);
    model_->setHeaderTitles({tr("No"), tr("Item"), tr("HotKey")});
    model_->dropHandler = [this](const QMimeData& data, int row) { return acceptDrop(data, row); };
    model_->sortHandler = [this](int column, Qt::SortOrder order) {
        sortLaunchItems(column, order);
    };

    setUpTable(model_, 1, 2);

    addButton_ = new QPushButton(tr("Add HotKey"), this);
    delButton_ = new QPushButton(tr("Delete HotKey"), this);
    addItemButton_ = new QPushButton(tr("Add Item"), this);
    // Return confirms the button that has the focus, and only that one.
    addButton_->setAutoDefault(true);
    delButton_->setEnabled(false);
    addItemButton_->setEnabled(false);
    connect(addButton_, &QPushButton::clicked, this, [this] { addLaunchItem(); });
    connect(delButton_, &QPushButton::clicked, this, [this] { delLaunchItem(); });
    connect(addItemButton_, &QPushButton::clicked, this, [this] { addItem(); });

    table_->deleteHandler = [this] { delLaunchItem(); };
    connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        table_->setSelectedRow(index.row());
        selectedRow_ = index.row();
        handleGetModHotKey();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(delButton_);
    buttons->addStretch();
    buttons->addWidget(addItemButton_);
    // A new user's first question: how does a hot key get here?
    emptyHint_ = new QLabel(
        tr("No hot keys yet: choose Edit > New Launch HotKey... (%1), or drop files on this list.")
            .arg(QKeySequence(QKeySequence::New).toString(QKeySequence::NativeText)),
        this);
    emptyHint_->setTextFormat(Qt::PlainText);
    emptyHint_->setWordWrap(true);
    emptyHint_->setEnabled(false);
    const auto showHint = [this] { emptyHint_->setVisible(model_->rowCount() == 0); };
    connect(model_, &QAbstractItemModel::modelReset, this, showHint);
    connect(model_, &QAbstractItemModel::rowsInserted, this, showHint);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, showHint);
    connect(model_, &QAbstractItemModel::layoutChanged, this, showHint);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(emptyHint_);
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

void LIController::reloadTable() {
    // The drawer and the menu stay as they are; only a selection that ran off the end is a change.
    if (reloadKeepingSelection() >= model_->rowCount())
        arrangeButtonAndDrawer();
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
    return dataStore_ &&
           moveDraggedRow(data, row, dataStore_->countHotKeyItem(),
                          [this](qsizetype from, qsizetype to) { dataStore_->moveItem(from, to); });
}

void LIController::sortLaunchItems(int column, Qt::SortOrder order) {
    const QString key = model_->columnIds().value(column);
    if (!dataStore_ || (key != QLatin1String("itemPath") && key != QLatin1String("hotKey")))
        return;
    using Compare = int (*)(const HotKeyItem*, const HotKeyItem*);
    const Compare byPath = [](const HotKeyItem* a, const HotKeyItem* b) {
        return a->itemPath().value_or(QString()).compare(b->itemPath().value_or(QString()));
    };
    const Compare byKey = [](const HotKeyItem* a, const HotKeyItem* b) {
        return a->hotKey().compare(b->hotKey());
    };
    const bool pathFirst = key == QLatin1String("itemPath");
    sortHotKeys(dataStore_->hotKeyItems(), pathFirst ? byPath : byKey, pathFirst ? byKey : byPath,
                order, [this](qsizetype from, qsizetype to) { dataStore_->moveItem(from, to); });
    reloadAndDeselect();
}

} // namespace presto
