#pragma once

#include "config/model/AlertPresenter.h"
#include "config/ui/HotKeyTab.h"
#include "config/ui/NotificationHub.h"
#include "config/ui/TableModels.h"

#include <QStringList>
#include <memory>

class QClipboard;
class QMimeData;
class QPushButton;

namespace presto {

class DataStore;
class PasteboardPreview;
class PBTitleController;

// The pasteboard hot keys of a data store: "No", "hotKey", "pbTitle". A snapshot whose file has
// gone is marked until it comes back or the user removes the hot key.
class PbItemModel : public DragTableModel {
public:
    static constexpr char kRowType[] = "application/x-presto-pasteboard-rows";

    explicit PbItemModel(QObject* parent = nullptr);

    void setDataStore(DataStore* store) { store_ = store; }
    DataStore* dataStore() const { return store_; }
    void setKeysStatus(const KeysStatus* status);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    DataStore* store_ = nullptr;
    const KeysStatus* keysStatus_ = nullptr;
    PathPresence presence_;
};

// The Pasteboard Item tab: the saved clipboard snapshots with their hot keys and titles, and a
// preview beside the list of the selected one. Adding takes the clipboard as it is now and asks
// for a title in the title panel; the capture panel and the application controller do the rest.
class PbFController : public HotKeyTab {
    Q_OBJECT

public:
    // The clipboard types tried, in order, and the type identifiers they are saved under.
    static const QStringList& pbTypes();
    static const QStringList& pbUTIs();

    PbFController(NotificationHub& hub, AlertPresenter& alerts, QWidget* parent = nullptr);
    ~PbFController() override;

    // Button actions.
    void addPbTitle();
    void delPbTitle();

    void arrangeButtonAndDrawer() override;
    void setDataStore(DataStore* store);
    DataStore* dataStore() const { return dataStore_; }
    int selectedRow() const { return selectedRow_; }

    PbItemModel& model() const { return *model_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* deleteButton() const { return deletePbButton_; }
    PasteboardPreview* drawer() const { return drawer_; }
    bool isDrawerOpen() const;
    PBTitleController& titleController() const { return *pbTitleController_; }

private:
    void handleShowPbItemTable(DataStore* store, bool byTab);
    void handleGetModHotKey();
    void openDrawer();
    void closeDrawer();
    void alertPasteboard(const QString& title, const QString& message);
    bool acceptDrop(const QMimeData& data, int row);
    void sortPbItems(int column, Qt::SortOrder order);

    NotificationHub& hub_;
    AlertPresenter& alerts_;
    DataStore* dataStore_ = nullptr;
    int selectedRow_ = -1;
    PbItemModel* model_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* deletePbButton_ = nullptr;
    PasteboardPreview* drawer_ = nullptr;
    std::unique_ptr<PBTitleController> pbTitleController_;
};

} // namespace presto
