#include "config/installer/LinuxInstallerServices.h"

#include "InstallerTestSupport.h"
#include "tests/support/TempWorld.h"

#include <QFile>
#include <gtest/gtest.h>

namespace presto {
namespace {

// The administrator's shell, started without pkexec: the protocol is the same.
TEST(AdministratorShell, RunsEachCommandInTurnWithItsArgumentsIntact) {
    test::coreApplication();
    test::TempWorld world;
    const QString out = QString::fromStdString(world.path("out"));
    auto shell = PkexecRunner::startShell({});
    ASSERT_TRUE(shell);

    const CommandResult written =
        shell->run({QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                    QStringLiteral("printf '%s|' \"$@\" > \"$0\""), out,
                    QStringLiteral("two words"), QString(), QStringLiteral("$HOME;*")});
    EXPECT_TRUE(written.succeeded());
    EXPECT_EQ(test::readAll(out), QByteArray("two words||$HOME;*|"));

    const CommandResult failed =
        shell->run({QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("exit 3")});
    EXPECT_TRUE(failed.started);
    EXPECT_EQ(failed.status, 3);
    EXPECT_FALSE(shell->run({QStringLiteral("/nonexistent/program")}).started);
    EXPECT_FALSE(shell->run({QStringLiteral("/bin/echo"), QStringLiteral("a\nb")}).started);
    // Still serving after the refusals.
    EXPECT_TRUE(shell->run({QStringLiteral("/bin/true")}).succeeded());
}

TEST(AdministratorShell, AnElevatorThatEndsBeforeTheShellIsACancelledAuthorisation) {
    test::coreApplication();
    // pkexec ends with 126 without starting anything when the user dismisses its dialog.
    EXPECT_FALSE(PkexecRunner::startShell(
        {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("exit 126")}));
    EXPECT_FALSE(PkexecRunner::startShell({QStringLiteral("/nonexistent/pkexec")}));
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
