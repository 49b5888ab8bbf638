#pragma once

#include "config/model/AlertPresenter.h"
#include "config/model/ItemPathName.h"
#include "config/ui/FileChooser.h"
#include "config/ui/NotificationHub.h"

#include <QStringList>
#include <QWidget>
#include <optional>

class QMimeData;
class QPushButton;

namespace presto {

class DropTableView;
class PathListModel;

// The side panel beside the tabs that lists the paths of a launch hot key with several, in
// launch order. It never changes the data store: every change ends in "ChgSubItems" with the
// whole new list, which the Launch Item tab stores and has saved.
class DrawerController : public QWidget {
    Q_OBJECT

public:
    DrawerController(NotificationHub& hub, AlertPresenter& alerts, FileChooser& chooser,
                     QWidget* parent = nullptr);
    ~DrawerController() override;

    // Button actions.
    void addSubItem();
    void delSubItem();

    void postSubitems();
    QStringList itemPaths() const;
    void setItemPaths(const QStringList& paths);
    const QList<ItemPathName>& itemPathNames() const;
    void setItemPathNames(const QList<ItemPathName>& items);
    std::optional<ItemPathName> itemPathNameAtIndex(qsizetype index) const;
    void delItemPathNameAtIndex(qsizetype index);
    // At the row when it is 0 or more, else at the end.
    void insertItemPathNameAtIndex(const ItemPathName& item, qsizetype row);
    void insertItemPathAtIndex(const QString& path, qsizetype row);
    // Exact, case-sensitive comparison.
    bool isDupItemPath(const QString& path) const;
    // Adds the paths not yet listed after telling the user about those that are: 1 added (or
    // nothing to tell), 0 Cancel, -1 the retry button; only 1 changes the list.
    int multiEntry(const QStringList& paths, int row, const std::optional<QString>& retryButton);
    void moveItem(qsizetype from, qsizetype to);

    int currentRow() const { return currentRow_; }
    void setCurrentRow(int row) { currentRow_ = row; }
    // Open as far as the controller goes, also while the main window itself is not shown.
    bool isOpen() const { return open_; }

    DropTableView* table() const { return table_; }
    PathListModel& model() const { return *model_; }
    QPushButton* addSubItemButton() const { return addButton_; }
    QPushButton* delSubItemButton() const { return delButton_; }

private:
    void handleOpenDrawer(int launchItemRow, const QStringList& drawerItems);
    void openDrawer();
    void closeDrawer();
    void selectionDidChange();
    bool acceptDrop(const QMimeData& data, int row);
    void sortItems(int column, Qt::SortOrder order);
    void reloadAndDeselect();

    NotificationHub& hub_;
    AlertPresenter& alerts_;
    FileChooser& chooser_;
    int currentRow_ = -1;
    bool open_ = false;
    int grownBy_ = 0;
    PathListModel* model_ = nullptr;
    DropTableView* table_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* delButton_ = nullptr;
};

} // namespace presto
