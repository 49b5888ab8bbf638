#include "UiTestSupport.h"
#include "config/ui/Cells.h"
#include "config/ui/DropTableView.h"
#include "config/ui/TableModels.h"

#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <gtest/gtest.h>

namespace presto {
namespace {

using Drawer = test::UiWorld;

void openDrawer(NotificationHub& hub, const QStringList& paths, int row = 0) {
    emit hub.OpenDrawer(row, paths, nullptr);
}

// The arguments of a recorded "ChgSubItems".
QStringList sentPaths(const test::NotificationLog::Entry& entry) {
    return entry.arguments.at(0).toStringList();
}
int sentRow(const test::NotificationLog::Entry& entry) {
    return entry.arguments.at(1).toInt();
}

TEST_F(Drawer, AddingReportsThePathsListedAlreadyAndInsertsTheRestAtTheSelectedRow) {
    const QString a = file("A"), b = file("B"), c = file("C"), d = file("D");
    test::NotificationLog sent(hub, &NotificationHub::ChgSubItems);
    openDrawer(hub, {a, b});

    chooser.answer({a, c});
    alerts.answer("OK");
    drawer().addSubItemButton()->click();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, "This item is already on the list\nA\n");
    EXPECT_EQ(alerts.requests()[0].message, "This item will be added\nC\n");
    EXPECT_EQ(alerts.requests()[0].buttons, QStringList({"OK", "Cancel", "Retry"}));
    EXPECT_EQ(drawer().itemPaths(), QStringList({a, b, c}));

    // Two new paths at selected row 1 land there in reverse order.
    drawer().table()->selectRow(1);
    chooser.answer({d, file("E")});
    drawer().addSubItemButton()->click();
    EXPECT_EQ(drawer().itemPaths(), QStringList({a, file("E"), d, b, c}));
    EXPECT_EQ(drawer().table()->selectedRow(), -1);

    // Retry runs the chooser again; Cancel changes and sends nothing.
    chooser.answer({a});
    alerts.answer("Retry");
    chooser.answer({b});
    alerts.answer("Cancel");
    drawer().addSubItemButton()->click();
    EXPECT_TRUE(chooser.allAnswered());
    EXPECT_EQ(drawer().itemPaths().size(), 5);

    ASSERT_EQ(sent.entries().size(), 2u);
    EXPECT_EQ(sentRow(sent.entries().back()), 0);
    EXPECT_EQ(sentPaths(sent.entries().back()), drawer().itemPaths());
}

TEST_F(Drawer, DragsMoveOnlyTheFirstDraggedRowAndDroppedFilesAlwaysSendTheList) {
    const QStringList paths{file("first"), file("second"), file("third")};
    test::NotificationLog sent(hub, &NotificationHub::ChgSubItems);
    openDrawer(hub, paths);
    PathListModel& model = drawer().model();

    std::unique_ptr<QMimeData> drag(model.mimeData({model.index(0, 1)}));
    EXPECT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 2, 0, {}));
    EXPECT_EQ(drawer().itemPaths(), QStringList({paths[1], paths[0], paths[2]}));
    openDrawer(hub, paths);
    drag.reset(model.mimeData({model.index(2, 1)}));
    EXPECT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 0, 0, {}));
    EXPECT_EQ(drawer().itemPaths(), QStringList({paths[2], paths[0], paths[1]}));
    // Of several dragged rows the first (lowest) moves alone.
    drag.reset(model.mimeData({model.index(2, 1), model.index(1, 1)}));
    EXPECT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 0, 0, {}));
    EXPECT_EQ(drawer().itemPaths(), QStringList({paths[0], paths[2], paths[1]}));

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(paths[0]), QUrl::fromLocalFile(paths[2])});
    alerts.answer("OK");
    EXPECT_TRUE(model.dropMimeData(&files, Qt::CopyAction, 0, 0, {}));
    EXPECT_EQ(alerts.requests().back().title,
              "These items are already on the list\nfirst\nthird\n");
    EXPECT_TRUE(alerts.requests().back().message.isEmpty());
    EXPECT_EQ(sent.entries().size(), 4u);
    EXPECT_EQ(drawer().itemPaths().size(), 3);
}

TEST_F(Drawer, SortingOnTheNameColumnSetsTheLaunchOrder) {
    const QStringList paths{file("b"), file("c"), file("a")};
    test::NotificationLog sent(hub, &NotificationHub::ChgSubItems);
    openDrawer(hub, paths, 4);
    drawer().table()->selectRow(0);
    drawer().table()->horizontalHeader()->setSortIndicator(1, Qt::DescendingOrder);
    drawer().table()->horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder);
    EXPECT_EQ(drawer().itemPaths(), QStringList({paths[2], paths[0], paths[1]}));
    EXPECT_EQ(drawer().table()->selectedRow(), -1);
    EXPECT_FALSE(drawer().delSubItemButton()->isEnabled());
    ASSERT_FALSE(sent.entries().empty());
    EXPECT_EQ(sentRow(sent.entries().back()), 4);
}

TEST_F(Drawer, EditsReachTheDataFileAndTheDaemon) {
    const QStringList paths{file("x"), file("y"), file("z")};
    addLaunchHotKey({file("single")}, test::kMacA);
    addLaunchHotKey(paths, test::kMacG);
    showLaunchTable();
    window().show();
    launchTab().table()->selectRow(1);
    ASSERT_TRUE(drawer().isOpen());
    daemon.takeMessages();

    // Delete the middle path with the button, then the first through the menu command.
    drawer().table()->selectRow(1);
    EXPECT_TRUE(drawer().delSubItemButton()->isEnabled());
    drawer().delSubItemButton()->click();
    EXPECT_EQ(savedLaunchPaths().at(1), QStringList({paths[0], paths[2]}));
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));
    EXPECT_TRUE(drawer().isOpen());
    EXPECT_FALSE(launchTab().addItemButton()->isVisible());

    drawer().table()->selectRow(0);
    ASSERT_TRUE(controller().delItemMenu()->isEnabled());
    controller().delItemMenu()->trigger();
    EXPECT_EQ(savedLaunchPaths().at(1), QStringList({paths[2]}));
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));
    EXPECT_EQ(store().hotKeyItem(1)->kind(), kKindLaunch);
    EXPECT_EQ(store().hotKeyItem(1)->itemCount(), 1);
    // One path left: a plain row again.
    EXPECT_FALSE(drawer().isOpen());
    EXPECT_TRUE(launchTab().addItemButton()->isEnabled());
    EXPECT_EQ(launchTab().model().index(1, 1).data(kOtherItemCountRole).toInt(), 0);
}

} // namespace
} // namespace presto
