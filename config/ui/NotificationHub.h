#pragma once

#include "config/model/DataStore.h"
#include "config/model/HotKey.h"
#include "config/model/HotKeyItem.h"
#include "config/model/ItemPathName.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace presto {

class HotKeyController;

// Table codes carried as "Kbn": who opened the capture panel and why.
namespace note {
inline constexpr char kKbnNewLaunch = 'I';
inline constexpr char kKbnChangeLaunch = 'i';
inline constexpr char kKbnFinder = 'F';
inline constexpr char kKbnNewPasteboard = 'P';
inline constexpr char kKbnChangePasteboard = 'p';
inline constexpr char kKbnNone = '0';
} // namespace note

// The in-process hub through which the windows of the configuration application talk: one signal
// per notification, whose arguments are what the notification carries. A row below 0 means no
// row. Observers connect directly, so an emit returns after every observer has run, in the order
// they connected, and a poster may rely on their effects in its next statement. Observers
// disconnect in their destructors: a half-destroyed controller is never called.
class NotificationHub : public QObject {
    Q_OBJECT

signals:
    // Menu commands of the application controller.
    void AddLaunchItemByMenu();
    void DelLaunchItemByMenu();
    void AddItemByMenu();
    void DelItemByMenu();
    void AddPbTitleByMenu();
    void DelPbTitleByMenu();
    void ResetHotKey();
    void ModHotKey2LIByMenu();
    void ModHotKey2FFByMenu();
    void ModHotKey2PbFByMenu();

    // Table refreshes and closings.
    void ShowLaunchItemTable(presto::DataStore* dataStore);
    void ShowLaunchItemTableByTab(presto::DataStore* dataStore);
    void ShowFFTable(presto::DataStore* dataStore);
    void ShowFFTableByTab(presto::DataStore* dataStore);
    void ShowPbItemTable(presto::DataStore* dataStore);
    void ShowPbItemTableByTab(presto::DataStore* dataStore);
    void CloseDrawer();
    void ClosePbItemDrawer();
    void CloseHK();
    // `hotKeyItem` is set only when an item was just added to it.
    void OpenDrawer(int launchItemRow, const QStringList& drawerItems,
                    presto::HotKeyItem* hotKeyItem);

    // Row reports.
    void RowValueFromLI(int launchItemRow, int drawerItemRow);
    void RowValueFromFF(int row);
    void RowValueFromPbF(int row);
    void RowValueFromDrawer(int row);

    // Opening the capture panel and the title panel.
    void ShowHKFromLI(char kbn, int selectedRow, presto::DataStore* dataStore,
                      const QStringList& addFiles);
    void ShowHKFromPbF(const QString& pbTitle, const QString& pbType, const QString& pbUTI,
                       const QByteArray& pbData, char kbn, int selectedRow,
                       presto::DataStore* dataStore);
    void ModHotKey2HKFromLI(char kbn, int launchItemRow, const QStringList& itemPaths,
                            presto::DataStore* dataStore, presto::HotKey* hotKey);
    void ModHotKey2HKFromFF(char kbn, int selectedRow,
                            const QList<presto::ItemPathName>& ffItemPaths, presto::HotKey* hotKey,
                            presto::DataStore* dataStore);
    void ModHotKey2HKFromPbF(char kbn, int pbFItemRow, const QStringList& pbItemPaths,
                             presto::DataStore* dataStore, presto::HotKey* hotKey);
    void ShowPBTitleFromPbF(char kbn, int selectedRow, int pbIndex, presto::DataStore* dataStore,
                            const QString& pbType, const QString& pbUTI, const QByteArray& pbData);

    // Results of the capture panel and list changes.
    void SetEventCode(presto::HotKeyController* panel);
    void ResetEventCode(presto::HotKeyController* panel);
    // `drawerItems` is set only when an item was just added to the hot key.
    void ReplaceHotKeyItem(presto::HotKeyItem* hotKeyItem, int launchItemRow,
                           const QStringList& drawerItems);
    void DelHotKeyItem(int row);
    void DelPbTitle(int row);

    // Drawer traffic.
    void ChgSubItems(const QStringList& drawerItems, int launchItemRow);
    void DelItemFromLI();
};

} // namespace presto
