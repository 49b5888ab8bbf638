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
#include <sys/stat.h>

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
        makeBundle(QStringLiteral("5.1.1"));
    }

    void makeBundle(const QString& version) {
        for (const char* name : {"PrestoKeys", "Presto.daemon", "PrestoAssist", "Presto",
                                 "PrestoKeysWayland", "PrestoHotKey", "PrestoClip"})
            writeFile(bundle_ + QLatin1Char('/') + QLatin1String(name),
                      "#!/bin/sh\n# @(#)" + QByteArray(name) + " " + version.toLatin1() + "\n",
                      true);
        writeFile(bundle_ + QStringLiteral("/com.nimbo.Presto.svg"), "<svg/>\n");
        writeFile(bundle_ + QStringLiteral("/com.nimbo.Presto.metainfo.xml"), "<component/>\n");
        for (const char* page : modules::kManualPages)
            writeFile(bundle_ + QStringLiteral("/man/") + QLatin1String(page), page);
        // The real helper, which installs what lies beside it.
        const QString helper = bundle_ + QStringLiteral("/PrestoInstallHelper");
        QFile::remove(helper);
        QFile::copy(qEnvironmentVariable("PRESTO_BIN_DIR") + QStringLiteral("/PrestoInstallHelper"),
                    helper);
        for (const char* name : {"presto_nautilus.py", "presto_caja.py", "presto_nemo.py",
                                 "presto_thunar.py", "presto_windows.py", "presto_state.py"})
            writeFile(bundle_ + QStringLiteral("/filemanager/") + QLatin1String(name),
                      "# " + QByteArray(name) + "\n");
    }

    QString installed(const QString& path) const { return root_ + path; }

    // The log with the test's folders named R (root) and B (bundle).
    std::vector<QString> log() const {
        std::vector<QString> entries;
        for (QString entry : log_.entries()) {
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
        for (const char* path : {"/opt/Presto/Presto.daemon", "/opt/Presto/PrestoAssist",
                                 "/etc/systemd/user/com.nimbo.Presto.keys.service",
                                 "/etc/xdg/autostart/com.nimbo.Presto.desktop",
                                 "/etc/systemd/user/com.nimbo.Presto.daemon.service",
                                 "/opt/Presto/PrestoKeysWayland", "/opt/Presto/PrestoHotKey",
                                 "/opt/Presto/PrestoClip", "/opt/Presto/PrestoInstallHelper",
                                 "/usr/share/polkit-1/actions/com.nimbo.Presto.policy"})
            writeFile(installed(QLatin1String(path)), "x");
    }

    test::TempWorld world_;
    const QString root_ = QString::fromStdString(world_.path("root"));
    const QString bundle_ = QString::fromStdString(world_.path("bundle"));
    test::CommandLog log_;
    test::RecordingRunner user_{log_, QStringLiteral("user"), false};
    test::RecordingPrivilegedRunner admin_{log_};
    test::ScriptedAlerts alerts_;
    test::FakeProcessTable processes_;
    test::RecordingPause pause_{log_};
    test::FakeRequirement requirement_;
    test::FakePackageOwnership packages_;
    ModuleInstaller installer_{
        {user_, admin_, alerts_, processes_, pause_, requirement_, packages_}, {bundle_, root_}};
};

const QString kInstallHelper =
    QStringLiteral("authorize B/PrestoInstallHelper install --steps --root=R");

// The copies, in order, then the file managers' extensions.
std::vector<QString> copies() {
    std::vector<QString> requests;
    for (const char* name :
         {"PrestoKeys", "Presto.daemon", "PrestoAssist", "PrestoKeysWayland", "PrestoHotKey",
          "PrestoClip", "PrestoInstallHelper", "com.nimbo.Presto.desktop",
          "com.nimbo.Presto.daemon.service", "com.nimbo.Presto.keys.service", "Presto",
          "com.nimbo.Presto.svg", "com.nimbo.Presto.config.desktop", "com.nimbo.Presto.policy"})
        requests.push_back(QStringLiteral("root: copy ") + QLatin1String(name));
    for (const char* page : modules::kManualPages)
        requests.push_back(QStringLiteral("root: copy ") + QLatin1String(page));
    requests.push_back(QStringLiteral("root: copy com.nimbo.Presto.metainfo.xml"));
    requests.push_back(QStringLiteral("root: extensions"));
    return requests;
}

std::vector<QString> loading() {
    return {
        QStringLiteral("wait 2"),
        QStringLiteral("root: enable"),
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

    const QString mkdir = QStringLiteral("root: mkdir ");
    EXPECT_EQ(log(), joined({{kInstallHelper, mkdir + QStringLiteral("/opt/Presto/"),
                              mkdir + QStringLiteral("/etc/systemd/user/"),
                              mkdir + QStringLiteral("/etc/xdg/autostart/"),
                              mkdir + QStringLiteral("/usr/share/applications/"),
                              mkdir + QStringLiteral("/usr/share/icons/hicolor/scalable/apps/"),
                              mkdir + QStringLiteral("/usr/share/polkit-1/actions/"),
                              mkdir + QStringLiteral("/usr/share/man/man1/"),
                              mkdir + QStringLiteral("/usr/share/metainfo/")},
                             copies(),
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
    EXPECT_EQ(
        readAll(installed(QStringLiteral("/usr/share/polkit-1/actions/com.nimbo.Presto.policy"))),
        QByteArray::fromStdString(modules::policyText()));
    EXPECT_EQ(readAll(installed(QStringLiteral("/opt/Presto/PrestoInstallHelper"))),
              readAll(bundle_ + QStringLiteral("/PrestoInstallHelper")));
    for (const char* page : modules::kManualPages)
        EXPECT_EQ(readAll(installed(QStringLiteral("/usr/share/man/man1/")) + QLatin1String(page)),
                  QByteArray(page));
    EXPECT_EQ(
        readAll(installed(QStringLiteral("/usr/share/metainfo/com.nimbo.Presto.metainfo.xml"))),
        "<component/>\n");
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
    EXPECT_FALSE(QFileInfo::exists(installed(QStringLiteral("/usr/share/nautilus-python"))));
    EXPECT_FALSE(QFileInfo::exists(
        installed(QStringLiteral("/usr/share/caja-python/extensions/presto_state.py"))));
    EXPECT_TRUE(QFileInfo::exists(
        installed(QStringLiteral("/usr/share/nemo-python/extensions/presto_windows.py"))));

    // A bundle without any of them installs everything else all the same.
    QDir(bundle_ + QStringLiteral("/filemanager")).removeRecursively();
    QDir(installed(QStringLiteral("/usr/share/nemo-python"))).removeRecursively();
    alerts_ = test::ScriptedAlerts();
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();
    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
    EXPECT_FALSE(QFileInfo::exists(installed(QStringLiteral("/usr/share/nemo-python"))));
}

TEST_F(InstallerTest, ReinstallingWhileTheAssistantRunsStopsAndRemovesTheOldModulesFirst) {
    installFirst();
    processes_.addProcess("PrestoAssist", 4242);
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();

    EXPECT_EQ(
        log(),
        joined({{kInstallHelper, QStringLiteral("user: /usr/bin/systemctl --user stop ") + kUnits,
                 QStringLiteral("root: disable"), QStringLiteral("root: remove PrestoKeys"),
                 QStringLiteral("root: remove PrestoAssist")},
                copies(),
                loading()}));
    EXPECT_EQ(processes_.kills(), std::vector<pid_t>{4242});
    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
    EXPECT_TRUE(installer_.isFullInstalled());
}

TEST_F(InstallerTest, ReinstallingFromTheInstalledFolderKeepsItsPrograms) {
    installFirst();
    const auto inode = [&](const char* name) {
        struct stat st {};
        stat(QFile::encodeName(installed(QStringLiteral("/opt/Presto/")) + QLatin1String(name))
                 .constData(),
             &st);
        return st.st_ino;
    };
    const auto keys = inode("PrestoKeys"), assist = inode("PrestoAssist"), own = inode("Presto");
    ModuleInstaller fromInstalled(
        {user_, admin_, alerts_, processes_, pause_, requirement_, packages_},
        {installed(QStringLiteral("/opt/Presto")), root_});
    alerts_.answer(QStringLiteral("OK"));
    fromInstalled.installPrst();

    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Installed successfully")});
    EXPECT_EQ(
        log().front(),
        QStringLiteral("authorize R/opt/Presto/PrestoInstallHelper install --steps --root=R"));
    // Neither removed nor copied over themselves.
    EXPECT_EQ(inode("PrestoKeys"), keys);
    EXPECT_EQ(inode("PrestoAssist"), assist);
    EXPECT_EQ(inode("Presto"), own);
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

    EXPECT_EQ(log(), joined({{kInstallHelper}, copies(), loading()}));
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
    admin_.addRule(QStringLiteral("copy com.nimbo.Presto.desktop"), {false, 127});
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

// Rights not had: nothing changes, and the user learns why and what to run instead, except
// after cancelling the dialog, which ends the operation silently.
struct RefusalCase {
    Refusal refusal;
    const char* installTitle; // nullptr: no alert
    const char* uninstallTitle;
    bool namesCommand;
};

TEST_F(InstallerTest, RefusedRightsChangeNothingAndSayWhy) {
    const RefusalCase cases[] = {
        {Refusal::Dismissed, nullptr, nullptr, false},
        {Refusal::NotAuthorized, "Not authorised", "Not authorised", true},
        {Refusal::NoAgent, "No authentication agent is running",
         "No authentication agent is running", true},
        {Refusal::Failed, "Failed to install", "Uninstallation was failed", false},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.refusal));
        QDir(root_).removeRecursively();
        QDir().mkpath(root_);
        admin_.refuse(c.refusal);
        alerts_ = test::ScriptedAlerts();
        const QString dismiss =
            c.refusal == Refusal::Failed ? QStringLiteral("Cancel") : QStringLiteral("OK");
        if (c.installTitle)
            alerts_.answer(dismiss);
        log_.clear();
        installer_.installPrst();
        EXPECT_EQ(log(), std::vector<QString>{kInstallHelper});
        EXPECT_TRUE(QDir(root_).isEmpty());
        if (c.installTitle) {
            ASSERT_EQ(alerts_.requests().size(), 1u);
            EXPECT_EQ(alerts_.requests()[0].title, QLatin1String(c.installTitle));
            EXPECT_EQ(alerts_.requests()[0].style, AlertStyle::Critical);
            EXPECT_EQ(alerts_.requests()[0].message.contains(
                          QStringLiteral("sudo ") + bundle_ +
                          QStringLiteral("/PrestoInstallHelper install")),
                      c.namesCommand);
        } else {
            EXPECT_TRUE(alerts_.requests().empty());
        }

        // Uninstalling runs the installed helper, under Presto's own polkit action.
        admin_.grant();
        alerts_ = test::ScriptedAlerts();
        installFirst();
        const QStringList before = test::treeOf(root_);
        admin_.refuse(c.refusal);
        alerts_.answer(QStringLiteral("Uninstall"));
        if (c.uninstallTitle)
            alerts_.answer(dismiss);
        installer_.unInstallPrst();
        EXPECT_EQ(log(), std::vector<QString>{QStringLiteral(
                             "authorize R/opt/Presto/PrestoInstallHelper uninstall --steps "
                             "--root=R")});
        EXPECT_EQ(test::treeOf(root_), before);
        ASSERT_EQ(alerts_.requests().size(), c.uninstallTitle ? 2u : 1u);
        if (c.uninstallTitle) {
            EXPECT_EQ(alerts_.requests()[1].title, QLatin1String(c.uninstallTitle));
            EXPECT_EQ(alerts_.requests()[1].message.contains(
                          QStringLiteral("sudo ") + root_ +
                          QStringLiteral("/opt/Presto/PrestoInstallHelper uninstall")),
                      c.namesCommand);
        }
    }
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
    admin_.addRule(QStringLiteral("mkdir /etc/"), {true, 1});
    alerts_ = test::ScriptedAlerts();
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.installPrst();
    ASSERT_EQ(alerts_.requests().size(), 1u);
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("mkdir was unsuccessful"));
    EXPECT_EQ(alerts_.requests()[0].message, installed(QStringLiteral("/etc/systemd/user/")));
    EXPECT_EQ(log().back(), QStringLiteral("release"));
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("copy"))) << entry.toStdString();
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
    alerts_.answer(QStringLiteral("Uninstall"));
    alerts_.answer(QStringLiteral("OK"));
    installer_.unInstallPrst();

    EXPECT_EQ(log(), (std::vector<QString>{
                         QStringLiteral("authorize R/opt/Presto/PrestoInstallHelper uninstall "
                                        "--steps --root=R"),
                         QStringLiteral("user: /usr/bin/systemctl --user stop ") + kUnits,
                         QStringLiteral("root: disable"),
                         QStringLiteral("wait 3"),
                         QStringLiteral("root: remove-folder"),
                         QStringLiteral("root: remove-files"),
                         QStringLiteral("root: remove-extensions"),
                         QStringLiteral("release"),
                     }));
    EXPECT_EQ(processes_.kills(), std::vector<pid_t>{77});
    ASSERT_EQ(alerts_.requests().size(), 2u);
    // Asked first, Cancel the default.
    EXPECT_EQ(alerts_.requests()[0].title, QStringLiteral("Uninstall Presto?"));
    EXPECT_EQ(alerts_.requests()[0].buttons,
              (QStringList{QStringLiteral("Cancel"), QStringLiteral("Uninstall")}));
    EXPECT_EQ(alerts_.requests()[0].style, AlertStyle::Question);
    EXPECT_EQ(alerts_.requests()[1].title, QStringLiteral("UnInstallation was finished"));
    EXPECT_EQ(alerts_.requests()[1].message, QString());
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
    alerts_.answer(QStringLiteral("Uninstall"));
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.unInstallPrst();

    EXPECT_EQ(titles(), (std::vector<QString>{QStringLiteral("Uninstall Presto?"),
                                              QStringLiteral("Failed to unload")}));
    EXPECT_EQ(alerts_.requests()[1].message, QStringLiteral("Needs to Cancel"));
    for (const QString& entry : log())
        EXPECT_FALSE(entry.contains(QStringLiteral("remove"))) << entry.toStdString();
    EXPECT_EQ(log().back(), QStringLiteral("release"));
    EXPECT_TRUE(installer_.isFullInstalled());
}

TEST_F(InstallerTest, DecliningTheUninstallQuestionChangesNothing) {
    installFirst();
    alerts_.answer(QStringLiteral("Cancel"));
    installer_.unInstallPrst();
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(titles(), std::vector<QString>{QStringLiteral("Uninstall Presto?")});
    EXPECT_TRUE(installer_.isFullInstalled());
}

// After the copies: what the user's systemd made of the units decides the words.
struct LoadCase {
    const char* failing; // the command that fails, or nullptr
    CommandResult result;
    const char* title;
    const char* message; // a part of it
    AlertStyle style;
    bool started; // whether the start was asked for
};

TEST_F(InstallerTest, EachLoadOutcomeIsSaidInWords) {
    const QString noBus = QStringLiteral("Failed to connect to bus: No medium found");
    const LoadCase cases[] = {
        {nullptr,
         {},
         "Installed successfully",
         "Congratulations!!",
         AlertStyle::Informational,
         true},
        // Root, or a session without a user manager: installed and enabled all the same.
        {"daemon-reload",
         {true, 1, noBus},
         "Installed successfully",
         "Presto starts at the next login to the desktop. It could not be started now: no "
         "systemd user manager runs for ",
         AlertStyle::Informational,
         false},
        {"--user start",
         {true, 1, {}},
         "Failed to install",
         "Needs to Cancel",
         AlertStyle::Critical,
         true},
        {"root: enable",
         {true, 1, {}},
         "Failed to install",
         "Needs to Cancel",
         AlertStyle::Critical,
         true},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.failing ? c.failing : "none");
        QDir(root_).removeRecursively();
        QDir().mkpath(root_);
        test::RecordingRunner user(log_, QStringLiteral("user"), false);
        test::RecordingPrivilegedRunner admin(log_);
        if (c.failing && QString::fromLatin1(c.failing).startsWith(QStringLiteral("root: ")))
            admin.addRule(QString::fromLatin1(c.failing).mid(6), c.result);
        else if (c.failing)
            user.addRule(QLatin1String(c.failing), c.result);
        ModuleInstaller installer(
            {user, admin, alerts_, processes_, pause_, requirement_, packages_}, {bundle_, root_});
        alerts_ = test::ScriptedAlerts();
        alerts_.answer(c.style == AlertStyle::Critical ? QStringLiteral("Cancel")
                                                       : QStringLiteral("OK"));
        log_.clear();
        installer.installPrst();

        ASSERT_EQ(alerts_.requests().size(), 1u);
        EXPECT_EQ(alerts_.requests()[0].title, QLatin1String(c.title));
        EXPECT_TRUE(alerts_.requests()[0].message.contains(QString::fromUtf8(c.message)))
            << alerts_.requests()[0].message.toStdString();
        EXPECT_EQ(alerts_.requests()[0].style, c.style);
        const std::vector<QString> entries = log();
        EXPECT_EQ(std::count(entries.begin(), entries.end(),
                             QStringLiteral("user: /usr/bin/systemctl --user start ") + kUnits),
                  c.started ? 1 : 0);
        EXPECT_TRUE(installer.isFullInstalled());
        if (c.failing && std::string(c.failing) == "daemon-reload") {
            EXPECT_TRUE(alerts_.requests()[0].message.endsWith(QStringLiteral(" (") + noBus +
                                                               QStringLiteral(").")));
        }
    }
}

// Modules the package manager installed are its own: the application points to it and
// changes nothing, and at start counts them as installed.
TEST_F(InstallerTest, APackageInstallIsLeftToThePackageManager) {
    packages_.package = QStringLiteral("presto");
    alerts_.answer(QStringLiteral("OK"));
    installer_.installPrst();
    alerts_.answer(QStringLiteral("OK"));
    installer_.unInstallPrst();
    // Even when its files were deleted behind its back.
    plantModules(QStringLiteral("5.1.1"));
    const QStringList planted = test::treeOf(root_);
    alerts_.answer(QStringLiteral("OK"));
    installer_.unInstallPrst();

    EXPECT_TRUE(log().empty());
    EXPECT_EQ(test::treeOf(root_), planted);
    ASSERT_EQ(alerts_.requests().size(), 3u);
    for (const AlertRequest& shown : alerts_.requests()) {
        EXPECT_EQ(shown.title, QStringLiteral("Presto was installed with the package manager"));
        EXPECT_EQ(shown.style, AlertStyle::Informational);
    }
    EXPECT_TRUE(alerts_.requests()[0].message.contains(
        QStringLiteral("sudo apt-get install --reinstall presto")));
    EXPECT_TRUE(
        alerts_.requests()[1].message.contains(QStringLiteral("sudo apt-get remove presto")));
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
    const char* package = nullptr; // the package that owns the modules
};

TEST_F(InstallerTest, ModuleCheckOutcomes) {
    const CheckCase cases[] = {
        {"5.1.1", "5.1.1", nullptr, true},
        {"10.0", "2.0", "The newer version modules has been installed.", false},
        {"2.0", "10.0", "The older version modules has been installed.", true},
        {"5.1.1", "5.1.2", "The older version modules has been installed.", true},
        {"partial", "5.1.1", "No part of the module is installed!", true},
        {nullptr, "5.1.1", "Presto's modules are not installed!", true},
        // The package manager installs and updates a package install.
        {"5.1.1", "5.1.1", nullptr, true, "presto"},
        {"5.1.1", "5.1.2", nullptr, true, "presto"},
        {"partial", "5.1.1", nullptr, true, "presto"},
        {nullptr, "5.1.1", nullptr, true, "presto"},
        {"10.0", "2.0", "The newer version modules has been installed.", false, "presto"},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(std::string(c.installedVersion ? c.installedVersion : "none") + " vs " +
                     c.ownVersion + (c.package ? " packaged" : ""));
        packages_.package = c.package ? QLatin1String(c.package) : QString();
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
