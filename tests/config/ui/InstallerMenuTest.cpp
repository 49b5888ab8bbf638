#include "UiTestSupport.h"
#include "common/PreferenceDomain.h"
#include "config/installer/ModuleInstaller.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/RecordingInstallerServices.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>

namespace presto {
namespace {

// The controller's Install, Uninstall and Delete-data commands and its module check, over the
// installer with recording services and a root folder of the test's own.
class InstallerMenus : public ::testing::Test {
protected:
    InstallerMenus() {
        QDir().mkpath(root_);
        controller_.setModuleInstaller(&installer_);
    }

    void writeFile(const QString& path, const QByteArray& content) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    test::TempWorld world_;
    // Before the controller's actions.
    QApplication& application_ = test::application();
    NotificationHub hub_;
    test::ScriptedAlerts alerts_;
    test::ScriptedChooser chooser_;
    test::DaemonListener daemon_{world_.locations().socketPath};
    AppController controller_{hub_, alerts_,
                              std::make_unique<DataStore>(world_.locations(), alerts_)};
    const QString root_ = QString::fromStdString(world_.path("root"));
    test::CommandLog log_;
    test::RecordingRunner user_{log_, QStringLiteral("user"), false};
    test::RecordingPrivilegedRunner admin_{log_};
    test::FakeProcessTable processes_;
    test::RecordingPause pause_{log_};
    test::FakeRequirement requirement_;
    test::FakePackageOwnership packages_;
    ModuleInstaller installer_{
        {user_, admin_, alerts_, processes_, pause_, requirement_, packages_},
        {QString::fromStdString(world_.path("bundle")), root_}};
};

TEST_F(InstallerMenus, DeleteDataEmptiesTheStoreAndRefreshesTheThreeTables) {
    const QString dataFile = QString::fromStdString(world_.locations().dataFilePath());
    writeFile(dataFile, "0511Prst");
    controller_.dataStore().addHotKeyItem(std::make_unique<HotKeyItem>());
    test::NotificationLog posted(hub_, &NotificationHub::ShowFFTable,
                                 &NotificationHub::ShowPbItemTable,
                                 &NotificationHub::ShowLaunchItemTable);
    alerts_.answer(QStringLiteral("DELETE"));
    alerts_.answer(QStringLiteral("OK"));
    controller_.deleteDataMenu()->trigger();

    EXPECT_EQ(posted.names(),
              test::signalNames(&NotificationHub::ShowFFTable, &NotificationHub::ShowPbItemTable,
                                &NotificationHub::ShowLaunchItemTable));
    for (const test::NotificationLog::Entry& entry : posted.entries())
        EXPECT_EQ(entry.arguments.at(0).value<DataStore*>(), &controller_.dataStore());
    EXPECT_EQ(controller_.dataStore().countHotKeyItem(), 0);
    EXPECT_FALSE(QFileInfo::exists(dataFile));
    EXPECT_TRUE(alerts_.allAnswered());
}

TEST_F(InstallerMenus, TheUninstallCommandReachesTheInstaller) {
    alerts_.answer(QStringLiteral("Cancel"));
    controller_.uninstallMenu()->trigger();
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("Presto is not installed!"));
    EXPECT_FALSE(controller_.installMenu()->text().isEmpty());
}

TEST_F(InstallerMenus, TheModuleQuestionCanBeDeclinedForGood) {
    const std::string domainFile = world_.locations().preferenceFile(kPrestoDomain);
    PreferenceDomain userDefaults(domainFile);
    controller_.setModuleInstaller(&installer_, &userDefaults);
    MainWindow window(hub_, alerts_, chooser_, controller_);
    alerts_.answer(QStringLiteral("Cancel"), true);
    controller_.awakeFromNib(window);
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].checkBox, QStringLiteral("Do not ask again"));
    EXPECT_EQ(PreferenceDomain(domainFile).getBool(kFlagAskToInstall), false);
    EXPECT_TRUE(log_.entries().empty());

    // The next start asks nothing; the menu still installs, whatever it then reports.
    struct Accepting : AlertPresenter {
        AlertAnswer ask(const AlertRequest& request) override {
            titles << request.title;
            return {0, false};
        }
        QStringList titles;
    } accepting;
    ModuleInstaller installer{
        {user_, admin_, accepting, processes_, pause_, requirement_, packages_},
        {QString::fromStdString(world_.path("bundle")), root_}};
    AppController next(hub_, alerts_, std::make_unique<DataStore>(world_.locations(), alerts_));
    PreferenceDomain nextDefaults(domainFile);
    next.setModuleInstaller(&installer, &nextDefaults);
    MainWindow nextWindow(hub_, alerts_, chooser_, next);
    next.awakeFromNib(nextWindow);
    EXPECT_TRUE(accepting.titles.isEmpty()) << accepting.titles.join(u'|').toStdString();
    next.installMenu()->trigger();
    // Every outcome of Install is told in an alert.
    EXPECT_FALSE(accepting.titles.isEmpty()) << "the Install command did nothing";
}

TEST_F(InstallerMenus, NewerInstalledModulesEndTheRunOnceItHasStarted) {
    writeFile(root_ + QStringLiteral("/opt/Presto/PrestoKeys"), "@(#)PrestoKeys 99.0");
    for (const char* path :
         {"/opt/Presto/Presto.daemon", "/opt/Presto/PrestoAssist",
          "/etc/systemd/user/com.nimbo.Presto.keys.service",
          "/etc/xdg/autostart/com.nimbo.Presto.desktop",
          "/etc/systemd/user/com.nimbo.Presto.daemon.service", "/opt/Presto/PrestoKeysWayland",
          "/opt/Presto/PrestoHotKey", "/opt/Presto/PrestoClip", "/opt/Presto/PrestoInstallHelper",
          "/usr/share/polkit-1/actions/com.nimbo.Presto.policy"})
        writeFile(root_ + QLatin1String(path), "x");
    MainWindow window(hub_, alerts_, chooser_, controller_);
    alerts_.answer(QStringLiteral("OK"));
    controller_.awakeFromNib(window);
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title,
              QStringLiteral("The newer version modules has been installed."));

    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    guard.start(60'000);
    QCoreApplication::exec();
    EXPECT_FALSE(timedOut) << "the application did not end";
}

} // namespace
} // namespace presto
