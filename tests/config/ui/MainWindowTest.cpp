#include "UiTestSupport.h"
#include "config/ui/DaemonStatus.h"
#include "config/ui/FFController.h"
#include "config/ui/PbFController.h"
#include "config/ui/QtDialogs.h"
#include "tests/support/OtherUser.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace presto {
namespace {

using MainWindowUse = test::UiWorld;

QPoint rowCentre(QTableView* table, int row) {
    return table->visualRect(table->model()->index(row, 1)).center();
}

void doubleClickRow(QTableView* table, int row) {
    QApplication::processEvents();
    const QPoint at = rowCentre(table, row);
    ASSERT_TRUE(table->viewport()->rect().contains(at)) << at.x() << "," << at.y();
    // A double click is a press and release, then a second press that is the double click.
    QTest::mousePress(table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
}

TEST_F(MainWindowUse, DoubleClickingARowOfEachTabOpensTheCapturePanelForIt) {
    addLaunchHotKey({file("one")}, test::kMacA, kControlBit);
    addLaunchHotKey({file("two")}, test::kMacG, kControlBit);
    showLaunchTable();
    window().show();
    test::NotificationLog log(hub, &NotificationHub::ModHotKey2HKFromLI,
                              &NotificationHub::ModHotKey2HKFromFF);

    doubleClickRow(launchTab().table(), 1);
    ASSERT_EQ(log.names(), test::signalNames(&NotificationHub::ModHotKey2HKFromLI));
    // The launch row follows the table code.
    EXPECT_EQ(log.entries()[0].arguments.at(1).toInt(), 1);
    EXPECT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().tableKbn(), 'i');

    window().tabView()->setCurrentIndex(1);
    FFController& finder = window().finderFunctionTab();
    EXPECT_FALSE(finder.changeButton()->isEnabled());
    doubleClickRow(finder.table(), 2);
    EXPECT_EQ(log.names().last(), test::signalNames(&NotificationHub::ModHotKey2HKFromFF).first());
    EXPECT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().selectedRow(), 2);
    // The tab's own button does the same.
    EXPECT_TRUE(finder.changeButton()->isEnabled());
    hotKeys().cancelPushButton()->click();
    finder.changeButton()->click();
    EXPECT_TRUE(hotKeys().isOpen());
    window().hide();
}

TEST_F(MainWindowUse, TheDeleteKeyDeletesTheSelectedHotKeyAndReturnAddsOnlyFromTheButton) {
    addLaunchHotKey({file("one")}, test::kMacA, kControlBit);
    addLaunchHotKey({file("two")}, test::kMacG, kControlBit);
    showLaunchTable();
    window().show();
    DropTableView* table = launchTab().table();
    table->setFocus();

    // Nothing selected: Delete does nothing.
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(store().hotKeyItems().size(), 2u);
    table->setSelectedRow(0);
    QTest::keyClick(table, Qt::Key_Delete);
    ASSERT_EQ(store().hotKeyItems().size(), 1u);
    EXPECT_TRUE(store().hotKeyItem(0)->itemPaths().first().endsWith(QStringLiteral("two")));

    // Return in the table opens no file chooser (the chooser fails the test if asked).
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_TRUE(chooser.requests().empty());
    // On the focused Add button it does.
    chooser.cancel();
    launchTab().addButton()->setFocus();
    QTest::keyClick(launchTab().addButton(), Qt::Key_Return);
    EXPECT_EQ(chooser.requests().size(), 1u);
    window().hide();
}

TEST_F(MainWindowUse, DeleteIsTheDeleteCommandsShortcutAndTheDrawerKeepsItForItsPaths) {
    EXPECT_EQ(controller().delMenu()->shortcut(), QKeySequence(QKeySequence::Delete));
    EXPECT_EQ(controller().delPbTitleMenu()->shortcut(), QKeySequence(QKeySequence::Delete));
    addLaunchHotKey({file("one"), file("two"), file("three")}, test::kMacA, kControlBit);
    addLaunchHotKey({file("four")}, test::kMacG, kControlBit);
    showLaunchTable();
    window().show();
    window().activateWindow();
    QApplication::processEvents();

    // The group's drawer is open; Delete in its table takes one path, not the hot key.
    launchTab().table()->setSelectedRow(0);
    ASSERT_TRUE(drawer().isOpen());
    drawer().table()->setSelectedRow(1);
    drawer().table()->setFocus();
    QTest::keyClick(drawer().table(), Qt::Key_Delete);
    ASSERT_EQ(store().hotKeyItems().size(), 2u);
    EXPECT_EQ(store().hotKeyItem(0)->itemPaths().size(), 2);

    // Elsewhere in the window, Delete is the command for the selected hot key.
    launchTab().table()->setSelectedRow(1);
    window().tabView()->setFocus();
    QTest::keyClick(window().tabView(), Qt::Key_Delete);
    EXPECT_EQ(store().hotKeyItems().size(), 1u);
    window().hide();
}

TEST_F(MainWindowUse, TheEmptyLaunchTabSaysHowToAddTheFirstHotKey) {
    window().show();
    QLabel* hint = launchTab().emptyHint();
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().contains(QStringLiteral("New Launch HotKey")));
    EXPECT_TRUE(hint->text().contains(QStringLiteral("Ctrl+N")));
    EXPECT_TRUE(hint->text().contains(QStringLiteral("drop files")));
    addLaunchHotKey({file("one")}, test::kMacA, kControlBit);
    showLaunchTable();
    EXPECT_FALSE(hint->isVisible());
    window().hide();
}

TEST_F(MainWindowUse, TheDaemonLineComesWhenTheDaemonIsGoneAndSaysWhenItIsBack) {
    window().show();
    DaemonStatus& status = window().daemonStatus();
    EXPECT_FALSE(status.isVisible());
    bool running = false;
    int starts = 0;
    status.watch([&] { return running; },
                 [&] {
                     ++starts;
                     running = true;
                     return true;
                 },
                 60'000);
    EXPECT_TRUE(status.isVisible());
    EXPECT_TRUE(status.message()->text().contains(QStringLiteral("not running")));
    ASSERT_TRUE(status.startButton()->isVisible());

    status.startButton()->click();
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(status.message()->text().contains(QStringLiteral("running again")));
    EXPECT_FALSE(status.startButton()->isVisible());

    running = false;
    status.check();
    EXPECT_TRUE(status.startButton()->isVisible());
    EXPECT_TRUE(status.message()->text().contains(QStringLiteral("not running")));
    window().hide();
}

TEST(DaemonProbe, OnlyADaemonOfThisUserThatAnswersCounts) {
    test::application();
    test::TempWorld world;
    const QString path = QString::fromStdString(world.path("probe_socket"));
    EXPECT_FALSE(DaemonStatus::daemonAnswers(path)) << "nothing listens";
    {
        // Takes the request and never answers, as a hung daemon would.
        test::DaemonListener listener(path.toStdString());
        EXPECT_FALSE(DaemonStatus::daemonAnswers(path));
        EXPECT_EQ(listener.takeMessages(), std::vector<std::string>{std::string("GETVERS", 8)});
    }
    const auto other = test::OtherUser::find();
    if (!other)
        GTEST_SKIP() << test::kNeedsRoot;
    test::ForeignServer foreign(*other);
    ASSERT_TRUE(foreign.started());
    EXPECT_FALSE(DaemonStatus::daemonAnswers(QString::fromStdString(foreign.path())));
    EXPECT_EQ(foreign.connections(1), std::vector<std::uint32_t>{0}) << "another user heard us";
}

TEST(FileChooserFolder, QtsOwnDialogOpensAtHomeAndTakesFilesAndFoldersTogether) {
    test::application();
    test::TempWorld world;
    QtFileChooser chooser;
    QString shownAt;
    bool extended = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no file dialog";
            return;
        }
        shownAt = dialog->directory().absolutePath();
        const auto views = dialog->findChildren<QAbstractItemView*>();
        extended = !views.isEmpty() &&
                   std::all_of(views.begin(), views.end(), [](QAbstractItemView* view) {
                       return view->selectionMode() == QAbstractItemView::ExtendedSelection;
                   });
        dialog->reject();
    });
    EXPECT_EQ(chooser.choosePaths({QStringLiteral("Choose Item"), QStringLiteral("Choose")}),
              std::nullopt);
    EXPECT_EQ(shownAt, QDir::homePath());
    EXPECT_TRUE(extended);
}

TEST(FileChooserFolder, StartsAtHomeThenWhereTheLastChoiceWas) {
    test::application();
    QtFileChooser chooser;
    EXPECT_EQ(chooser.startFolder(), QDir::homePath());
    chooser.remember({QStringLiteral("/srv/music/track.ogg"), QStringLiteral("/srv/music/b.ogg")});
    EXPECT_EQ(chooser.startFolder(), QStringLiteral("/srv/music"));
    chooser.remember({});
    EXPECT_EQ(chooser.startFolder(), QStringLiteral("/srv/music"));
    chooser.remember({QStringLiteral("/opt/apps")});
    EXPECT_EQ(chooser.startFolder(), QStringLiteral("/opt"));
}

} // namespace
} // namespace presto
