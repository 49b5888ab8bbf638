#include "UiTestSupport.h"
#include "config/ui/Cells.h"
#include "config/ui/DropTableView.h"
#include "config/ui/TableModels.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <gtest/gtest.h>

namespace presto {
namespace {

using LaunchItemTab = test::UiWorld;

std::unique_ptr<QMimeData> fileDrag(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// A file manager's drag entering the table's viewport, moving to the point and dropping there.
void dropAt(DropTableView& table, const QMimeData& data, const QPoint& point,
            Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
    QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table.viewport(), &enter);
    QDragMoveEvent move(point, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table.viewport(), &move);
    QDropEvent drop(point, actions, &data, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    QApplication::sendEvent(table.viewport(), &drop);
    // Never a move: the file manager would delete what it dragged.
    if (actions & Qt::CopyAction) {
        EXPECT_TRUE(drop.isAccepted());
        EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    } else {
        EXPECT_FALSE(drop.isAccepted());
    }
}

QPoint middleOfRow(DropTableView& table, int row) {
    QCoreApplication::processEvents();
    return table.visualRect(table.model()->index(row, 1)).center();
}

QStringList firstPaths(const DataStore& store) {
    QStringList paths;
    for (const auto& item : store.hotKeyItems())
        paths.append(item->itemPaths().first());
    return paths;
}

TEST_F(LaunchItemTab, ThreeFilesDroppedOnRowTwoMakeAGroupThereAndOpenTheDrawer) {
    for (const char* name : {"a", "b", "c"})
        addLaunchHotKey({file(name)}, static_cast<std::uint16_t>(name[0]));
    showLaunchTable();
    window().show();
    const QStringList dropped{file("x.txt"), file("y.txt"), file("z.txt")};

    auto data = fileDrag(dropped);
    dropAt(*launchTab().table(), *data, middleOfRow(*launchTab().table(), 2));
    ASSERT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().tableKbn(), 'I');
    EXPECT_EQ(hotKeys().selectedRow(), 2);
    EXPECT_EQ(hotKeys().items(), dropped);

    pressKey(test::kEvdevG, Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_G);
    clickOk();
    ASSERT_EQ(store().countHotKeyItem(), 4);
    EXPECT_EQ(store().hotKeyItem(2)->itemPaths(), dropped);
    EXPECT_EQ(store().hotKeyItem(2)->kind(), kKindGroup);
    EXPECT_TRUE(drawer().isOpen());
    EXPECT_EQ(drawer().currentRow(), 2);
    EXPECT_EQ(drawer().itemPaths(), dropped);
    EXPECT_EQ(launchTab().model().index(2, 1).data(kOtherItemCountRole).toInt(), 2);
    EXPECT_EQ(savedLaunchPaths().at(2), dropped);
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));

    // Offered as a move only, the drag is refused; dropped below the last row, the same three
    // make a hot key at the end, and the drawer closes.
    const QPoint belowRows(10, launchTab().table()->viewport()->height() - 2);
    dropAt(*launchTab().table(), *data, belowRows, Qt::MoveAction);
    EXPECT_FALSE(hotKeys().isOpen());
    dropAt(*launchTab().table(), *data, belowRows);
    EXPECT_EQ(hotKeys().selectedRow(), -1);
    pressKey(test::kEvdevA, Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_A);
    clickOk();
    ASSERT_EQ(store().countHotKeyItem(), 5);
    EXPECT_EQ(store().hotKeyItem(4)->itemPaths(), dropped);
    EXPECT_FALSE(drawer().isOpen());
}

TEST_F(LaunchItemTab, AFileBoundAloneAlreadyIsQuestionedAndSeveralFilesNever) {
    const QString bound = file("bound.txt");
    addLaunchHotKey({bound}, test::kMacA);
    showLaunchTable();

    chooser.answer({bound});
    alerts.answer("Cancel");
    launchTab().addButton()->click();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, QStringLiteral("This item is already on the list"));
    EXPECT_EQ(alerts.requests()[0].message, QStringLiteral("bound.txt"));
    EXPECT_EQ(alerts.requests()[0].buttons, QStringList({"Retry", "Cancel"}));
    EXPECT_FALSE(hotKeys().isOpen());

    // Retry runs the chooser again; a group including the bound file goes straight on.
    chooser.answer({bound});
    alerts.answer("Retry");
    chooser.answer({bound, file("other.txt")});
    launchTab().addButton()->click();
    EXPECT_TRUE(chooser.allAnswered());
    EXPECT_EQ(alerts.requests().size(), 2u);
    ASSERT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().items(), QStringList({bound, file("other.txt")}));

    // Dropped alone, anything but Retry refuses the drop.
    hotKeys().cancelButton();
    alerts.answer("Cancel");
    auto data = fileDrag({bound});
    EXPECT_FALSE(launchTab().model().dropMimeData(data.get(), Qt::CopyAction, 0, 0, {}));
    EXPECT_FALSE(hotKeys().isOpen());
}

TEST_F(LaunchItemTab, SelectingAGroupOpensTheDrawerAndASinglePathOffersAddItem) {
    addLaunchHotKey({file("one")}, test::kMacA);
    addLaunchHotKey({file("g1"), file("g2"), file("g3")}, test::kMacG);
    showLaunchTable();
    window().show();

    launchTab().table()->selectRow(1);
    EXPECT_TRUE(drawer().isOpen());
    EXPECT_EQ(drawer().currentRow(), 1);
    EXPECT_EQ(drawer().itemPaths().size(), 3);
    EXPECT_FALSE(launchTab().addItemButton()->isVisible());
    EXPECT_TRUE(launchTab().delButton()->isEnabled());

    launchTab().table()->selectRow(0);
    EXPECT_FALSE(drawer().isOpen());
    EXPECT_TRUE(launchTab().addItemButton()->isVisible());
    EXPECT_TRUE(launchTab().addItemButton()->isEnabled());

    // Adding a path to the single-path hot key makes it a group shown in the drawer.
    chooser.answer({file("two")});
    launchTab().addItemButton()->click();
    EXPECT_EQ(store().hotKeyItem(0)->itemPaths(), QStringList({file("one"), file("two")}));
    EXPECT_TRUE(drawer().isOpen());
    EXPECT_FALSE(launchTab().addItemButton()->isVisible());
    EXPECT_EQ(savedLaunchPaths().at(0), QStringList({file("one"), file("two")}));
}

TEST_F(LaunchItemTab, RowDragsAndSortingReorderTheStoreAndTheNumbersFollow) {
    addLaunchHotKey({file("B")}, 2);
    addLaunchHotKey({file("A")}, 1);
    addLaunchHotKey({file("C")}, 3);
    showLaunchTable();
    LaunchItemModel& model = launchTab().model();

    std::unique_ptr<QMimeData> drag(model.mimeData({model.index(0, 1)}));
    EXPECT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 2, 0, {}));
    EXPECT_EQ(firstPaths(store()), QStringList({file("A"), file("B"), file("C")}));

    launchTab().table()->horizontalHeader()->setSortIndicator(1, Qt::DescendingOrder);
    EXPECT_EQ(firstPaths(store()), QStringList({file("C"), file("B"), file("A")}));
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("1"));
    EXPECT_EQ(model.index(2, 0).data().toString(), QStringLiteral("3"));
    EXPECT_EQ(model.index(0, 1).data().toString(), QStringLiteral("C"));
    EXPECT_EQ(launchTab().table()->selectedRow(), -1);
    // Reordering is saved with the next save, not at once.
    EXPECT_TRUE(daemon.takeMessages().empty());
}

TEST_F(LaunchItemTab, TheChangeCommandOpensThePanelWithTheSelectedHotKey) {
    addLaunchHotKey({file("a"), file("b")}, test::kMacA, kControlBit);
    showLaunchTable();
    launchTab().table()->selectRow(0);
    controller().modHotKeyMenu()->trigger();
    ASSERT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().tableKbn(), 'i');
    EXPECT_EQ(hotKeys().items(), QStringList({file("a"), file("b")}));
    EXPECT_EQ(hotKeys().displayField(HotKeyController::Control)->text(), QStringLiteral("Ctrl"));

    pressKey(test::kEvdevG, Qt::ControlModifier, Qt::Key_G);
    clickOk();
    EXPECT_EQ(store().hotKeyItem(0)->keyCode(), test::kMacG);
    EXPECT_EQ(store().hotKeyItem(0)->kind(), kKindGroup);
    EXPECT_EQ(store().hotKeyItem(0)->itemCount(), 2);
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));
}

} // namespace
} // namespace presto
