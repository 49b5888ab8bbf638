// Restart and Shut Down on private buses with stand-ins for each desktop's session manager and
// for logind: who is asked, with what, and that nobody else is.
#include "platform/linux/SessionManagerPower.h"

#include "tests/platform/TestProcesses.h"
#include "tests/support/RecordingServices.h"
#include "tests/support/SessionStandIns.h"
#include "tests/support/TempWorld.h"

#include <gtest/gtest.h>
#include <mutex>

namespace presto {
namespace {

using Action = SessionPower::Action;
using Lines = std::vector<std::string>;

// Each request's outcome, as the power object logs it.
struct Said {
    SessionManagerPower::Log log() {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
    }
    Lines get() {
        std::lock_guard lock(mutex);
        return lines;
    }
    std::mutex mutex;
    Lines lines;
};

TEST(SessionManagerPower, AsksTheDesktopsSessionManagerElseLogindAndNobodyElse) {
    if (!test::SessionStandIns::available())
        GTEST_SKIP() << "dbus-daemon or python3-gi is missing; scripts/install-deps test "
                        "installs them";
    struct Case {
        Lines options;
        Action action;
        Lines calls;      // what the stand-ins were asked, in order
        std::string said; // the start of the logged outcome
    };
    const Case cases[] = {
        {{"--desktop", "gnome"},
         Action::Restart,
         {"org.gnome.SessionManager.Reboot ()"},
         "restart: asked org.gnome.SessionManager"},
        {{"--desktop", "gnome"},
         Action::ShutDown,
         {"org.gnome.SessionManager.Shutdown ()"},
         "shut down: asked org.gnome.SessionManager"},
        {{"--desktop", "kde"},
         Action::Restart,
         {"org.kde.LogoutPrompt.promptReboot ()"},
         "restart: asked org.kde.LogoutPrompt"},
        {{"--desktop", "kde"},
         Action::ShutDown,
         {"org.kde.LogoutPrompt.promptShutDown ()"},
         "shut down: asked org.kde.LogoutPrompt"},
        {{"--desktop", "ksmserver"},
         Action::Restart,
         {"org.kde.KSMServerInterface.logout (1, 1, -1)"},
         "restart: asked org.kde.ksmserver"},
        {{"--desktop", "ksmserver"},
         Action::ShutDown,
         {"org.kde.KSMServerInterface.logout (1, 2, -1)"},
         "shut down: asked org.kde.ksmserver"},
        {{"--desktop", "xfce"},
         Action::Restart,
         {"org.xfce.Session.Manager.Restart (true,)"},
         "restart: asked org.xfce.SessionManager"},
        {{"--desktop", "xfce"},
         Action::ShutDown,
         {"org.xfce.Session.Manager.Shutdown (true,)"},
         "shut down: asked org.xfce.SessionManager"},
        {{"--desktop", "none"},
         Action::Restart,
         {"org.freedesktop.login1.Manager.Reboot (true,)"},
         "restart: no session manager; asked org.freedesktop.login1"},
        {{"--desktop", "none"},
         Action::ShutDown,
         {"org.freedesktop.login1.Manager.PowerOff (true,)"},
         "shut down: no session manager; asked org.freedesktop.login1"},
        // A session manager that cannot restart is as good as none.
        {{"--desktop", "mate"},
         Action::Restart,
         {"org.freedesktop.login1.Manager.Reboot (true,)"},
         "restart: no session manager; asked org.freedesktop.login1"},
        // Its refusal stands: logind would power off behind the user's back.
        {{"--desktop", "gnome", "--refuse"},
         Action::Restart,
         {"org.gnome.SessionManager.Reboot ()"},
         "restart: org.gnome.SessionManager did not: not now"},
        {{"--desktop", "none", "--no-logind"},
         Action::ShutDown,
         {},
         "shut down: no session manager, and org.freedesktop.login1 did not: "},
    };
    for (const Case& c : cases) {
        const std::string what = c.options[1] + (c.options.size() > 2 ? " " + c.options[2] : "") +
                                 (c.action == Action::Restart ? ", restart" : ", shut down");
        test::TempWorld world;
        test::SessionStandIns standIns(world.root(), c.options);
        ASSERT_TRUE(standIns.ready()) << what << standIns.output();
        test::RecordingSessionPower sleep;
        Said said;
        {
            SessionManagerPower power(sleep, {standIns.sessionBus, standIns.systemBus}, said.log());
            EXPECT_EQ(power.request(c.action), 0) << what;
            ASSERT_TRUE(test::eventually([&] { return !said.get().empty(); })) << what;
        }
        ASSERT_EQ(said.get().size(), 1u) << what;
        EXPECT_TRUE(said.get()[0].starts_with(c.said)) << what << ": " << said.get()[0];
        EXPECT_EQ(standIns.calls(), c.calls) << what;
        EXPECT_TRUE(sleep.requests().empty()) << what;
    }
}

TEST(SessionManagerPower, SleepGoesToTheSleeperAndNoBusIsNeeded) {
    test::RecordingSessionPower sleep;
    Said said;
    SessionManagerPower power(sleep, {}, said.log());
    EXPECT_EQ(power.request(Action::Sleep), 0);
    EXPECT_EQ(sleep.requests(), std::vector{Action::Sleep});
    EXPECT_EQ(power.request(Action::Restart), 0);
    ASSERT_TRUE(test::eventually([&] { return !said.get().empty(); }));
    EXPECT_EQ(said.get(), (Lines{"restart: no session manager, and org.freedesktop.login1 did "
                                 "not: the system bus cannot be reached"}));
}

} // namespace
} // namespace presto
