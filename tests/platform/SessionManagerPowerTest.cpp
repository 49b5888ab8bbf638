// Restart and Shut Down on private session and system buses, with stand-ins for each desktop's
// session manager and for logind (fake_session_managers.py): who is asked, with what, and that
// nobody else is.
#include "platform/linux/SessionManagerPower.h"

#include "tests/platform/TestProcesses.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/RecordingServices.h"
#include "tests/support/TempWorld.h"

#include <gtest/gtest.h>
#include <mutex>

namespace presto {
namespace {

using Action = SessionPower::Action;
using Lines = std::vector<std::string>;

bool standInsCanRun() {
    return test::PrivateBus::available() &&
           std::system("/usr/bin/python3 -c 'import gi; gi.require_version(\"Gio\", \"2.0\")' "
                       "2>/dev/null") == 0;
}

// What the power object said, one line per request.
class Said {
public:
    SessionManagerPower::Log log() {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        };
    }
    Lines lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    std::mutex mutex_;
    Lines lines_;
};

TEST(SessionManagerPower, AsksTheDesktopsSessionManagerElseLogindAndNobodyElse) {
    if (!standInsCanRun())
        GTEST_SKIP() << "dbus-daemon or python3-gi is missing; scripts/install-deps test "
                        "installs them";
    struct Case {
        const char* desktop;
        Lines options;
        Action action;
        Lines calls;      // as the stand-ins logged them, in order
        std::string said; // the start of what the power object logged
    };
    const Case cases[] = {
        {"gnome",
         {},
         Action::Restart,
         {"org.gnome.SessionManager.Reboot ()"},
         "restart: asked org.gnome.SessionManager"},
        {"gnome",
         {},
         Action::ShutDown,
         {"org.gnome.SessionManager.Shutdown ()"},
         "shut down: asked org.gnome.SessionManager"},
        {"kde",
         {},
         Action::Restart,
         {"org.kde.LogoutPrompt.promptReboot ()"},
         "restart: asked org.kde.LogoutPrompt"},
        {"kde",
         {},
         Action::ShutDown,
         {"org.kde.LogoutPrompt.promptShutDown ()"},
         "shut down: asked org.kde.LogoutPrompt"},
        {"ksmserver",
         {},
         Action::Restart,
         {"org.kde.KSMServerInterface.logout (1, 1, -1)"},
         "restart: asked org.kde.ksmserver"},
        {"ksmserver",
         {},
         Action::ShutDown,
         {"org.kde.KSMServerInterface.logout (1, 2, -1)"},
         "shut down: asked org.kde.ksmserver"},
        {"xfce",
         {},
         Action::Restart,
         {"org.xfce.Session.Manager.Restart (true,)"},
         "restart: asked org.xfce.SessionManager"},
        {"xfce",
         {},
         Action::ShutDown,
         {"org.xfce.Session.Manager.Shutdown (true,)"},
         "shut down: asked org.xfce.SessionManager"},
        {"none",
         {},
         Action::Restart,
         {"org.freedesktop.login1.Manager.Reboot (true,)"},
         "restart: no session manager; asked org.freedesktop.login1"},
        {"none",
         {},
         Action::ShutDown,
         {"org.freedesktop.login1.Manager.PowerOff (true,)"},
         "shut down: no session manager; asked org.freedesktop.login1"},
        // A session manager without the request is as good as none.
        {"mate",
         {},
         Action::Restart,
         {"org.freedesktop.login1.Manager.Reboot (true,)"},
         "restart: no session manager; asked org.freedesktop.login1"},
        // Its refusal stands: logind would power off behind the user's back.
        {"gnome",
         {"--refuse"},
         Action::Restart,
         {"org.gnome.SessionManager.Reboot ()"},
         "restart: org.gnome.SessionManager did not: not now"},
        {"none",
         {"--no-logind"},
         Action::ShutDown,
         {},
         "shut down: no session manager, and org.freedesktop.login1 did not: "},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.desktop) + (c.options.empty() ? "" : " refusing") +
                                 (c.action == Action::Restart ? ", restart" : ", shut down");
        test::TempWorld world;
        test::PrivateBus session(world.path("session")), system(world.path("system"));
        ASSERT_FALSE(session.address().empty() || system.address().empty()) << what;
        const std::string log = world.path("calls"), ready = world.path("ready");
        Lines argv{test::fakeSessionManagers(),
                   "--session",
                   session.address(),
                   "--system",
                   system.address(),
                   "--desktop",
                   c.desktop,
                   "--log",
                   log,
                   "--ready",
                   ready};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        test::StandIn standIns(argv, world.path("stand-ins.out"), ready);
        ASSERT_TRUE(standIns.ready()) << what << test::readText(world.path("stand-ins.out"));

        test::RecordingSessionPower sleep;
        Said said;
        {
            SessionManagerPower power(sleep, {session.address(), system.address()}, said.log());
            EXPECT_EQ(power.request(c.action), 0) << what;
            ASSERT_TRUE(test::eventually([&] { return !said.lines().empty(); })) << what;
        }
        ASSERT_EQ(said.lines().size(), 1u) << what;
        EXPECT_TRUE(said.lines()[0].starts_with(c.said)) << what << ": " << said.lines()[0];
        EXPECT_EQ(test::readLines(log), c.calls) << what;
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
    ASSERT_TRUE(test::eventually([&] { return !said.lines().empty(); }));
    EXPECT_EQ(said.lines(), (Lines{"restart: no session manager, and org.freedesktop.login1 did "
                                   "not: the system bus cannot be reached"}));
}

} // namespace
} // namespace presto
