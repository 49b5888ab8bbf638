#include "config/ui/TableModels.h"

#include "config/model/DataStore.h"
#include "config/ui/Cells.h"
#include "config/ui/FileDisplay.h"
#include "config/ui/KeysStatus.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QSet>
#include <QUrl>
#include <algorithm>

namespace presto {

DragTableModel::DragTableModel(QStringList columnIds, QString rowType, QStringList acceptedTypes,
                               QObject* parent)
    : QAbstractTableModel(parent), columnIds_(std::move(columnIds)), rowType_(std::move(rowType)),
      acceptedTypes_(std::move(acceptedTypes)) {}

void DragTableModel::reload() {
    beginResetModel();
    endResetModel();
}

int DragTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columnIds_.size());
}

QVariant DragTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < titles_.size())
        return titles_.at(section);
    return {};
}

Qt::ItemFlags DragTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList DragTableModel::mimeTypes() const {
    return QStringList{rowType_} + acceptedTypes_;
}

QMimeData* DragTableModel::mimeData(const QModelIndexList& indexes) const {
    QList<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && !rows.contains(index.row()))
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    auto* data = new QMimeData;
    putDraggedRows(*data, rowType_, rows);
    return data;
}

bool DragTableModel::canDropMimeData(const QMimeData*, Qt::DropAction, int, int,
                                     const QModelIndex&) const {
    return true;
}

bool DragTableModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                  const QModelIndex& parent) {
    if (!data || !dropHandler)
        return false;
    // Dropped onto a row rather than between two: that row.
    if (row < 0 && parent.isValid())
        row = parent.row();
    return dropHandler(*data, row);
}

Qt::DropActions DragTableModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions DragTableModel::supportedDragActions() const {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

void DragTableModel::sort(int column, Qt::SortOrder order) {
    if (sortHandler)
        sortHandler(column, order);
}

namespace {

constexpr char kRowsMarker[] = "presto-rows:";

} // namespace

std::optional<QList<int>> draggedRows(const QMimeData& data, const QString& rowType) {
    if (!data.hasFormat(rowType))
        return std::nullopt;
    const QString text = QString::fromUtf8(data.data(rowType));
    if (!text.startsWith(QLatin1String(kRowsMarker)))
        return std::nullopt;
    QList<int> rows;
    const QStringList fields =
        text.mid(qsizetype(sizeof kRowsMarker) - 1).split(u',', Qt::SkipEmptyParts);
    for (const QString& field : fields) {
        bool ok = false;
        const int row = field.toInt(&ok);
        if (!ok || row < 0)
            return std::nullopt;
        rows.append(row);
    }
    if (rows.isEmpty())
        return std::nullopt;
    return rows;
}

void putDraggedRows(QMimeData& data, const QString& rowType, const QList<int>& rows) {
    QStringList fields;
    for (int row : rows)
        fields.append(QString::number(row));
    data.setData(rowType, (QLatin1String(kRowsMarker) + fields.join(u',')).toUtf8());
}

QStringList droppedFiles(const QMimeData& data) {
    QStringList files;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

namespace {

void redrawColumn(QAbstractItemModel& model, int column) {
    const int rows = model.rowCount();
    if (rows > 0)
        emit model.dataChanged(model.index(0, column), model.index(rows - 1, column));
}

} // namespace

void followKeysStatus(QAbstractItemModel& model, const KeysStatus* status, int column) {
    if (status)
        QObject::connect(status, &KeysStatus::changed, &model,
                         [&model, column] { redrawColumn(model, column); });
}

QString missingPathText(const QString& path) {
    return QCoreApplication::translate("LaunchItemModel", "Not found: %1").arg(path);
}

LaunchItemModel::LaunchItemModel(QObject* parent)
    : DragTableModel({QStringLiteral("No"), QStringLiteral("itemPath"), QStringLiteral("hotKey")},
                     QLatin1String(kRowType), {QStringLiteral("text/uri-list")}, parent) {
    // Every change of the store reloads the table, which is when its set of paths may change.
    connect(this, &QAbstractItemModel::modelReset, this, [this] {
        QStringList paths;
        for (qsizetype row = 0; store_ && row < store_->countHotKeyItem(); ++row)
            paths += store_->hotKeyItem(row)->itemPaths();
        presence_.watch(paths);
    });
    connect(&presence_, &PathPresence::changed, this, [this] { redrawColumn(*this, 1); });
}

void LaunchItemModel::setDataStore(DataStore* store) {
    store_ = store;
}

void LaunchItemModel::setKeysStatus(const KeysStatus* status) {
    keysStatus_ = status;
    followKeysStatus(*this, status, 2);
}

int LaunchItemModel::rowCount(const QModelIndex& parent) const {
    return (parent.isValid() || !store_) ? 0 : static_cast<int>(store_->countHotKeyItem());
}

QVariant LaunchItemModel::data(const QModelIndex& index, int role) const {
    const HotKeyItem* item = store_ ? store_->hotKeyItem(index.row()) : nullptr;
    if (!item)
        return {};
    const QString path = item->itemPath().value_or(QString());
    switch (index.column()) {
    case 0:
        if (role == Qt::DisplayRole)
            return QString::asprintf("%d", index.row() + 1);
        break;
    case 1: {
        const auto missing = [this](const QString& p) { return presence_.isMissing(p); };
        if (role == Qt::DisplayRole)
            return displayName(path);
        if (role == Qt::DecorationRole) {
            const QStringList& paths = item->itemPaths();
            return std::any_of(paths.begin(), paths.end(), missing) ? warningIcon()
                                                                    : fileIcon(path);
        }
        if (role == kOtherItemCountRole)
            return item->itemCount().value_or(0) - 1;
        if (role == Qt::ToolTipRole) {
            QStringList lines;
            for (const QString& each : item->itemPaths())
                lines.append(missing(each) ? missingPathText(each) : each);
            return lines.join(u'\n');
        }
        break;
    }
    case 2:
        return hotKeyData(*item, role, keysStatus_);
    default:
        break;
    }
    return {};
}

PathListModel::PathListModel(QStringList columnIds, QString rowType, QStringList acceptedTypes,
                             QObject* parent)
    : DragTableModel(std::move(columnIds), std::move(rowType), std::move(acceptedTypes), parent),
      iconOf([](const ItemPathName& item) { return fileIcon(item.itemPath()); }),
      textOf([](const ItemPathName& item) { return displayName(item.itemPath()); }),
      isFile([](const ItemPathName&) { return true; }) {
    connect(this, &QAbstractItemModel::modelReset, this, [this] {
        QStringList files;
        for (const ItemPathName& item : items_) {
            if (isFile(item))
                files.append(item.itemPath());
        }
        presence_.watch(files);
    });
    connect(&presence_, &PathPresence::changed, this, [this] {
        for (int column = 0; column < columnCount(); ++column)
            redrawColumn(*this, column);
    });
}

void PathListModel::setItems(QList<ItemPathName> items) {
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
}

QStringList PathListModel::paths() const {
    QStringList paths;
    for (const ItemPathName& item : items_)
        paths.append(item.itemPath());
    return paths;
}

void PathListModel::setPaths(const QStringList& paths) {
    QList<ItemPathName> items;
    for (const QString& path : paths)
        items.append(ItemPathName(path));
    setItems(std::move(items));
}

void PathListModel::sortByName(Qt::SortOrder order) {
    QList<ItemPathName> items = items_;
    std::stable_sort(items.begin(), items.end(),
                     [order](const ItemPathName& a, const ItemPathName& b) {
                         const int c = a.itemName().compare(b.itemName());
                         return order == Qt::AscendingOrder ? c < 0 : c > 0;
                     });
    setItems(std::move(items));
}

bool PathListModel::moveItem(qsizetype from, qsizetype to) {
    QList<ItemPathName> items = items_;
    if (!moveListEntry(items, from, to))
        return false;
    setItems(std::move(items));
    return true;
}

int PathListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant PathListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= items_.size())
        return {};
    const ItemPathName& item = items_.at(index.row());
    const QString& id = columnIds().at(index.column());
    if (id == QLatin1String("No")) {
        if (role == Qt::DisplayRole)
            return QString::asprintf("%d", index.row() + 1);
    } else {
        const bool missing = isFile(item) && presence_.isMissing(item.itemPath());
        if (role == Qt::DisplayRole)
            return textOf(item);
        if (role == Qt::DecorationRole)
            return missing ? warningIcon() : iconOf(item);
        if (role == Qt::ToolTipRole)
            return missing ? missingPathText(item.itemPath()) : item.itemPath();
    }
    return {};
}

bool moveListEntry(QList<ItemPathName>& list, qsizetype from, qsizetype to) {
    if (from < 0 || from >= list.size() || to < 0 || to > list.size())
        return false;
    const ItemPathName moving = list.at(from);
    list.insert(to, moving);
    list.removeAt(from >= to ? from + 1 : from);
    return true;
}

} // namespace presto
