#pragma once

#include "config/model/AlertPresenter.h"
#include "config/ui/FileChooser.h"
#include "config/ui/HotKeyTab.h"
#include "config/ui/NotificationHub.h"

#include <QStringList>

class QLabel;
class QMimeData;
class QPushButton;

namespace presto {

class DataStore;
class LaunchItemModel;

// The Launch Item tab: one row per launch hot key with its number, its first item and its key.
// New and changed hot keys go through the capture panel and the application controller; the tab
// itself only reorders the list and takes the drawer's path lists.
class LIController : public HotKeyTab {
    Q_OBJECT

public:
    LIController(NotificationHub& hub, AlertPresenter& alerts, FileChooser& chooser,
                 QWidget* parent = nullptr);
    ~LIController() override;

    // Button actions.
    void addLaunchItem();
    void delLaunchItem();
    void addItem();

    // Asks about a path bound alone to a hot key already; true when the user chose Retry.
    bool alertDupItem(const QString& name);
    void arrangeButtonAndDrawer() override;
    void showTable(DataStore* store);

    int selectedRow() const { return selectedRow_; }
    void setSelectedRow(int row) { selectedRow_ = row; }
    int drawerTableRow() const { return drawerTableRow_; }
    void setDrawerTableRow(int row) { drawerTableRow_ = row; }
    DataStore* dataStore() const { return dataStore_; }
    void setData(DataStore* store);
    const QStringList& newItems() const { return newItems_; }
    void setNewItems(const QStringList& items) { newItems_ = items; }

    LaunchItemModel& model() const { return *model_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* delButton() const { return delButton_; }
    QPushButton* addItemButton() const { return addItemButton_; }
    // The line that says how to add the first hot key, shown while there is none.
    QLabel* emptyHint() const { return emptyHint_; }

private:
    void handleShowLaunchItemTable(DataStore* store, bool byTab);
    void handleGetItems(const QStringList& drawerItems, int launchItemRow);
    void handleGetRow(int drawerItemRow);
    void handleGetModHotKey();
    void reloadTable();
    // The user's choice of files and folders; none when they cancelled.
    std::optional<QStringList> runChooser();
    void postShowHK();
    bool acceptDrop(const QMimeData& data, int row);
    void sortLaunchItems(int column, Qt::SortOrder order);
    void showAddItemButton(bool shown, bool enabled);

    NotificationHub& hub_;
    AlertPresenter& alerts_;
    FileChooser& chooser_;
    DataStore* dataStore_ = nullptr;
    int selectedRow_ = -1;
    int drawerTableRow_ = -1;
    QStringList newItems_;
    LaunchItemModel* model_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* delButton_ = nullptr;
    QPushButton* addItemButton_ = nullptr;
    QLabel* emptyHint_ = nullptr;
};

} // namespace presto
