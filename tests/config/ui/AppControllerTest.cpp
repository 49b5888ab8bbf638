#include "UiTestSupport.h"
#include "common/SnapshotFile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

namespace presto {
namespace {

using Application = test::UiWorld;

struct MenuState {
    bool add, del, addItem, delItem, addPbTitle, delPbTitle, modHotKey;
    bool operator==(const MenuState&) const = default;
};

std::ostream& operator<<(std::ostream& os, const MenuState& m) {
    return os << "add " << m.add << " del " << m.del << " addItem " << m.addItem << " delItem "
              << m.delItem << " addPbTitle " << m.addPbTitle << " delPbTitle " << m.delPbTitle
              << " modHotKey " << m.modHotKey;
}

MenuState menuState(const AppController& c) {
    return {c.addMenu()->isEnabled(),        c.delMenu()->isEnabled(),
            c.addItemMenu()->isEnabled(),    c.delItemMenu()->isEnabled(),
            c.addPbTitleMenu()->isEnabled(), c.delPbTitleMenu()->isEnabled(),
            c.modHotKeyMenu()->isEnabled()};
}

TEST(DataVersion, ADataFileOfANewerVersionStopsTheApplicationUntouched) {
    test::TempWorld world;
    test::application();
    for (const auto& [version, accepted] : std::vector<std::pair<std::string, bool>>{
             {"0512", false}, {"0511", true}, {"0510", true}}) {
        const std::string path = world.locations().dataFilePath();
        world.writeFile(path.substr(world.root().size() + 1), version + "Prst");
        NotificationHub hub;
        test::ScriptedAlerts alerts;
        if (!accepted)
            alerts.answer("OK");
        AppController controller(hub, alerts,
                                 std::make_unique<DataStore>(world.locations(), alerts));
        EXPECT_EQ(controller.versionAccepted(), accepted) << version;
        if (!accepted) {
            ASSERT_EQ(alerts.requests().size(), 1u);
            EXPECT_EQ(alerts.requests()[0].title,
                      QStringLiteral("The setting data version is newer than this."));
            EXPECT_EQ(alerts.requests()[0].message, QStringLiteral("Use the latest Presto."));
            QFile file(QString::fromStdString(path));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), QByteArray("0512Prst"));
        }
    }
    EXPECT_TRUE(AppController::checkVersion("0511", std::nullopt));
}

TEST_F(Application, StartsOnTheEmptyLaunchTableWithOnlyTheAddCommand) {
    EXPECT_EQ(window().tabView()->currentIndex(), 0);
    EXPECT_EQ(launchTab().model().rowCount(), 0);
    EXPECT_EQ(launchTab().dataStore(), &store());
    EXPECT_EQ(menuState(controller()), (MenuState{true, false, false, false, false, false, false}));
    // The add command reaches the Launch Item tab, which asks for the files.
    chooser.cancel();
    controller().addMenu()->trigger();
    ASSERT_EQ(chooser.requests().size(), 1u);
    EXPECT_EQ(chooser.requests()[0].title, QStringLiteral("Choose Item"));
    EXPECT_EQ(chooser.requests()[0].prompt, QStringLiteral("Choose"));
    EXPECT_FALSE(hotKeys().isOpen());
    alerts.answer("OK");
    controller().aboutMenu()->trigger();
    EXPECT_EQ(alerts.requests().back().message, QStringLiteral("Version 5.1.1 (5.1.1)"));
}

TEST_F(Application, AHundredHotKeysRefuseEveryCaptureWithSorry) {
    for (int i = 0; i < 99; ++i)
        addLaunchHotKey({file("f" + std::to_string(i))}, static_cast<std::uint16_t>(i),
                        kCommandBit | kShiftBit);
    showLaunchTable();

    // The 100th is stored and saved.
    openForNewLaunch({file("hundredth")}, -1);
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    clickOk();
    ASSERT_EQ(store().countHotKey(), 100);
    EXPECT_EQ(savedLaunchPaths().size(), 100u);
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));

    // A new one, a change of an existing launch hot key, a Finder function: all refused.
    alerts.answer("OK");
    openForNewLaunch({file("one more")}, 0);
    pressKey(test::kEvdevG, Qt::ControlModifier, Qt::Key_G);
    clickOk();
    alerts.answer("OK");
    openForChange(0);
    pressKey(test::kEvdevG, Qt::ControlModifier, Qt::Key_G);
    clickOk();
    ASSERT_EQ(alerts.requests().size(), 2u);
    for (const AlertRequest& request : alerts.requests()) {
        EXPECT_EQ(request.title, QStringLiteral("Sorry"));
        EXPECT_EQ(request.message, QStringLiteral("You can entry 100 HotKeys at the most"));
        EXPECT_EQ(request.style, AlertStyle::Critical);
    }
    EXPECT_EQ(store().countHotKey(), 100);
    EXPECT_EQ(store().hotKeyItem(0)->keyCode(), 0u);
    EXPECT_TRUE(daemon.takeMessages().empty());
}

TEST_F(Application, SwitchingTabsClosesDrawerAndPanelAndSetsTheTablesMenuState) {
    addLaunchHotKey({file("a"), file("b"), file("c")}, test::kMacA);
    showLaunchTable();
    launchTab().table()->selectRow(0);
    ASSERT_TRUE(drawer().isOpen());
    EXPECT_EQ(menuState(controller()), (MenuState{true, true, true, false, false, false, true}));
    drawer().table()->selectRow(1);
    EXPECT_TRUE(controller().delItemMenu()->isEnabled());
    controller().modHotKeyMenu()->trigger();
    ASSERT_TRUE(hotKeys().isOpen());
    EXPECT_EQ(hotKeys().tableKbn(), 'i');

    test::NotificationLog log(
        hub, &NotificationHub::CloseDrawer, &NotificationHub::ClosePbItemDrawer,
        &NotificationHub::CloseHK, &NotificationHub::ShowFFTableByTab,
        &NotificationHub::ShowPbItemTableByTab, &NotificationHub::ShowLaunchItemTableByTab);
    window().tabView()->setCurrentIndex(1);
    EXPECT_EQ(log.names(),
              test::signalNames(&NotificationHub::CloseDrawer, &NotificationHub::ClosePbItemDrawer,
                                &NotificationHub::CloseHK, &NotificationHub::ShowFFTableByTab));
    EXPECT_FALSE(drawer().isOpen());
    EXPECT_FALSE(hotKeys().isOpen());
    EXPECT_EQ(menuState(controller()),
              (MenuState{false, false, false, false, false, false, false}));
    emit hub.RowValueFromFF(3);
    EXPECT_EQ(menuState(controller()), (MenuState{false, false, false, false, false, false, true}));

    window().tabView()->setCurrentIndex(2);
    EXPECT_EQ(menuState(controller()), (MenuState{false, false, false, false, true, false, false}));
    emit hub.RowValueFromPbF(0);
    EXPECT_EQ(menuState(controller()), (MenuState{false, false, false, false, true, true, true}));

    log.clear();
    window().tabView()->setCurrentIndex(0);
    EXPECT_TRUE(log.names().contains(
        test::signalNames(&NotificationHub::ShowLaunchItemTableByTab).first()));
    EXPECT_EQ(launchTab().table()->selectedRow(), -1);
    EXPECT_EQ(menuState(controller()), (MenuState{true, false, false, false, false, false, false}));
}

TEST_F(Application, TheChangeCommandAsksTheSelectedTabsController) {
    test::NotificationLog log(hub, &NotificationHub::ModHotKey2LIByMenu,
                              &NotificationHub::ModHotKey2FFByMenu,
                              &NotificationHub::ModHotKey2PbFByMenu);
    for (int tab : {0, 1, 2, 0}) {
        window().tabView()->setCurrentIndex(tab);
        controller().modHotKey();
    }
    EXPECT_EQ(log.names(), test::signalNames(&NotificationHub::ModHotKey2LIByMenu,
                                             &NotificationHub::ModHotKey2FFByMenu,
                                             &NotificationHub::ModHotKey2PbFByMenu,
                                             &NotificationHub::ModHotKey2LIByMenu));
}

TEST_F(Application, AFinderFunctionsKeyIsStoredAndClearedOnlyOnItsOwnReset) {
    HotKeyFinderFunction& getPath = *store().hotKeyFinderFunction(6);
    QList<ItemPathName> finder{ItemPathName("/System/Library/CoreServices/Finder.app")};
    finder.first().setItemName(getPath.finderFunction().functionName());
    const auto request = [&] { emit hub.ModHotKey2HKFromFF('F', 6, finder, &getPath, &store()); };
    test::NotificationLog log(hub, &NotificationHub::ShowFFTable);
    request();
    EXPECT_TRUE(hotKeys().resetPushButton()->isVisibleTo(hotKeys().window()));
    pressKey(test::kEvdevG, Qt::ControlModifier, Qt::Key_G);
    clickOk();
    EXPECT_EQ(getPath.kind(), kKindFinder);
    EXPECT_EQ(getPath.finderItemNo(), 23);
    EXPECT_EQ(store().countHotKey(), 1);
    EXPECT_EQ(log.entries().size(), 1u);

    // A reset from the Launch Item tab is not the Finder function's.
    addLaunchHotKey({file("a")}, test::kMacA);
    openForChange(0);
    hotKeys().resetButton();
    EXPECT_EQ(store().countHotKey(), 2);

    request();
    hotKeys().resetPushButton()->click();
    EXPECT_EQ(store().countHotKey(), 1);
    EXPECT_NE(getPath.kind(), kKindFinder);
    EXPECT_EQ(log.entries().size(), 2u);
}

TEST_F(Application, ANewPasteboardHotKeyWritesItsSnapshotOrStaysInMemoryWithoutAFolder) {
    const auto openForSnapshot = [&](const QString& title) {
        emit hub.ShowHKFromPbF(title, QString(), QStringLiteral("public.utf8-plain-text"),
                               QByteArray("hello"), 'P', -1, &store());
    };
    // No snapshot folder yet: the user refuses to make it.
    openForSnapshot("Greeting");
    pressKey(test::kEvdevG, Qt::ControlModifier, Qt::Key_G);
    alerts.answer("Cancel");
    clickOk();
    ASSERT_EQ(store().countHotKeyPbItem(), 1);
    EXPECT_EQ(store().hotKeyPbItem(0)->pbTitle(), QStringLiteral("Greeting"));
    EXPECT_FALSE(QDir(store().savePbDataDir()).exists());
    EXPECT_TRUE(daemon.takeMessages().empty());

    openForSnapshot("Signature");
    pressKey(test::kEvdevA, Qt::ControlModifier, Qt::Key_A);
    alerts.answer("OK Make directory");
    alerts.answer("OK");
    clickOk();
    ASSERT_EQ(store().countHotKeyPbItem(), 2);
    const HotKeyPbItem& item = *store().hotKeyPbItem(1);
    EXPECT_EQ(item.kind(), kKindPasteboard);
    EXPECT_EQ(item.itemCount(), 1);
    const auto snapshot = readSnapshotFile(item.pbDataPath().toStdString());
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->type, "public.utf8-plain-text");
    EXPECT_EQ(std::string(snapshot->data.begin(), snapshot->data.end()), "hello");
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));
    EXPECT_TRUE(alerts.allAnswered());
}

TEST_F(Application, DeletingALaunchHotKeySavesBeforeTheTableIsShown) {
    addLaunchHotKey({file("a")}, test::kMacA);
    addLaunchHotKey({file("b")}, test::kMacG);
    showLaunchTable();
    daemon.takeMessages();
    std::vector<std::string> seenBeforeRefresh;
    QObject refresh;
    QObject::connect(&hub, &NotificationHub::ShowLaunchItemTable, &refresh,
                     [&](DataStore*) { seenBeforeRefresh = daemon.takeMessages(); });
    launchTab().table()->selectRow(0);
    controller().delMenu()->trigger();
    EXPECT_EQ(seenBeforeRefresh, std::vector<std::string>({"UPDTDATA"}));
    EXPECT_EQ(savedLaunchPaths(), std::vector<QStringList>({{file("b")}}));
    EXPECT_EQ(launchTab().model().rowCount(), 1);
}

TEST_F(Application, ClosingTheMainWindowSavesAndQuits) {
    addLaunchHotKey({file("kept")}, test::kMacA);
    window().show();
    QTimer::singleShot(0, &window(), [this] { window().close(); });
    // A hang here would mean the close did not quit; the watchdog ends the loop instead. It goes
    // with the window: left pending, it would write to this test's stack during a later one.
    bool watchdogFired = false;
    QTimer::singleShot(5000, &window(), [&] {
        watchdogFired = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(savedLaunchPaths(), std::vector<QStringList>({{file("kept")}}));
    EXPECT_EQ(daemon.takeMessages(), std::vector<std::string>({"UPDTDATA"}));
}

} // namespace
} // namespace presto
