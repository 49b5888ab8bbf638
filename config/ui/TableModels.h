#pragma once

#include "config/model/ItemPathName.h"
#include "config/ui/PathPresence.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

class QMimeData;

namespace presto {

class DataStore;
class KeysStatus;

// A table whose rows can be dragged within it and onto which files can be dropped. It leaves
// every decision to its controller: what a drop does and how a column sorts.
class DragTableModel : public QAbstractTableModel {
public:
    // `rowType`: the mime type under which dragged rows travel; `acceptedTypes` what the table
    // takes besides it.
    DragTableModel(QStringList columnIds, QString rowType, QStringList acceptedTypes,
                   QObject* parent = nullptr);

    // Answers whether the drop was taken; the row is where it landed, -1 below the last row.
    std::function<bool(const QMimeData& data, int row)> dropHandler;
    std::function<void(int column, Qt::SortOrder order)> sortHandler;

    void reload();
    const QStringList& columnIds() const { return columnIds_; }
    int columnOf(const QString& id) const { return static_cast<int>(columnIds_.indexOf(id)); }
    const QString& rowType() const { return rowType_; }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    void sort(int column, Qt::SortOrder order) override;

    void setHeaderTitles(const QStringList& titles) { titles_ = titles; }

private:
    QStringList columnIds_;
    QStringList titles_;
    QString rowType_;
    QStringList acceptedTypes_;
};

// The rows carried by a row drag of this type, in drag order; none when the data does not hold
// such a drag.
std::optional<QList<int>> draggedRows(const QMimeData& data, const QString& rowType);
// Puts rows on drag data under the type.
void putDraggedRows(QMimeData& data, const QString& rowType, const QList<int>& rows);
// The local files of a drop from a file manager (text/uri-list); empty without any.
QStringList droppedFiles(const QMimeData& data);

// Has the column of a model redrawn whenever the key-capture agent says something new of the hot
// keys. `status` may be null.
void followKeysStatus(QAbstractItemModel& model, const KeysStatus* status, int column);
// What a row of a path that has gone shows: the warning icon, and its last known path.
QString missingPathText(const QString& path);

// The launch hot keys of a data store: "No", "itemPath", "hotKey". A hot key with a path of which
// nothing exists any more is marked until the path comes back or the user removes it.
class LaunchItemModel : public DragTableModel {
public:
    static constexpr char kRowType[] = "application/x-presto-main-rows";

    explicit LaunchItemModel(QObject* parent = nullptr);

    void setDataStore(DataStore* store);
    DataStore* dataStore() const { return store_; }
    void setKeysStatus(const KeysStatus* status);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    DataStore* store_ = nullptr;
    const KeysStatus* keysStatus_ = nullptr;
    PathPresence presence_;
};

// A list of paths with their names, as the capture panel and the drawer show them; a path of
// which nothing exists any more is marked.
class PathListModel : public DragTableModel {
public:
    PathListModel(QStringList columnIds, QString rowType, QStringList acceptedTypes,
                  QObject* parent = nullptr);

    // What a row shows; by default the file's icon and its display name.
    std::function<QIcon(const ItemPathName&)> iconOf;
    std::function<QString(const ItemPathName&)> textOf;
    // Whether the row stands for a file the user chose, which is marked when it has gone; by
    // default every row does.
    std::function<bool(const ItemPathName&)> isFile;

    QList<ItemPathName>& items() { return items_; }
    const QList<ItemPathName>& items() const { return items_; }
    void setItems(QList<ItemPathName> items);
    QStringList paths() const;
    // One row per path, named after its last component.
    void setPaths(const QStringList& paths);
    // By the rows' names; equal names keep their order.
    void sortByName(Qt::SortOrder order);
    // By the move rule of moveListEntry; false, with nothing moved, for an index outside.
    bool moveItem(qsizetype from, qsizetype to);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QList<ItemPathName> items_;
    PathPresence presence_;
};

// Moves one entry to a drop row counted before the move: moving onto its own row, or just below
// it, changes nothing. False when either index is outside the list.
bool moveListEntry(QList<ItemPathName>& list, qsizetype from, qsizetype to);

} // namespace presto
