#include "config/installer/ModuleInstaller.h"

#include "InstallerTestSupport.h"
#include "config/installer/ModuleFiles.h"
#include "config/model/DataStore.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/RecordingInstallerServices.h"
#include "tests/support/ScriptedAlerts.h"
#include "tests/support/TempWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace presto {
namespace {

using test::readAll;
using test::writeFile;

const QString kDaemonUnit = QStringLiteral("com.nimbo.Presto.daemon.service");
const QString kKeysUnit = QStringLiteral("com.nimbo.Presto.keys.service");
const QString kUnits = kDaemonUnit + QLatin1Char(' ') + kKeysUnit;

// The installer over recording doubles. Its privileged commands really run, into a root folder
// of the test's own; the user's commands are only recorded.
class InstallerTest : public ::testing::Test {
protected:
    InstallerTest() {
        test::coreApplication();
        QDir().mkpath(root_);
        QDir().mkpath(temporary_);
        makeBundle(QStringLiteral("5.1.1"));
    }

    void makeBundle(const QString& version) {
        for (const char* name : {"PrestoKeys", "Presto.daemon", "PrestoAssist", "Presto",
                                 "PrestoKeysWayland", "PrestoHotKey", "PrestoClip"})
            writeFile(bundle_ + QLatin1Char('/') + QLatin1String(name),
                      "#!/bin/sh\n# @(#)" + QByteArray(name) + " " + version.toLatin1() + "\n",
                      true);
        writeFile(bundle_ + QStringLiteral("/com.nimbo.Presto.svg"), "<svg/>\n");
        for (const char* name : {"presto_nautilus.py", "presto_caja.py", "presto_nemo.py",
                                 "presto_thunar.py", "presto_windows.py", "presto_state.py"})
            writeFile(bundle_ + QStringLiteral("/filemanager/") + QLatin1String(name),
                      "# " + QByteArray(name) + "\n");
    }

    QString installed(const QString& path) const { return root_ + path; }

    // The log with the test's folders named R (root), B (bundle) and S (private staging folder).
    std::vector<QString> log() const {
        const QRegularExpression staging(QRegularExpression::escape(temporary_) +
                                         QStringLiteral("/Presto\\.[A-Za-z0-9]{6}/"));
        std::vector<QString> entries;
        for (QString entry : log_.entries()) {
            entry.replace(staging, QStringLiteral("S/"));
            entry.replace(root_, QStringLiteral("R"));
            entry.replace(bundle_ + QLatin1Char('/'), QStringLiteral("B/"));
            entries.push_back(entry);
        }
        return entries;
    }

    std::vector<QString> titles() const {
        std::vector<QString> result;
        for (const AlertRequest& request : alerts_.requests())
            result.push_back(request.title);
        return result;
    }

    // Installs once successfully and forgets what that recorded.
    void installFirst() {
        alerts_.answer(QStringLiteral("OK"));
        installer_.installPrst();
        ASSERT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
        log_.clear();
        alerts_ = test::ScriptedAlerts();
    }

    // The module paths, for the checks; the agent carries `version`.
    void plantModules(const QString& version) {
        writeFile(installed(QStringLiteral("/opt/Presto/PrestoKeys")),
                  QByteArray("\x7f"
                             "ELF") +
                      QByteArray(1, '\0') + "@(#)PrestoKeys " + version.toLatin1() +
                      QByteArray(1, '\0'),
                  true);
        for (const char* path :
             {"/opt/Presto/Presto.daemon", "/opt/Presto/PrestoAssist",
              "/etc/systemd/user/com.nimbo.Presto.keys.service",
              "/etc/xdg/autostart/com.nimbo.Presto.desktop",
              "/etc/systemd/user/com.nimbo.Presto.daemon.service", "/opt/Presto/PrestoKeysWayland",
              "/opt/Presto/PrestoHotKey", "/opt/Presto/PrestoClip"})
            writeFile(installed(QLatin1String(path)), "x");
    }

    test::TempWorld world_;
    const QString root_ = QString::fromStdString(world_.path("root"));
    const QString bundle_ = QString::fromStdString(world_.path("bundle"));
    const QString temporary_ = QString::fromStdString(world_.path("vartmp"));
    test::CommandLog log_;
    test::RecordingRunner user_{log_, QStringLiteral("user"), false};
    test::RecordingPrivilegedRunner admin_{log_};
    test::ScriptedAlerts alerts_;
    test::FakeProcessTable processes_;
    test::RecordingPause pause_{log_};
    test::FakeRequirement requirement_;
    ModuleInstaller installer_{{user_, admin_, alerts_, processes_, pause_, requirement_},
                               {bundle_, temporary_, root_}};
};

std::vector<QString> copies(const QString& staging) {
    const QString install = QStringLiteral("root: /usr/bin/install -T -m ");
    return {
        install + QStringLiteral("755 B/PrestoKeys R/opt/Presto/PrestoKeys"),
        install + QStringLiteral("755 B/Presto.daemon R/opt/Presto/Presto.daemon"),
        install + QStringLiteral("755 B/PrestoAssist R/opt/Presto/PrestoAssist"),
        install + QStringLiteral("755 B/PrestoKeysWayland R/opt/Presto/PrestoKeysWayland"),
        install + QStringLiteral("755 B/PrestoHotKey R/opt/Presto/PrestoHotKey"),
        install + QStringLiteral("755 B/PrestoClip R/opt/Presto/PrestoClip"),
        install + QStringLiteral("644 ") + staging +
            QStringLiteral("com.nimbo.Presto.desktop R/etc/xdg/autostart/com.nimbo.Presto.desktop"),
        install + QStringLiteral("644 ") + staging + kDaemonUnit +
            QStringLiteral(" R/etc/systemd/user/") + kDaemonUnit,
        install + QStringLiteral("644 ") + staging + kKeysUnit +
            QStringLiteral(" R/etc/systemd/user/") + kKeysUnit,
        install + QStringLiteral("755 B/Presto R/opt/Presto/Presto"),
        install + QStringLiteral("644 B/com.nimbo.Presto.svg R/opt/Presto/com.nimbo.Presto.svg"),
        install + QStringLiteral("644 B/com.nimbo.Presto.svg "
                                 "R/usr/share/icons/hicolor/scalable/apps/com.nimbo.Presto.svg"),
        install + QStringLiteral("644 ") + staging +
            QStringLiteral("com.nimbo.Presto.config.desktop "
                           "R/usr/share/applications/com.nimbo.Presto.config.desktop"),
    };
}

// The file managers' extensions, after the other copies.
std::vector<QString> extensions() {
    const QString mkdir = QStringLiteral("root: /usr/bin/mkdir -p R/usr/share/");
    const QString install = QStringLiteral("root: /usr/bin/install -T -m 644 B/filemanager/");
    std::vector<QString> commands;
    for (const char* binding : {"nautilus", "caja", "nemo", "thunarx"})
        commands.push_back(mkdir + QLatin1String(binding) + QStringLiteral("-python/extensions/"));
    const auto add = [&](const QString& binding, const QString& name) {
        commands.push_back(install + name + QStringLiteral(" R/usr/share/") + binding +
                           QStringLiteral("-python/extensions/") + name);
    };
    add(QStringLiteral("nautilus"), QStringLiteral("presto_nautilus.py"));
    add(QStringLiteral("nautilus"), QStringLiteral("presto_state.py"));
    for (const char* binding : {"caja", "nemo", "thunarx"}) {
        const QString manager = QString::fromLatin1(binding).remove(QLatin1Char('x'));
        add(QLatin1String(binding), QStringLiteral("presto_") + manager + QStringLiteral(".py"));
        add(QLatin1String(binding), QStringLiteral("presto_windows.py"));
        add(QLatin1String(binding), QStringLiteral("presto_state.py"));
    }
    return commands;
}

// Every installed extension, as the log names it.
QStringList extensionTargets() {
    QStringList targets;
    for (const modules::ExtensionFile& extension : modules::kExtensionFiles)
        targets << QStringLiteral("R") + QLatin1String(extension.folder) +
                       QLatin1String(extension.name);
    return targets;
}

std::vector<QString> loading() {
    return {
        QStringLiteral("wait 2"),
        QStringLiteral("root: /usr/bin/systemctl --global --root=R enable ") + kUnits,
        QStringLiteral("wait 2"),
        QStringLiteral("user: /usr/bin/systemctl --user daemon-reload"),
        QStringLiteral("user: /usr/bin/systemctl --user start ") + kUnits,
        QStringLiteral("wait 2"),
        QStringLiteral("release"),
    };
}

std::vector<QString> joined(std::initializer_list<std::vector<QString>> parts) {
    std::vector<QString> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(InstallerTest, FirstInstallationMakesTheFoldersCopiesEverythingAndEnablesBothUnits) {
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    const QString mkdir = QStringLiteral("root: /usr/bin/mkdir -p ");
    EXPECT_EQ(log(), joined({{QStringLiteral("authorize"), mkdir + QStringLiteral("R/opt/Presto/"),
                              mkdir + QStringLiteral("R/etc/systemd/user/"),
                              mkdir + QStringLiteral("R/etc/xdg/autostart/"),
                              mkdir + QStringLiteral("R/usr/share/applications/"),
                              mkdir + QStringLiteral("R/usr/share/icons/hicolor/scalable/apps/")},
                             copies(QStringLiteral("S/")),
                             extensions(),
                             loading()}));
    ASSERT_EQ(alerts_.requests().size(), 1u);
    const AlertRequest& done = alerts_.requests()[0];
    EXPECT_EQ(done.title, QStringLiteral("Installed successfully"));
    EXPECT_EQ(done.message, QStringLiteral("Congratulations!!"));
    EXPECT_EQ(done.buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(done.style, AlertStyle::Informational);

    EXPECT_TRUE(installer_.isFullInstalled());
    EXPECT_EQ(readAll(installed(QStringLiteral("/etc/systemd/user/")) + kDaemonUnit),
              QByteArray::fromStdString(modules::daemonUnitText()));
    EXPECT_EQ(readAll(installed(QStringLiteral("/etc/systemd/user/")) + kKeysUnit),
              QByteArray::fromStdString(modules::keysUnitText()));
    EXPECT_EQ(readAll(installed(QStringLiteral("/etc/xdg/autostart/com.nimbo.Presto.desktop"))),
              QByteArray::fromStdString(modules::autostartEntryText()));
    const QFileInfo agent(installed(QStringLiteral("/opt/Presto/PrestoKeys")));
    EXPECT_TRUE(agent.isExecutable());
    EXPECT_EQ(
        QFileInfo(installed(QStringLiteral("/etc/systemd/user/")) + kDaemonUnit).permissions() &
            QFile::ReadOther,
        QFile::ReadOther);
    for (const QString& unit : {kDaemonUnit, kKeysUnit})
        EXPECT_EQ(QFileInfo(installed(QStringLiteral(
                                "/etc/systemd/user/graphical-session.target.wants/")) +
                            unit)
                      .symLinkTarget(),
                  QStringLiteral("/etc/systemd/user/") + unit);
    // The private staging folder is gone again.
    EXPECT_TRUE(QDir(temporary_).isEmpty());
    for (const modules::ExtensionFile& extension : modules::kExtensionFiles)
        EXPECT_EQ(
            readAll(installed(QLatin1String(extension.folder)) + QLatin1String(extension.name)),
            "# " + QByteArray(extension.name) + "\n")
            << extension.folder << extension.name;
}

TEST_F(InstallerTest, ExtensionsMissingInTheBundleAreSkippedQuietly) {
    // Without Nautilus' own file and the shared state, its folder gets nothing and is not made.
    QFile::remove(bundle_ + QStringLiteral("/filemanager/presto_nautilus.py"));
    QFile::remove(bundle_ + QStringLiteral("/filemanager/presto_state.py"));
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
    std::vector<QString> expected;
    for (const QString& entry : extensions())
        if (!entry.contains(QStringLiteral("nautilus")) &&
            !entry.contains(QStringLiteral("presto_state.py")))
            expected.push_back(entry);
    std::vector<QString> recorded;
    for (const QString& entry : log())
        if (entry.contains(QStringLiteral("-python/")))
            recorded.push_back(entry);
    EXPECT_EQ(recorded, expected);
    EXPECT_FALSE(QFileInfo::exists(installed(QStringLiteral("/usr/share/nautilus-python"))));
    EXPECT_TRUE(QFileInfo::exists(
        installed(QStringLiteral("/usr/share/nemo-python/extensions/presto_windows.py"))));

    // A bundle without any of them installs exactly what it did before they existed.
    QDir(bundle_ + QStringLiteral("/filemanager")).removeRecursively();
    log_.clear();
    alerts_ = test::ScriptedAlerts();
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();
    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("-python/"))) << entry.toStdString();
}

TEST_F(InstallerTest, ReinstallingWhileTheAssistantRunsStopsAndRemovesTheOldModulesFirst) {
    installFirst();
    processes_.addProcess("PrestoAssist", 4242);
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    EXPECT_EQ(
        log(),
        joined({{QStringLiteral("authorize"),
                 QStringLiteral("user: /usr/bin/systemctl --user stop ") + kUnits,
                 QStringLiteral("root: /usr/bin/systemctl --global --root=R disable ") + kUnits,
                 QStringLiteral("root: /usr/bin/rm -f R/opt/Presto/PrestoKeys"),
                 QStringLiteral("root: /usr/bin/rm -f R/opt/Presto/PrestoAssist")},
                copies(QStringLiteral("S/")),
                extensions(),
                loading()}));
    EXPECT_EQ(processes_.kills(), std::vector<pid_t>{4242});
    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
    EXPECT_TRUE(installer_.isFullInstalled());
}

TEST_F(InstallerTest, ReinstallingFromTheInstalledFolderKeepsItsPrograms) {
    installFirst();
    ModuleInstaller fromInstalled({user_, admin_, alerts_, processes_, pause_, requirement_},
                                  {installed(QStringLiteral("/opt/Presto")), temporary_, root_});
    alerts_.answer(QStringLiteral("OK"));
    fromInstalled.installPrst();

    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("R/opt/Presto/Presto")) &&
                     !entry.contains(QStringLiteral("systemctl")))
            << entry.toStdString();
    EXPECT_EQ(readAll(installed(QStringLiteral("/opt/Presto/PrestoKeys"))),
              readAll(bundle_ + QStringLiteral("/PrestoKeys")));
    EXPECT_TRUE(fromInstalled.isFullInstalled());
}

TEST_F(InstallerTest, ReinstallingWithoutAnInstalledAgentRunsNoStopOrDisable) {
    installFirst();
    QFile::remove(installed(QStringLiteral("/opt/Presto/PrestoKeys")));
    QFile::remove(installed(QStringLiteral("/opt/Presto/PrestoAssist")));
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    EXPECT_EQ(log(), joined({{QStringLiteral("authorize")},
                             copies(QStringLiteral("S/")),
                             extensions(),
                             loading()}));
    EXPECT_TRUE(processes_.kills().empty());
}

TEST_F(InstallerTest, AMissingModuleInTheBundleIsNamedAndNothingIsEnabled) {
    QFile::remove(bundle_ + QStringLiteral("/Presto.daemon"));
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("Failed to copy these files"));
    EXPECT_EQ(alerts_.requests()[0].message, QStringLiteral("Presto.daemon"));
    EXPECT_EQ(alerts_.requests()[0].buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(alerts_.requests()[0].style, AlertStyle::Critical);
    EXPECT_EQ(log().back(), QStringLiteral("release"));
    EXPECT_EQ(log()[log().size() - 2], QStringLiteral("wait 2"));
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("systemctl"))) << entry.toStdString();
    EXPECT_FALSE(QFileInfo::exists(
        installed(QStringLiteral("/etc/systemd/user/graphical-session.target.wants"))));
}

TEST_F(InstallerTest, TwoMissingCopiesAreNamedInOrderJoinedByOneComma) {
    QFile::remove(bundle_ + QStringLiteral("/PrestoKeys"));
    // The autostart entry's copy cannot start.
    admin_.commands().addRule(QStringLiteral("/etc/xdg/autostart/com.nimbo.Presto.desktop"),
                              {false, 127});
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].message, QStringLiteral("PrestoKeys,com.nimbo.Presto.desktop"));
}

TEST_F(InstallerTest, MissingHelpersAreNamedAfterTheModulesAndNothingIsEnabled) {
    QFile::remove(bundle_ + QStringLiteral("/PrestoClip"));
    QFile::remove(bundle_ + QStringLiteral("/PrestoKeysWayland"));
    QFile::remove(bundle_ + QStringLiteral("/Presto.daemon"));
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("Failed to copy these files"));
    EXPECT_EQ(alerts_.requests()[0].message,
              QStringLiteral("Presto.daemon,PrestoKeysWayland,PrestoClip"));
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("systemctl"))) << entry.toStdString();
    EXPECT_TRUE(QFileInfo::exists(installed(QStringLiteral("/opt/Presto/PrestoHotKey"))));
}

TEST_F(InstallerTest, CancelledAuthorisationLeavesTheGeneratedFilesAndChangesNothingElse) {
    admin_.refuse();
    installer_.installPrst();

    EXPECT_EQ(log(), std::vector<QString>{QStringLiteral("authorize")});
    EXPECT_TRUE(alerts_.requests().empty());
    EXPECT_TRUE(QDir(root_).isEmpty());
    const QStringList staging = QDir(temporary_).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(staging.size(), 1);
    const QString folder = temporary_ + QLatin1Char('/') + staging.first();
    EXPECT_EQ(QFileInfo(folder).permissions() &
                  (QFile::ReadOther | QFile::ReadGroup | QFile::ExeOther | QFile::ExeGroup),
              QFile::Permissions());
    EXPECT_EQ(readAll(folder + QLatin1Char('/') + kDaemonUnit),
              QByteArray::fromStdString(modules::daemonUnitText()));
    EXPECT_EQ(readAll(folder + QLatin1Char('/') + kKeysUnit),
              QByteArray::fromStdString(modules::keysUnitText()));
    EXPECT_EQ(readAll(folder + QStringLiteral("/com.nimbo.Presto.desktop")),
              QByteArray::fromStdString(modules::autostartEntryText()));

    // The next installation makes a folder of its own.
    admin_.grant();
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();
    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
}

TEST_F(InstallerTest, RefusalsBeforeAnyCopy) {
    requirement_.value = false;
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.installPrst();
    EXPECT_TRUE(log().empty());
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title,
              QStringLiteral("Can not meet the system requirements for installation!!"));
    EXPECT_EQ(alerts_.requests()[0].message, QStringLiteral("Needs to Cancel"));

    requirement_.value = true;
    admin_.commands().addRule(QStringLiteral("mkdir -p ") + installed(QStringLiteral("/etc/")),
                              {true, 1});
    alerts_ = test::ScriptedAlerts();
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.installPrst();
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("mkdir was unsuccessful"));
    EXPECT_EQ(alerts_.requests()[0].message, installed(QStringLiteral("/etc/systemd/user/")));
    EXPECT_EQ(log().back(), QStringLiteral("release"));
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("install -T"))) << entry.toStdString();
}

TEST_F(InstallerTest, AFailingLoadIsReportedAndTheCopiesStay) {
    user_.addRule(QStringLiteral("--user start"), {true, 1});
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.installPrst();
    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Failed to install")});
    EXPECT_TRUE(installer_.isFullInstalled());
}

TEST_F(InstallerTest, UninstallingNothingSaysSo) {
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.unInstallPrst();
    EXPECT_TRUE(log().empty());
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("Presto is not installed!"));
    EXPECT_EQ(alerts_.requests()[0].message, QStringLiteral("No need to uninstall"));
    EXPECT_EQ(alerts_.requests()[0].buttons, QStringList{QStringLiteral("Cancel")});
}

TEST_F(InstallerTest, UninstallStopsDisablesAndRemovesEverythingButTheUsersData) {
    const std::string dataFile = world_.locations().dataFilePath();
    world_.writeFile(dataFile.substr(world_.root().size() + 1), "0511Prst");
    installFirst();
    // Another extension in a folder we install into is the binding's, not ours.
    const QString other = installed(QStringLiteral("/usr/share/nemo-python/extensions/other.py"));
    writeFile(other, "other\n");
    processes_.addProcess("PrestoAssist", 77);
    alerts_.answer(QStringLiteral("OK"));
    installer_.unInstallPrst();

    EXPECT_EQ(
        log(),
        (std::vector<QString>{
            QStringLiteral("authorize"),
            QStringLiteral("user: /usr/bin/systemctl --user stop ") + kUnits,
            QStringLiteral("root: /usr/bin/systemctl --global --root=R disable ") + kUnits,
            QStringLiteral("wait 3"),
            QStringLiteral("root: /usr/bin/rm -Rf R/opt/Presto/"),
            QStringLiteral("root: /usr/bin/rm -f R/etc/systemd/user/") + kDaemonUnit +
                QStringLiteral(" R/etc/systemd/user/") + kKeysUnit +
                QStringLiteral(" R/etc/xdg/autostart/com.nimbo.Presto.desktop "
                               "R/usr/share/applications/com.nimbo.Presto.config.desktop "
                               "R/usr/share/icons/hicolor/scalable/apps/com.nimbo.Presto.svg"),
            QStringLiteral("root: /usr/bin/rm -f ") + extensionTargets().join(QLatin1Char(' ')),
            QStringLiteral("release"),
        }));
    EXPECT_EQ(processes_.kills(), std::vector<pid_t>{77});
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("UnInstallation was finished"));
    EXPECT_EQ(alerts_.requests()[0].message, QString());
    EXPECT_FALSE(installer_.isPartialInstalled());
    // Only the emptied folders and the other extension are left.
    for (const QString& path : test::treeOf(root_))
        EXPECT_TRUE(path.endsWith(QLatin1Char('/')) ||
                    path == QStringLiteral("usr/share/nemo-python/extensions/other.py"))
            << path.toStdString();
    EXPECT_EQ(readAll(other), QByteArray("other\n"));
    EXPECT_EQ(readAll(QString::fromStdString(dataFile)), QByteArray("0511Prst"));
}

TEST_F(InstallerTest, UnloadCommandsThatCannotStartRemoveNothing) {
    installFirst();
    user_.addRule(QStringLiteral("--user stop"), {false, -1});
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.unInstallPrst();

    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Failed to unload")});
    EXPECT_EQ(alerts_.requests()[0].message, QStringLiteral("Needs to Cancel"));
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("/usr/bin/rm"))) << entry.toStdString();
    EXPECT_EQ(log().back(), QStringLiteral("release"));
    EXPECT_TRUE(installer_.isFullInstalled());
}

TEST_F(InstallerTest, CancelledUninstallChangesNothing) {
    installFirst();
    admin_.refuse();
    installer_.unInstallPrst();
    EXPECT_EQ(log(), std::vector<QString>{QStringLiteral("authorize")});
    EXPECT_TRUE(alerts_.requests().empty());
    EXPECT_TRUE(installer_.isFullInstalled());
}

TEST_F(InstallerTest, InstallationQueriesOverTheModulePaths) {
    EXPECT_FALSE(installer_.isFullInstalled());
    EXPECT_FALSE(installer_.isPartialInstalled());
    writeFile(installed(QStringLiteral("/opt/Presto/PrestoHotKey")), "x");
    EXPECT_TRUE(installer_.isPartialInstalled());
    plantModules(QStringLiteral("5.1.1"));
    EXPECT_TRUE(installer_.isFullInstalled());
    // An installation that lacks a helper is not whole.
    QFile::remove(installed(QStringLiteral("/opt/Presto/PrestoClip")));
    EXPECT_FALSE(installer_.isFullInstalled());
    EXPECT_TRUE(installer_.isPartialInstalled());
    writeFile(installed(QStringLiteral("/opt/Presto/PrestoClip")), "x");
    QFile::remove(installed(QStringLiteral("/etc/systemd/user/")) + kDaemonUnit);
    EXPECT_FALSE(installer_.isFullInstalled());
    EXPECT_TRUE(installer_.isPartialInstalled());
    // A dangling link is something installed, too.
    QFile::link(installed(QStringLiteral("/nowhere")),
                installed(QStringLiteral("/etc/systemd/user/")) + kDaemonUnit);
    EXPECT_TRUE(installer_.isFullInstalled());
}

// The module check at start.
struct CheckCase {
    const char* installedVersion; // nullptr: nothing installed; "partial": one module only
    const char* ownVersion;
    const char* title; // nullptr: no alert
    bool keepsRunning;
};

TEST_F(InstallerTest, ModuleCheckOutcomes) {
    const CheckCase cases[] = {
        {"5.1.1", "5.1.1", nullptr, true},
        {"10.0", "2.0", "The newer version modules has been installed.", false},
        {"2.0", "10.0", "The older version modules has been installed.", true},
        {"5.1.1", "5.1.2", "The older version modules has been installed.", true},
        {"partial", "5.1.1", "No part of the module is installed!", true},
        {nullptr, "5.1.1", "Presto's modules are not installed!", true},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(std::string(c.installedVersion ? c.installedVersion : "none") + " vs " +
                     c.ownVersion);
        QDir(root_).removeRecursively();
        QDir().mkpath(root_);
        if (c.installedVersion && std::string(c.installedVersion) == "partial")
            writeFile(installed(QStringLiteral("/opt/Presto/Presto.daemon")), "x");
        else if (c.installedVersion)
            plantModules(QLatin1String(c.installedVersion));
        alerts_ = test::ScriptedAlerts();
        if (c.title)
            alerts_.answer(c.keepsRunning ? QStringLiteral("Cancel") : QStringLiteral("OK"));
        log_.clear();

        EXPECT_EQ(installer_.checkModules(QLatin1String(c.ownVersion)), c.keepsRunning);
        if (!c.title) {
            EXPECT_TRUE(alerts_.requests().empty());
            continue;
        }
        ASSERT_EQ(alerts_.requests().size(), 1u);
        const AlertRequest& shown = alerts_.requests()[0];
        EXPECT_EQ(shown.title, QLatin1String(c.title));
        // Only a system without any module is a plain question, which may be declined for good.
        const bool nothingInstalled = !c.installedVersion;
        EXPECT_EQ(shown.style, nothingInstalled ? AlertStyle::Question : AlertStyle::Critical);
        EXPECT_EQ(shown.checkBox.isEmpty(), !nothingInstalled);
        if (c.keepsRunning) {
            EXPECT_EQ(shown.message, QStringLiteral("Do you want to install?"));
            EXPECT_EQ(shown.buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
        } else {
            EXPECT_EQ(shown.message, QStringLiteral("Use the latest Presto."));
            EXPECT_EQ(shown.buttons, QStringList{QStringLiteral("OK")});
        }
        // "Cancel" lets the application run without installing.
        EXPECT_TRUE(log().empty());
    }
}

TEST_F(InstallerTest, ModuleCheckInstallsOnOk) {
    alerts_.answer(QStringLiteral("OK"));
    alerts_.answer(QStringLiteral("OK"));
    EXPECT_TRUE(installer_.checkModules(QStringLiteral("5.1.1")));
    EXPECT_EQ(titles(), (std::vector<QString>{QStringLiteral("Presto's modules are not installed!"),
                                              QStringLiteral("Installed successfully")}));
    // The installed agent now carries the bundle's version: no alert at the next start.
    alerts_ = test::ScriptedAlerts();
    EXPECT_TRUE(installer_.checkModules(QStringLiteral("5.1.1")));
    EXPECT_TRUE(alerts_.requests().empty());
}

TEST(VersionOrder, DottedNumbersComparePartByPart) {
    EXPECT_LT(ModuleInstaller::compareVersions(QStringLiteral("2.0"), QStringLiteral("10.0")), 0);
    EXPECT_GT(ModuleInstaller::compareVersions(QStringLiteral("10.0"), QStringLiteral("2.0")), 0);
    EXPECT_EQ(ModuleInstaller::compareVersions(QStringLiteral("5.1"), QStringLiteral("5.1.0")), 0);
    EXPECT_LT(ModuleInstaller::compareVersions(QStringLiteral("5.1.1"), QStringLiteral("5.1.10")),
              0);
    EXPECT_GT(ModuleInstaller::compareVersions(QStringLiteral("5.2"), QStringLiteral("5.1.9")), 0);
    EXPECT_LT(ModuleInstaller::compareVersions(QString(), QStringLiteral("0.1")), 0);
    EXPECT_LT(ModuleInstaller::compareVersions(QStringLiteral("1.0a"), QStringLiteral("1.0b")), 0);
}

// The agent this build installs carries its version, and the Wayland agent beside it no mark that
// could be taken for the agent's.
TEST(AgentVersion, TheBuiltAgentCarriesTheProjectVersion) {
    const QString bin = qEnvironmentVariable("PRESTO_BIN_DIR");
    EXPECT_EQ(ModuleInstaller::moduleVersion(bin + QStringLiteral("/PrestoKeys")),
              QStringLiteral(PRESTO_TEST_VERSION));
    EXPECT_EQ(ModuleInstaller::moduleVersion(bin + QStringLiteral("/PrestoKeysWayland")),
              QString());
    EXPECT_EQ(ModuleInstaller::moduleVersion(bin + QStringLiteral("/no-such-program")), QString());
}

class DeleteDataTest : public InstallerTest {
protected:
    DeleteDataTest() {
        dataFile_ = QString::fromStdString(world_.locations().dataFilePath());
        folder_ = QFileInfo(dataFile_).path();
    }
    QString dataFile_;
    QString folder_;
};

TEST_F(DeleteDataTest, RemovesTheWholeFolderAsTheUserAndEmptiesTheStore) {
    DataStore store(world_.locations(), alerts_);
    writeFile(dataFile_, "0511Prst");
    writeFile(folder_ + QStringLiteral("/PasteboardData/snap"), "snapshot");
    // Links inside lead out of the folder; what they point to stays.
    const QString outside = QString::fromStdString(world_.path("outside"));
    writeFile(outside + QStringLiteral("/keep"), "mine");
    QFile::link(outside, folder_ + QStringLiteral("/PasteboardData/linked-folder"));
    QFile::link(outside + QStringLiteral("/keep"), folder_ + QStringLiteral("/linked-file"));
    store.addHotKeyItem(std::make_unique<HotKeyItem>());
    int refreshed = 0;

    alerts_.answer(QStringLiteral("DELETE"));
    alerts_.answer(QStringLiteral("OK"));
    installer_.deleteData(store, [&] { ++refreshed; });

    ASSERT_EQ(alerts_.requests().size(), 2u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("Delete HotKey data?"));
    EXPECT_EQ(alerts_.requests()[0].message, QStringLiteral("delete ") + folder_ + "/");
    EXPECT_EQ(alerts_.requests()[0].buttons,
              (QStringList{QStringLiteral("Cancel"), QStringLiteral("DELETE")}));
    EXPECT_EQ(alerts_.requests()[1].title, QStringLiteral("HotKey data is deleted"));
    EXPECT_EQ(alerts_.requests()[1].message, QString());
    EXPECT_EQ(alerts_.requests()[1].style, AlertStyle::Informational);
    EXPECT_FALSE(QFileInfo::exists(folder_));
    EXPECT_EQ(readAll(outside + QStringLiteral("/keep")), QByteArray("mine"));
    EXPECT_EQ(store.countHotKeyItem(), 0);
    EXPECT_EQ(refreshed, 1);
    // No administrator rights were asked for.
    EXPECT_TRUE(log().empty());
}

TEST_F(DeleteDataTest, WithoutADataFileOrWhenCancelledNothingIsTouched) {
    DataStore store(world_.locations(), alerts_);
    int refreshed = 0;
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.deleteData(store, [&] { ++refreshed; });
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("HotKey data is not created"));
    EXPECT_EQ(alerts_.requests()[0].message, QStringLiteral("Needs to Cancel"));

    writeFile(dataFile_, "0511Prst");
    store.addHotKeyItem(std::make_unique<HotKeyItem>());
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.deleteData(store, [&] { ++refreshed; });
    EXPECT_EQ(alerts_.requests().size(), 2u);
    EXPECT_EQ(readAll(dataFile_), QByteArray("0511Prst"));
    EXPECT_EQ(store.countHotKeyItem(), 1);
    EXPECT_EQ(refreshed, 0);
}

TEST_F(DeleteDataTest, AFolderThatCannotBeRemovedIsReportedAndTheStoreEmptiedAllTheSame) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root removes files from a read-only folder";
    DataStore store(world_.locations(), alerts_);
    writeFile(dataFile_, "0511Prst");
    QFile::setPermissions(folder_, QFile::ReadOwner | QFile::ExeOwner);
    store.addHotKeyItem(std::make_unique<HotKeyItem>());
    alerts_.answer(QStringLiteral("DELETE"));
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.deleteData(store, {});
    QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(titles().back(), QStringLiteral("Delete failed"));
    EXPECT_EQ(store.countHotKeyItem(), 0);
}

} // namespace
} // namespace presto
