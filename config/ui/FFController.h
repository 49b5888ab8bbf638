#pragma once

#include "config/ui/NotificationHub.h"

#include <QAbstractTableModel>
#include <QWidget>

class QPushButton;
class QTableView;

namespace presto {

class DataStore;
class KeysStatus;

// The catalogue of a data store, one row per Finder function: "No", "functionName", "hotKey".
class FinderFunctionModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setDataStore(DataStore* store);
    DataStore* dataStore() const { return store_; }
    void setKeysStatus(const KeysStatus* status);
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    DataStore* store_ = nullptr;
    const KeysStatus* keysStatus_ = nullptr;
};

// The Finder Function tab: the thirteen functions in catalogue order with their hot keys. Rows
// are fixed; a selected function's key is changed or reset through the capture panel, and the
// application controller stores it.
class FFController : public QWidget {
    Q_OBJECT

public:
    // What the capture panel shows as the function's item.
    static constexpr char kFinderPath[] = "/System/Library/CoreServices/Finder.app";

    explicit FFController(NotificationHub& hub, QWidget* parent = nullptr);
    ~FFController() override;

    void setDataStore(DataStore* store);
    DataStore* dataStore() const { return dataStore_; }

    QTableView* table() const { return table_; }
    QPushButton* changeButton() const { return changeButton_; }
    FinderFunctionModel& model() const { return *model_; }
    int selectedRow() const;

private:
    void handleShowFinderFunctionTable(DataStore* store, bool byTab);
    void handleGetModHotKey();
    void selectionDidChange();

    NotificationHub& hub_;
    DataStore* dataStore_ = nullptr;
    FinderFunctionModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QPushButton* changeButton_ = nullptr;
};

} // namespace presto
