#include "config/ui/LIController.h"

#include "config/model/DataStore.h"
#include "config/ui/DropTableView.h"
#include "config/ui/TableModels.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

namespace presto {

LIController::LIController(NotificationHub& hub, AlertPresenter& alerts, FileChooser& chooser,
                           QWidget* parent)
    : HotKeyTab(parent), hub_(hub), alerts_(alerts), chooser_(chooser) {
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

    connect(&hub_, &NotificationHub::ShowLaunchItemTableByTab, this,
            [this](DataStore* store) { handleShowLaunchItemTable(store, true); });
    connect(&hub_, &NotificationHub::ShowLaunchItemTable, this,
            [this](DataStore* store) { handleShowLaunchItemTable(store, false); });
    connect(&hub_, &NotificationHub::AddLaunchItemByMenu, this, &LIController::addLaunchItem);
    connect(&hub_, &NotificationHub::DelLaunchItemByMenu, this, &LIController::delLaunchItem);
    connect(&hub_, &NotificationHub::AddItemByMenu, this, &LIController::addItem);
    connect(&hub_, &NotificationHub::DelItemByMenu, this, [this] { emit hub_.DelItemFromLI(); });
    connect(&hub_, &NotificationHub::ChgSubItems, this, &LIController::handleGetItems);
    connect(&hub_, &NotificationHub::RowValueFromDrawer, this, &LIController::handleGetRow);
    connect(&hub_, &NotificationHub::ModHotKey2LIByMenu, this, &LIController::handleGetModHotKey);
}

LIController::~LIController() {
    hub_.disconnect(this);
}

void LIController::setData(DataStore* store) {
    dataStore_ = store;
    model_->setDataStore(store);
}

void LIController::handleShowLaunchItemTable(DataStore* store, bool byTab) {
    if (store)
        setData(store);
    if (byTab) {
        showTable(dataStore_);
        selectedRow_ = -1;
        drawerTableRow_ = -1;
        emit hub_.RowValueFromLI(selectedRow_, drawerTableRow_);
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
    emit hub_.ShowHKFromLI(note::kKbnNewLaunch, selectedRow_, dataStore_, newItems_);
}

void LIController::delLaunchItem() {
    const int row = table_->selectedRow();
    if (row < 0)
        return;
    emit hub_.DelHotKeyItem(row);
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
    // Both posts carry what held before the first one's observers ran.
    const QStringList drawerItems = item->itemPaths();
    const int row = selectedRow_;
    emit hub_.ReplaceHotKeyItem(item, row, drawerItems);
    emit hub_.OpenDrawer(row, drawerItems, item);
    showAddItemButton(false, false);
}

void LIController::handleGetItems(const QStringList& drawerItems, int row) {
    HotKeyItem* item = dataStore_ ? dataStore_->hotKeyItem(row) : nullptr;
    if (!item)
        return;
    item->setItemPaths(drawerItems);
    reloadTable();
    emit hub_.ReplaceHotKeyItem(item, row, {});
    if (item->itemPaths().size() <= 1)
        showAddItemButton(true, true);
}

void LIController::handleGetRow(int drawerItemRow) {
    drawerTableRow_ = drawerItemRow;
    emit hub_.RowValueFromLI(table_->selectedRow(), drawerTableRow_);
}

void LIController::handleGetModHotKey() {
    HotKeyItem* item = dataStore_ ? dataStore_->hotKeyItem(selectedRow_) : nullptr;
    if (!item)
        return;
    emit hub_.ModHotKey2HKFromLI(note::kKbnChangeLaunch, selectedRow_, item->itemPaths(),
                                 dataStore_, item);
}

void LIController::arrangeButtonAndDrawer() {
    selectedRow_ = table_->selectedRow();
    emit hub_.RowValueFromLI(selectedRow_, -1);
    emit hub_.CloseHK();
    const HotKeyItem* item = dataStore_ ? dataStore_->hotKeyItem(selectedRow_) : nullptr;
    if (!item) {
        emit hub_.CloseDrawer();
        delButton_->setEnabled(false);
        showAddItemButton(true, false);
        return;
    }
    delButton_->setEnabled(true);
    if (item->itemPaths().size() < 2) {
        emit hub_.CloseDrawer();
        showAddItemButton(true, true);
    } else {
        emit hub_.OpenDrawer(selectedRow_, item->itemPaths(), nullptr);
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
