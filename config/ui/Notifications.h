#pragma once

#include "config/model/DataStore.h"
#include "config/model/HotKey.h"
#include "config/model/HotKeyItem.h"
#include "config/model/ItemPathName.h"

#include <QList>
#include <QMetaType>
#include <QVariant>

// The names and dictionary keys through which the windows talk. A name is matched as a whole
// string, and both sides must use these constants.
namespace presto::note {

// Menu commands, posted by the application controller without object.
inline constexpr char kAddLaunchItemByMenu[] = "AddLaunchItemByMenu";
inline constexpr char kDelLaunchItemByMenu[] = "DelLaunchItemByMenu";
inline constexpr char kAddItemByMenu[] = "AddItemByMenu";
inline constexpr char kDelItemByMenu[] = "DelItemByMenu";
inline constexpr char kAddPbTitleByMenu[] = "AddPbTitleByMenu";
inline constexpr char kDelPbTitleByMenu[] = "DelPbTitleByMenu";
inline constexpr char kResetHotKey[] = "ResetHotKey";
inline constexpr char kModHotKey2LIByMenu[] = "ModHotKey2LIByMenu";
inline constexpr char kModHotKey2FFByMenu[] = "ModHotKey2FFByMenu";
inline constexpr char kModHotKey2PbFByMenu[] = "ModHotKey2PbFByMenu";

// Table refreshes and closings.
inline constexpr char kShowLaunchItemTable[] = "ShowLaunchItemTable";
inline constexpr char kShowLaunchItemTableByTab[] = "ShowLaunchItemTableByTab";
inline constexpr char kShowFFTable[] = "ShowFFTable";
inline constexpr char kShowFFTableByTab[] = "ShowFFTableByTab";
inline constexpr char kShowPbItemTable[] = "ShowPbItemTable";
inline constexpr char kShowPbItemTableByTab[] = "ShowPbItemTableByTab";
inline constexpr char kCloseDrawer[] = "CloseDrawer";
inline constexpr char kClosePbItemDrawer[] = "ClosePbItemDrawer";
inline constexpr char kCloseHK[] = "CloseHK";
inline constexpr char kOpenDrawer[] = "OpenDrawer";

// Row reports.
inline constexpr char kRowValueFromLI[] = "RowValueFromLI";
inline constexpr char kRowValueFromFF[] = "RowValueFromFF";
inline constexpr char kRowValueFromPbF[] = "RowValueFromPbF";
inline constexpr char kRowValueFromDrawer[] = "RowValueFromDrawer";

// Opening the capture panel and the title panel.
inline constexpr char kShowHKFromLI[] = "ShowHKFromLI";
inline constexpr char kShowHKFromPbF[] = "ShowHKFromPbF";
inline constexpr char kModHotKey2HKFromLI[] = "ModHotKey2HKFromLI";
inline constexpr char kModHotKey2HKFromFF[] = "ModHotKey2HKFromFF";
inline constexpr char kModHotKey2HKFromPbF[] = "ModHotKey2HKFromPbF";
inline constexpr char kShowPBTitleFromPbF[] = "ShowPBTitleFromPbF";

// Results of the capture panel and list changes.
inline constexpr char kSetEventCode[] = "SetEventCode";
inline constexpr char kResetEventCode[] = "ResetEventCode";
inline constexpr char kReplaceHotKeyItem[] = "ReplaceHotKeyItem";
inline constexpr char kDelHotKeyItem[] = "DelHotKeyItem";
inline constexpr char kDelPbTitle[] = "DelPbTitle";

// Drawer traffic.
inline constexpr char kChgSubItems[] = "ChgSubItems";
inline constexpr char kDelItemFromLI[] = "DelItemFromLI";

// Dictionary keys.
inline constexpr char kKbn[] = "Kbn";                     // int holding a table code
inline constexpr char kSelectedRow[] = "SelectedRow";     // int
inline constexpr char kDataStore[] = "DataStore";         // DataStore*
inline constexpr char kAddFiles[] = "AddFiles";           // QStringList
inline constexpr char kHotKey[] = "HotKey";               // HotKey*
inline constexpr char kItemPaths[] = "ItemPaths";         // QStringList
inline constexpr char kFFItemPaths[] = "FFItemPaths";     // QList<ItemPathName>
inline constexpr char kPbItemPaths[] = "PbItemPaths";     // QStringList
inline constexpr char kLaunchItemRow[] = "LaunchItemRow"; // int
inline constexpr char kDrawerItemRow[] = "DrawerItemRow"; // int
inline constexpr char kDrawerItems[] = "DrawerItems";     // QStringList
inline constexpr char kHotKeyItem[] = "HotKeyItem";       // HotKeyItem*
inline constexpr char kPbFItemRow[] = "PbFItemRow";       // int
inline constexpr char kPbTitle[] = "PbTitle";             // QString
inline constexpr char kPbType[] = "PbType";               // QString
inline constexpr char kPbUTI[] = "PbUTI";                 // QString
inline constexpr char kPbData[] = "PbData";               // QByteArray
inline constexpr char kPbIndex[] = "PbIndex";             // int

// Table codes carried under "Kbn": who opened the capture panel and why.
inline constexpr char kKbnNewLaunch = 'I';
inline constexpr char kKbnChangeLaunch = 'i';
inline constexpr char kKbnFinder = 'F';
inline constexpr char kKbnNewPasteboard = 'P';
inline constexpr char kKbnChangePasteboard = 'p';
inline constexpr char kKbnNone = '0';

// A row number out of an object or a dictionary value; anything else means no row.
inline int rowValue(const QVariant& value) {
    bool ok = false;
    const int row = value.toInt(&ok);
    return ok ? row : -1;
}

template <typename T> T* pointerValue(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<T*>() ? value.value<T*>() : nullptr;
}

} // namespace presto::note

Q_DECLARE_METATYPE(presto::DataStore*)
Q_DECLARE_METATYPE(presto::HotKey*)
Q_DECLARE_METATYPE(presto::HotKeyItem*)
Q_DECLARE_METATYPE(presto::ItemPathName)
