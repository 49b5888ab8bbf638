#include "UiTestSupport.h"
#include "config/ui/Cells.h"
#include "config/ui/FFController.h"

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <gtest/gtest.h>
#include <map>

namespace presto {
namespace {

using FinderFunctionTab = test::UiWorld;

QStringList column(const FFController& tab, int columnIndex) {
    QStringList texts;
    for (int row = 0; row < tab.model().rowCount(); ++row)
        texts.append(tab.model().index(row, columnIndex).data().toString());
    return texts;
}

QStringList keyParts(const FFController& tab, int row) {
    return tab.model().index(row, 2).data(kHotKeyPartsRole).toStringList();
}

// Finder functions as the data file holds them now: catalogue row -> function number.
std::map<int, int> savedFinderKeys(const test::TempWorld& world) {
    test::ScriptedAlerts quiet;
    DataStore saved(world.locations(), quiet);
    std::map<int, int> keys;
    for (qsizetype i = 0; i < saved.countHotKeyFinderFunction(); ++i) {
        const HotKeyFinderFunction& function = *saved.hotKeyFinderFunction(i);
        if (function.kind() == kKindFinder)
            keys[static_cast<int>(i)] = function.finderItemNo().value_or(0);
    }
    return keys;
}

TEST_F(FinderFunctionTab, ShowsTheCatalogueAndOpensThePanelOnlyForASelectedRow) {
    FFController& tab = window().finderFunctionTab();
    tab.table()->selectRow(3);
    test::NotificationLog log(hub, &NotificationHub::RowValueFromFF);
    window().tabView()->setCurrentIndex(1);

    EXPECT_EQ(column(tab, 0),
              QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"}));
    EXPECT_EQ(column(tab, 1),
              QStringList({"Sleep", "Restart", "Shut Down", "Empty Trash", "Move to Trash",
                           "Make New File", "Get Path", "Get File List", "Copy to...", "Move to...",
                           "Copy to... by new name", "Move to... by new name", "Show Permission"}));
    EXPECT_EQ(keyParts(tab, 0), QStringList({"", "", "", "", "", ""}));
    EXPECT_EQ(tab.selectedRow(), -1);
    ASSERT_EQ(log.entries().size(), 1u);
    EXPECT_EQ(log.entries()[0].arguments.at(0).toInt(), -1);
    EXPECT_FALSE(controller().modHotKeyMenu()->isEnabled());

    // Without a selection the command does nothing even when asked directly.
    emit hub.ModHotKey2FFByMenu();
    EXPECT_FALSE(hotKeys().isOpen());

    tab.table()->selectRow(8);
    EXPECT_TRUE(controller().modHotKeyMenu()->isEnabled());
    controller().modHotKeyMenu()->trigger();
    ASSERT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().tableKbn(), 'F');
    EXPECT_EQ(hotKeys().selectedRow(), 8);
    ASSERT_EQ(hotKeys().itemModel().items().size(), 1);
    EXPECT_EQ(hotKeys().itemModel().index(0, 0).data().toString(), QStringLiteral("Copy to..."));
    // The row shows the file manager's icon, as the tab does, not the icon of a missing path.
    const auto picture = [](const QModelIndex& index) {
        return index.data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    };
    const QImage panelIcon = picture(hotKeys().itemModel().index(0, 0));
    EXPECT_FALSE(panelIcon.isNull());
    EXPECT_EQ(panelIcon, picture(tab.model().index(8, 1)));
    EXPECT_TRUE(hotKeys().resetPushButton()->isVisibleTo(hotKeys().window()));

    // Choosing another function closes the panel opened for this one.
    tab.table()->selectRow(9);
    EXPECT_FALSE(hotKeys().isOpen());
    tab.table()->clearSelection();
    EXPECT_FALSE(controller().modHotKeyMenu()->isEnabled());
}

TEST_F(FinderFunctionTab, AnAssignedKeyShowsInPlaceAndAResetOneLeavesTheDataFile) {
    FFController& tab = window().finderFunctionTab();
    window().tabView()->setCurrentIndex(1);
    tab.table()->selectRow(6);
    controller().modHotKeyMenu()->trigger();
    pressKey(test::kEvdevG, Qt::MetaModifier, Qt::Key_G);
    clickOk();

    EXPECT_EQ(keyParts(tab, 6), QStringList({"", "", "Super", "", "", "G"}));
    EXPECT_EQ(tab.selectedRow(), 6);
    EXPECT_TRUE(controller().modHotKeyMenu()->isEnabled());
    EXPECT_EQ(savedFinderKeys(world), (std::map<int, int>{{6, 23}}));
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));

    // The panel opens on the current combination; a second function gets another key.
    tab.table()->selectRow(0);
    controller().modHotKeyMenu()->trigger();
    pressKey(test::kEvdevA, Qt::MetaModifier, Qt::Key_A);
    clickOk();
    EXPECT_EQ(savedFinderKeys(world), (std::map<int, int>{{0, 1}, {6, 23}}));

    tab.table()->selectRow(6);
    controller().modHotKeyMenu()->trigger();
    EXPECT_EQ(hotKeys().displayField(HotKeyController::Key)->text(), QStringLiteral("G"));
    hotKeys().resetPushButton()->click();
    EXPECT_EQ(keyParts(tab, 6), QStringList({"", "", "", "", "", ""}));
    EXPECT_EQ(tab.selectedRow(), 6);
    EXPECT_EQ(savedFinderKeys(world), (std::map<int, int>{{0, 1}}));
    EXPECT_EQ(store().countHotKey(), 1);
    EXPECT_TRUE(alerts.allAnswered());
}

} // namespace
} // namespace presto
