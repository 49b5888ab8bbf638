#include "config/ui/FFController.h"

#include "config/model/DataStore.h"
#include "config/ui/Cells.h"
#include "config/ui/FileDisplay.h"
#include "config/ui/TableModels.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>

namespace presto {

namespace {

enum Column { NoColumn, FunctionNameColumn, HotKeyColumn, ColumnCount };

} // namespace

void FinderFunctionModel::setDataStore(DataStore* store) {
    store_ = store;
}

void FinderFunctionModel::setKeysStatus(const KeysStatus* status) {
    keysStatus_ = status;
    followKeysStatus(*this, status, HotKeyColumn);
}

void FinderFunctionModel::reload() {
    beginResetModel();
    endResetModel();
}

int FinderFunctionModel::rowCount(const QModelIndex& parent) const {
    return (parent.isValid() || !store_) ? 0
                                         : static_cast<int>(store_->countHotKeyFinderFunction());
}

int FinderFunctionModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FinderFunctionModel::data(const QModelIndex& index, int role) const {
    const HotKeyFinderFunction* function =
        store_ ? store_->hotKeyFinderFunction(index.row()) : nullptr;
    if (!function)
        return {};
    switch (index.column()) {
    case NoColumn:
        if (role == Qt::DisplayRole)
            return QString::asprintf("%d", index.row() + 1);
        break;
    case FunctionNameColumn:
        if (role == Qt::DisplayRole)
            return function->finderFunction().functionName();
        if (role == Qt::DecorationRole)
            return finderIcon();
        break;
    case HotKeyColumn:
        return hotKeyData(*function, role, keysStatus_);
    default:
        break;
    }
    return {};
}

QVariant FinderFunctionModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NoColumn:
        return FFController::tr("No");
    case FunctionNameColumn:
        return FFController::tr("Function");
    case HotKeyColumn:
        return FFController::tr("HotKey");
    default:
        return {};
    }
}

Qt::ItemFlags FinderFunctionModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

FFController::FFController(NotificationHub& hub, QWidget* parent) : QWidget(parent), hub_(hub) {
    model_ = new FinderFunctionModel(this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->setItemDelegateForColumn(FunctionNameColumn, new ItemCell(table_));
    table_->setItemDelegateForColumn(HotKeyColumn, new HotKeyCell(table_));
    QHeaderView* header = table_->horizontalHeader();
    // The catalogue's order is fixed: header clicks sort nothing.
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(NoColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(FunctionNameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(HotKeyColumn, QHeaderView::Fixed);
    header->resizeSection(NoColumn, 40);
    header->resizeSection(HotKeyColumn, HotKeyCell::columnWidth(table_->font()));
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionDidChange(); });

    connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        table_->selectRow(index.row());
        handleGetModHotKey();
    });
    // The other tabs' commands have buttons; so have this tab's.
    changeButton_ = new QPushButton(tr("Change HotKey"), this);
    changeButton_->setEnabled(false);
    connect(changeButton_, &QPushButton::clicked, this, [this] { handleGetModHotKey(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(changeButton_);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);

    connect(&hub_, &NotificationHub::ShowFFTable, this,
            [this](DataStore* store) { handleShowFinderFunctionTable(store, false); });
    connect(&hub_, &NotificationHub::ShowFFTableByTab, this,
            [this](DataStore* store) { handleShowFinderFunctionTable(store, true); });
    connect(&hub_, &NotificationHub::ModHotKey2FFByMenu, this, &FFController::handleGetModHotKey);
}

FFController::~FFController() {
    hub_.disconnect(this);
    // The table outlives this part of the object while QWidget deletes the children; it must not
    // report selection changes back into it.
    table_->selectionModel()->disconnect(this);
}

void FFController::setDataStore(DataStore* store) {
    dataStore_ = store;
    model_->setDataStore(store);
}

int FFController::selectedRow() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FFController::handleShowFinderFunctionTable(DataStore* store, bool byTab) {
    if (store)
        setDataStore(store);
    const int row = selectedRow();
    {
        // A reset model forgets its selection; a refresh must not look like the user's change.
        const QSignalBlocker blocker(table_->selectionModel());
        model_->reload();
        if (!byTab && row >= 0 && row < model_->rowCount())
            table_->selectRow(row);
    }
    table_->viewport()->update();
    if (byTab)
        emit hub_.RowValueFromFF(-1);
    changeButton_->setEnabled(selectedRow() >= 0);
}

void FFController::selectionDidChange() {
    changeButton_->setEnabled(selectedRow() >= 0);
    emit hub_.RowValueFromFF(selectedRow());
    emit hub_.CloseHK();
}

void FFController::handleGetModHotKey() {
    const int row = selectedRow();
    HotKeyFinderFunction* function = dataStore_ ? dataStore_->hotKeyFinderFunction(row) : nullptr;
    if (!function)
        return;
    ItemPathName finder{QString::fromLatin1(kFinderPath)};
    finder.setItemName(function->finderFunction().functionName());
    emit hub_.ModHotKey2HKFromFF(note::kKbnFinder, row, {finder}, function, dataStore_);
}

} // namespace presto
