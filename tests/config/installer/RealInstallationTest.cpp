#include "InstallerTestSupport.h"
#include "config/installer/LinuxInstallerServices.h"
#include "config/installer/ModuleFiles.h"
#include "config/installer/ModuleInstaller.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/RecordingInstallerServices.h"
#include "tests/support/ScriptedAlerts.h"
#include "tests/support/TempWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

using test::readAll;

// A real installation with administrator rights into a root folder of the test's own, from the
// programs of this build. The user's systemd is never asked: those commands are only recorded.
class RealInstallation : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: installs with real administrator commands into a "
                            "temporary root folder";
        test::coreApplication();
        QDir().mkpath(root_);
        QDir().mkpath(bundle_);
        const QString bin = qEnvironmentVariable("PRESTO_BIN_DIR");
        for (const char* name : {"Presto.daemon", "PrestoKeys", "Presto", "com.nimbo.Presto.svg",
                                 "PrestoKeysWayland", "PrestoHotKey", "PrestoClip",
                                 "PrestoInstallHelper", "com.nimbo.Presto.metainfo.xml", "man"})
            ASSERT_TRUE(QFile::link(bin + QLatin1Char('/') + QLatin1String(name),
                                    bundle_ + QLatin1Char('/') + QLatin1String(name)))
                << name;
        // The file managers' extensions lie in a folder of their own beside the programs.
        QDir().mkpath(bundle_ + QStringLiteral("/filemanager"));
        for (const char* name : {"presto_nautilus.py", "presto_caja.py", "presto_nemo.py",
                                 "presto_thunar.py", "presto_windows.py", "presto_state.py"})
            ASSERT_TRUE(
                QFile::link(bin + QStringLiteral("/filemanager/") + QLatin1String(name),
                            bundle_ + QStringLiteral("/filemanager/") + QLatin1String(name)))
                << name;
        // The tray assistant is built where its sources are; elsewhere a stand-in takes its place.
        const QString assist = bin + QStringLiteral("/PrestoAssist");
        ASSERT_TRUE(QFile::link(QFileInfo::exists(assist) ? assist : QStringLiteral("/bin/true"),
                                bundle_ + QStringLiteral("/PrestoAssist")));
    }

    QString installed(const QString& path) const { return root_ + path; }

    void install() {
        alerts_.answer(QStringLiteral("OK"));
        installer_.installPrst();
        ASSERT_EQ(alerts_.requests().size(), 1u);
        ASSERT_EQ(alerts_.requests()[0].title, QStringLiteral("Installed successfully"))
            << alerts_.requests()[0].message.toStdString();
        alerts_ = test::ScriptedAlerts();
    }

    test::TempWorld world_;
    const QString root_ = QString::fromStdString(world_.path("root"));
    const QString bundle_ = QString::fromStdString(world_.path("bundle"));
    test::CommandLog log_;
    test::RecordingRunner user_{log_, QStringLiteral("user"), false};
    PkexecRunner admin_;
    test::ScriptedAlerts alerts_;
    test::FakeProcessTable processes_;
    test::RecordingPause pause_{log_};
    LinuxSystemRequirement requirement_;
    DpkgOwnership packages_;
    ModuleInstaller installer_{
        {user_, admin_, alerts_, processes_, pause_, requirement_, packages_}, {bundle_, root_}};
};

TEST_F(RealInstallation, InstallsTheLayoutEnablesTheUnitsAndUninstallsAllOfItButTheData) {
    const std::string dataFile = world_.locations().dataFilePath();
    world_.writeFile(dataFile.substr(world_.root().size() + 1), "0511Prst");
    const QString snapshot =
        QFileInfo(QString::fromStdString(dataFile)).path() + QStringLiteral("/PasteboardData/snap");
    test::writeFile(snapshot, "text");
    // A file manager's own extension, already in one of the folders the installer fills.
    const QString other =
        installed(QStringLiteral("/usr/share/thunarx-python/extensions/other_extension.py"));
    test::writeFile(other, "# not ours\n");
    install();

    for (const char* name :
         {"Presto.daemon", "PrestoKeys", "PrestoAssist", "Presto", "PrestoKeysWayland",
          "PrestoHotKey", "PrestoClip", "PrestoInstallHelper"}) {
        SCOPED_TRACE(name);
        const QString path = installed(QStringLiteral("/opt/Presto/")) + QLatin1String(name);
        struct stat st {};
        ASSERT_EQ(lstat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0755u);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(readAll(path), readAll(bundle_ + QLatin1Char('/') + QLatin1String(name)));
    }
    const std::pair<const char*, std::string> generated[] = {
        {"/etc/systemd/user/com.nimbo.Presto.daemon.service", modules::daemonUnitText()},
        {"/etc/systemd/user/com.nimbo.Presto.keys.service", modules::keysUnitText()},
        {"/etc/xdg/autostart/com.nimbo.Presto.desktop", modules::autostartEntryText()},
        {"/usr/share/applications/com.nimbo.Presto.config.desktop",
         modules::applicationEntryText()},
        {"/usr/share/polkit-1/actions/com.nimbo.Presto.policy", modules::policyText()},
    };
    for (const auto& [path, text] : generated) {
        SCOPED_TRACE(path);
        EXPECT_EQ(readAll(installed(QLatin1String(path))), QByteArray::fromStdString(text));
        struct stat st {};
        ASSERT_EQ(lstat(QFile::encodeName(installed(QLatin1String(path))).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0644u);
    }
    EXPECT_EQ(readAll(installed(
                  QStringLiteral("/usr/share/icons/hicolor/scalable/apps/com.nimbo.Presto.svg"))),
              readAll(bundle_ + QStringLiteral("/com.nimbo.Presto.svg")));
    // The manual pages and the software centres' description, as the build made them.
    QStringList documents{QStringLiteral("/usr/share/metainfo/com.nimbo.Presto.metainfo.xml")};
    for (const char* page : modules::kManualPages)
        documents << QStringLiteral("/usr/share/man/man1/") + QLatin1String(page);
    for (const QString& path : documents) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray built =
            readAll(bundle_ +
                    (path.contains(QStringLiteral("/man1/")) ? QStringLiteral("/man/")
                                                             : QStringLiteral("/")) +
                    QFileInfo(path).fileName());
        ASSERT_FALSE(built.isEmpty());
        EXPECT_EQ(readAll(installed(path)), built);
        EXPECT_EQ(QFileInfo(installed(path)).permissions() & QFile::ReadOther, QFile::ReadOther);
    }
    const QString wants =
        installed(QStringLiteral("/etc/systemd/user/graphical-session.target.wants/"));
    for (const char* unit : {"com.nimbo.Presto.daemon.service", "com.nimbo.Presto.keys.service"})
        EXPECT_EQ(QFileInfo(wants + QLatin1String(unit)).symLinkTarget(),
                  QStringLiteral("/etc/systemd/user/") + QLatin1String(unit));
    // The extensions, byte for byte as in the sources, where each binding looks for them.
    for (const modules::ExtensionFile& extension : modules::kExtensionFiles) {
        SCOPED_TRACE(std::string(extension.folder) + extension.name);
        const QString path =
            installed(QLatin1String(extension.folder)) + QLatin1String(extension.name);
        const QByteArray source =
            readAll(QStringLiteral(PRESTO_FILEMANAGER_DIR "/") + QLatin1String(extension.name));
        ASSERT_FALSE(source.isEmpty());
        EXPECT_EQ(readAll(path), source);
        struct stat st {};
        ASSERT_EQ(lstat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0644u);
    }

    // Started now from the installed programs, the configuration application is content.
    EXPECT_TRUE(installer_.checkModules(QStringLiteral(PRESTO_TEST_VERSION)));
    EXPECT_TRUE(alerts_.requests().empty());

    alerts_.answer(QStringLiteral("Uninstall"));
    alerts_.answer(QStringLiteral("OK"));
    installer_.unInstallPrst();
    ASSERT_EQ(alerts_.requests().size(), 2u);
    EXPECT_EQ(alerts_.requests()[1].title, QStringLiteral("UnInstallation was finished"));
    EXPECT_FALSE(installer_.isPartialInstalled());
    for (const QString& path : test::treeOf(root_))
        EXPECT_TRUE(path.endsWith(QLatin1Char('/')) ||
                    path ==
                        QStringLiteral("usr/share/thunarx-python/extensions/other_extension.py"))
            << "left behind: " << path.toStdString();
    EXPECT_EQ(readAll(other), QByteArray("# not ours\n"));
    EXPECT_EQ(readAll(QString::fromStdString(dataFile)), QByteArray("0511Prst"));
    EXPECT_EQ(readAll(snapshot), QByteArray("text"));
}

// What the no-agent alert tells the user to run: the helper alone, at a terminal, installs what
// the application installs, byte for byte, and removes it again.
TEST_F(RealInstallation, TheHelperAloneInstallsAndRemovesWhatTheApplicationDoes) {
    install();
    const QString alone = QString::fromStdString(world_.path("alone"));
    QDir().mkpath(alone);
    const QString helper =
        qEnvironmentVariable("PRESTO_BIN_DIR") + QStringLiteral("/PrestoInstallHelper");
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(helper, {QStringLiteral("install"), QStringLiteral("--root=") + alone});
    ASSERT_TRUE(run.waitForFinished(120'000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAll().toStdString();
    const QStringList tree = test::treeOf(root_);
    EXPECT_EQ(test::treeOf(alone), tree);
    for (const QString& path : tree) {
        SCOPED_TRACE(path.toStdString());
        const QFileInfo info(root_ + QLatin1Char('/') + path);
        if (info.isSymLink()) {
            EXPECT_EQ(QFileInfo(alone + QLatin1Char('/') + path).symLinkTarget(),
                      info.symLinkTarget());
        } else if (info.isFile()) {
            EXPECT_EQ(readAll(alone + QLatin1Char('/') + path), readAll(info.filePath()));
        }
    }

    run.start(helper, {QStringLiteral("uninstall"), QStringLiteral("--root=") + alone});
    ASSERT_TRUE(run.waitForFinished(120'000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAll().toStdString();
    for (const QString& path : test::treeOf(alone))
        EXPECT_TRUE(path.endsWith(QLatin1Char('/'))) << "left behind: " << path.toStdString();
}

// Called directly while dpkg's records hold the programs, the helper changes nothing: removed,
// the package's files and conffiles would be gone for good with dpkg still counting them.
TEST_F(RealInstallation, TheHelperLeavesAPackageInstallAlone) {
    const QString packaged = QString::fromStdString(world_.path("packaged"));
    const QString helper =
        qEnvironmentVariable("PRESTO_BIN_DIR") + QStringLiteral("/PrestoInstallHelper");
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(helper, {QStringLiteral("install"), QStringLiteral("--root=") + packaged});
    ASSERT_TRUE(run.waitForFinished(120'000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAll().toStdString();
    // dpkg's records of an installed presto package that holds the agent.
    const QString dpkg = packaged + QStringLiteral("/var/lib/dpkg/");
    QDir().mkpath(dpkg + QStringLiteral("info"));
    QDir().mkpath(dpkg + QStringLiteral("updates"));
    const std::pair<const char*, const char*> records[] = {
        {"status", "Package: presto\nStatus: install ok installed\nVersion: 1\n"
                   "Architecture: all\nMaintainer: A <a@example.org>\nDescription: d\n\n"},
        {"info/presto.list", "/.\n/opt\n/opt/Presto\n/opt/Presto/PrestoKeys\n"}};
    for (const auto& [name, text] : records) {
        QFile file(dpkg + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    const QStringList tree = test::treeOf(packaged);

    for (const char* operation : {"uninstall", "install"}) {
        for (const bool steps : {false, true}) {
            SCOPED_TRACE(std::string(operation) + (steps ? " --steps" : ""));
            QStringList arguments{QLatin1String(operation), QStringLiteral("--root=") + packaged};
            if (steps)
                arguments << QStringLiteral("--steps");
            run.start(helper, arguments);
            run.write(operation == std::string("install") ? "remove PrestoKeys\n"
                                                          : "remove-folder\nremove-files\n");
            run.closeWriteChannel();
            ASSERT_TRUE(run.waitForFinished(120'000));
            const QString said = QString::fromLocal8Bit(run.readAll());
            EXPECT_EQ(run.exitCode(), 4) << said.toStdString();
            EXPECT_TRUE(said.contains(QStringLiteral("the package presto owns")))
                << said.toStdString();
            EXPECT_EQ(test::treeOf(packaged), tree);
        }
    }
}

TEST_F(RealInstallation, SystemdAcceptsBothInstalledUnits) {
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (analyze.isEmpty() || unshare.isEmpty())
        GTEST_SKIP() << "systemd-analyze or unshare is missing";
    const QStringList privateMounts{QStringLiteral("-m"), QStringLiteral("--propagation"),
                                    QStringLiteral("private")};
    if (QProcess::execute(unshare, QStringList(privateMounts) << QStringLiteral("true")) != 0)
        GTEST_SKIP() << "no private mount namespace here: the units' programs cannot be put at "
                        "/opt/Presto for systemd-analyze without touching the real /opt";
    install();

    // Inside a mount namespace of its own the installed /opt is seen at /opt, so the check of
    // the units' programs finds them; the real /opt is never touched.
    const QString runtime = QString::fromStdString(world_.path("analyze-runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess verify;
    verify.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    verify.setProcessEnvironment(environment);
    const QString units = installed(QStringLiteral("/etc/systemd/user/"));
    verify.start(unshare, QStringList(privateMounts)
                              << QStringLiteral("/bin/sh") << QStringLiteral("-c")
                              << QStringLiteral("mount --bind \"$1/opt\" /opt && "
                                                "exec systemd-analyze --user verify \"$2\" \"$3\"")
                              << QStringLiteral("sh") << root_
                              << units + QStringLiteral("com.nimbo.Presto.daemon.service")
                              << units + QStringLiteral("com.nimbo.Presto.keys.service"));
    ASSERT_TRUE(verify.waitForFinished(120'000));
    const QByteArray output = verify.readAll();
    EXPECT_EQ(verify.exitCode(), 0) << output.toStdString();
    // Unknown keys and the like are only warnings.
    EXPECT_EQ(output, QByteArray());
}

} // namespace
} // namespace presto
