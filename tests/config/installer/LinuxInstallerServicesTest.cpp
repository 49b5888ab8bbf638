#include "config/installer/LinuxInstallerServices.h"

#include "InstallerTestSupport.h"
#include "tests/support/TempWorld.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <unistd.h>

namespace presto {
namespace {

QString helperProgram() {
    return qEnvironmentVariable("PRESTO_BIN_DIR") + QStringLiteral("/PrestoInstallHelper");
}

// The helper does only its operation's steps, with its fixed names: a caller that has the
// rights to run it gets no way to other files or programs. Started without pkexec into a root
// folder of the test's own, as any caller may.
TEST(InstallHelper, RefusesEveryRequestOutsideItsOperationsSteps) {
    test::coreApplication();
    test::TempWorld world;
    const QString root = QString::fromStdString(world.path("root"));
    const QString planted = QString::fromStdString(world.path("planted"));
    test::writeFile(planted, "mine");
    const struct {
        const char* operation;
        QStringList request;
    } refused[] = {
        {"install", {QStringLiteral("copy"), planted}},
        {"install", {QStringLiteral("copy"), QStringLiteral("../../etc/shadow")}},
        {"install", {QStringLiteral("mkdir"), QStringLiteral("/etc/")}},
        {"install", {QStringLiteral("mkdir"), QStringLiteral("/opt/Presto/../../etc/")}},
        {"install", {QStringLiteral("remove"), QStringLiteral("Presto.daemon")}},
        {"install", {QStringLiteral("remove-folder")}},
        {"install", {QStringLiteral("enable"), QStringLiteral("other.service")}},
        {"install", {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("true")}},
        {"uninstall", {QStringLiteral("copy"), QStringLiteral("PrestoKeys")}},
        {"uninstall", {QStringLiteral("mkdir"), QStringLiteral("/opt/Presto/")}},
        {"uninstall", {QStringLiteral("remove-folder"), root}},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(
            (QLatin1String(c.operation) + QLatin1Char(' ') + c.request.join(QLatin1Char(' ')))
                .toStdString());
        Authorization rights = PkexecRunner::startHelper(
            {}, {helperProgram(), QLatin1String(c.operation), QStringLiteral("--steps"),
                 QStringLiteral("--root=") + root});
        ASSERT_TRUE(rights.session);
        const CommandResult result = rights.session->run(c.request);
        EXPECT_TRUE(result.started);
        EXPECT_EQ(result.status, 64);
        // Still serving after a refusal.
        const QStringList harmless =
            c.operation[0] == 'i'
                ? QStringList{QStringLiteral("remove"), QStringLiteral("PrestoKeys")}
                : QStringList{QStringLiteral("remove-files")};
        EXPECT_TRUE(rights.session->run(harmless).succeeded());
    }
    EXPECT_EQ(test::treeOf(root), QStringList());
    EXPECT_EQ(test::readAll(planted), QByteArray("mine"));
}

TEST(InstallHelper, ThroughPkexecItTakesNoRootFolderAndAloneItNeedsRights) {
    test::coreApplication();
    test::TempWorld world;
    const QString root = QString::fromStdString(world.path("root"));
    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PKEXEC_UID"), QStringLiteral("1000"));
    helper.setProcessEnvironment(environment);
    helper.start(helperProgram(), {QStringLiteral("install"), QStringLiteral("--root=") + root});
    ASSERT_TRUE(helper.waitForFinished(60'000));
    EXPECT_EQ(helper.exitCode(), 2);
    EXPECT_FALSE(QFileInfo::exists(root));

    helper.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    helper.start(helperProgram(), {QStringLiteral("reinstall")});
    ASSERT_TRUE(helper.waitForFinished(60'000));
    EXPECT_EQ(helper.exitCode(), 2);
    if (geteuid() != 0) {
        helper.start(helperProgram(), {QStringLiteral("install")});
        ASSERT_TRUE(helper.waitForFinished(60'000));
        EXPECT_EQ(helper.exitCode(), 3);
    }
}

// pkexec's exit statuses and words, before the helper is ready, tell the refusals apart.
TEST(PkexecRefusals, EachEndingBeforeTheHelperIsReadyIsNamed) {
    test::coreApplication();
    const struct {
        const char* script;
        Refusal refusal;
    } cases[] = {
        {"echo 'Error executing command as another user: Request dismissed' >&2; exit 126",
         Refusal::Dismissed},
        {"echo 'Error executing command as another user: Not authorized' >&2; exit 127",
         Refusal::NotAuthorized},
        {"echo 'Error executing command as another user: No authentication agent found.' >&2; "
         "exit 127",
         Refusal::NoAgent},
        {"echo 'Error getting authority: Error initializing authority: Could not connect' >&2; "
         "exit 127",
         Refusal::NoAgent},
        // The helper's own statuses: started without rights, or not at all.
        {"exit 3", Refusal::Failed},
        {"echo ready; exit 0", Refusal::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const Authorization rights = PkexecRunner::startHelper(
            {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QLatin1String(c.script)},
            {QStringLiteral("helper")});
        EXPECT_EQ(rights.refusal, c.refusal);
        EXPECT_EQ(rights.session != nullptr, c.refusal == Refusal::None);
    }
    EXPECT_EQ(PkexecRunner::startHelper({QStringLiteral("/nonexistent/pkexec")},
                                        {QStringLiteral("helper")})
                  .refusal,
              Refusal::Failed);
}

TEST(PackageOwnership, DpkgsFileListOfThePackageNamesItOrNobody) {
    test::coreApplication();
    test::TempWorld world;
    const QString database = QString::fromStdString(world.path("dpkg"));
    const QString daemon = QStringLiteral("/opt/Presto/Presto.daemon");
    DpkgOwnership dpkg(QStringLiteral("presto"), database);
    EXPECT_EQ(dpkg.ownerOf(daemon), QString());
    // Another package's list, and a path that only begins like ours, do not count.
    test::writeFile(database + QStringLiteral("/info/presto-extra.list"), daemon.toUtf8() + "\n");
    test::writeFile(database + QStringLiteral("/info/presto.list"),
                    "/.\n/opt\n/opt/Presto\n/opt/Presto/Presto.daemon.old\n");
    EXPECT_EQ(dpkg.ownerOf(daemon), QString());
    test::writeFile(database + QStringLiteral("/info/presto:amd64.list"),
                    "/.\n/opt/Presto\n/opt/Presto/Presto.daemon\n/opt/Presto/PrestoKeys\n");
    EXPECT_EQ(dpkg.ownerOf(daemon), QStringLiteral("presto"));

    // The real database: dpkg owns its own programs.
    if (!QFileInfo::exists(QStringLiteral("/var/lib/dpkg/info/dpkg.list")))
        GTEST_SKIP() << "no dpkg database";
    EXPECT_EQ(DpkgOwnership(QStringLiteral("dpkg")).ownerOf(QStringLiteral("/usr/bin/dpkg-query")),
              QStringLiteral("dpkg"));
}

TEST(UserCommands, StartedOrNotAndTheExitStatus) {
    test::coreApplication();
    ProcessCommandRunner runner;
    EXPECT_TRUE(runner.run({QStringLiteral("true")}).succeeded());
    const CommandResult failed = runner.run({QStringLiteral("false")});
    EXPECT_TRUE(failed.started);
    EXPECT_FALSE(failed.succeeded());
    EXPECT_FALSE(runner.run({QStringLiteral("/nonexistent/systemctl")}).started);
}

TEST(SystemRequirement, SystemdVersionFromItsFirstLine) {
    EXPECT_EQ(LinuxSystemRequirement::systemdVersion(
                  QStringLiteral("systemd 252 (252.38-1~deb12u1)\n+PAM +AUDIT\n")),
              252);
    EXPECT_EQ(LinuxSystemRequirement::systemdVersion(QStringLiteral("systemd 246\n")), 246);
    EXPECT_EQ(LinuxSystemRequirement::systemdVersion(QStringLiteral("")), -1);
    EXPECT_EQ(LinuxSystemRequirement::systemdVersion(QStringLiteral("elogind 252\n")), -1);
}

} // namespace
} // namespace presto
