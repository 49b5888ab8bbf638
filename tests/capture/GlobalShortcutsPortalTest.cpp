// The built PrestoKeys on a Wayland session whose portal is a stand-in (fake_portal.py) on a
// private session bus, with a stand-in daemon that records the presses.
#include "common/KeyCodeTable.h"
#include "common/ReloadNotice.h"
#include "tests/capture/FakeDaemon.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/TempWorld.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sstream>

namespace presto {
namespace {

using namespace std::chrono_literals;

HotKeyRec onKey(std::uint32_t evdev, std::uint32_t modFlags) {
    return {kKeyDownEventType, modFlags, *macKeyCodeForEvdev(evdev), 0, 0, kKindLaunch, 1, 0, 0};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& start) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(start, 0) == 0)
            lines.push_back(line);
    return lines;
}

class GlobalShortcutsPortalTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("test -x /usr/bin/dbus-run-session && /usr/bin/python3 -c "
                        "'import gi; gi.require_version(\"Gio\", \"2.0\")' 2>/dev/null") != 0)
            GTEST_SKIP() << "dbus-run-session or python3-gi is missing; scripts/install-deps test "
                            "installs them";
    }
    void TearDown() override {
        if (control_)
            g_object_unref(control_);
    }

    void startPortal(const std::vector<std::string>& options = {}) {
        std::vector<std::string> args{"/usr/bin/dbus-run-session",
                                      "--",
                                      "/usr/bin/python3",
                                      FAKE_PORTAL,
                                      "--log",
                                      logPath,
                                      "--ready",
                                      readyPath};
        args.insert(args.end(), options.begin(), options.end());
        portal_.emplace(args, std::vector<std::string>{}, world.path("portal.out"));
        ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(readyPath); }, 20s))
            << readFile(world.path("portal.out"));
        address_ = readFile(readyPath);
        GError* error = nullptr;
        control_ = g_dbus_connection_new_for_address_sync(
            address_.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        ASSERT_TRUE(control_) << (error ? error->message : "");
    }

    // A Wayland session of another desktop than GNOME: the portal's answer alone decides.
    void startAgent() {
        agent_.emplace(std::vector<std::string>{test::PrestoSession::binDir() + "/PrestoKeys"},
                       std::vector<std::string>{
                           "DBUS_SESSION_BUS_ADDRESS=" + address_, "XDG_SESSION_TYPE=wayland",
                           "WAYLAND_DISPLAY=wayland-presto-test", "XDG_CURRENT_DESKTOP=KDE",
                           "DISPLAY=", "PRESTO_KEY_SOURCE="},
                       world.path("agent.log"));
    }

    // The portal is told to fire a shortcut, as the desktop does when its keys are pressed.
    void fire(const char* method, const std::string& id) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            control_, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "org.presto.test.PortalControl", method, g_variant_new("(s)", id.c_str()), nullptr,
            G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
        ASSERT_TRUE(reply) << (error ? error->message : "");
        g_variant_unref(reply);
    }

    bool waitForLog(const std::string& start, std::size_t count) {
        return test::waitUntil([&] { return linesStartingWith(log(), start).size() >= count; },
                               15s);
    }
    std::string log() const { return readFile(logPath); }
    bool waitForOutput(const std::string& text, int count) {
        return test::waitUntil(
            [&] {
                const std::string output = agentOutput();
                int n = 0;
                for (auto at = output.find(text); at != std::string::npos;
                     at = output.find(text, at + 1))
                    ++n;
                return n >= count;
            },
            15s);
    }
    std::string agentOutput() const { return readFile(world.path("agent.log")); }
    void reload() { ASSERT_TRUE(touchReloadNotice(world.locations().runtimeDir)); }

    test::TempWorld world;
    std::string logPath = world.path("portal.log");
    std::string readyPath = world.path("portal.ready");
    std::string statusPath = world.locations().runtimeDir + "/keys-status";
    test::FakeDaemon daemon{world.locations().socketPath};
    std::optional<test::ChildProcess> portal_;
    std::optional<test::ChildProcess> agent_;
    std::string address_;
    GDBusConnection* control_ = nullptr;

    const HotKeyRec superF5 = onKey(KEY_F5, kCommandBit);
    const HotKeyRec controlAltG = onKey(KEY_G, kControlBit | kOptionBit);
    const HotKeyRec superShiftA = onKey(KEY_A, kCommandBit | kShiftBit);
};

TEST_F(GlobalShortcutsPortalTest, BindsTheTableSendsActivationsAndRebindsAChangedTable) {
    startPortal();
    daemon.setTable({superF5, controlAltG}, "100", 600);
    startAgent();

    ASSERT_TRUE(waitForLog("BindShortcuts", 1)) << log() << agentOutput();
    auto created = linesStartingWith(log(), "CreateSession");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_NE(created[0].find("handle_token=presto1 session_handle_token=presto_session1"),
              std::string::npos)
        << created[0];
    const std::string session1 = created[0].substr(created[0].find("-> ") + 3);
    EXPECT_EQ(linesStartingWith(log(), "BindShortcuts")[0],
              "BindShortcuts " + session1 + " hk-96-100000=LOGO+F5 hk-5-c0000=CTRL+ALT+g");
    ASSERT_TRUE(test::waitUntil(
        [&] { return agentOutput().find("2 of 2 hot keys grabbed") != std::string::npos; }, 15s))
        << agentOutput();
    EXPECT_NE(agentOutput().find("key source: GlobalShortcuts portal"), std::string::npos);

    // Released keys send nothing; the press that follows is the only one the daemon sees.
    fire("Deactivate", "hk-96-100000");
    fire("Activate", "hk-5-c0000");
    ASSERT_TRUE(daemon.waitForPresses(1)) << agentOutput();
    HotKeyRec sent = daemon.presses()[0];
    EXPECT_EQ(sent.eventType, kKeyDownEventType);
    EXPECT_EQ(sent.keyCode, controlAltG.keyCode);
    EXPECT_EQ(sent.modFlags, kControlBit | kOptionBit);
    fire("Activate", "hk-96-100000");
    ASSERT_TRUE(daemon.waitForPresses(2));
    EXPECT_EQ(daemon.presses().size(), 2u);
    EXPECT_EQ(daemon.presses()[1].keyCode, superF5.keyCode);
    EXPECT_EQ(daemon.presses()[1].modFlags, kCommandBit);

    // A changed table: the old session goes, a new one binds the new table.
    daemon.setTable({superF5, superShiftA}, "100", 600);
    reload();
    ASSERT_TRUE(waitForLog("BindShortcuts", 2)) << log();
    EXPECT_EQ(linesStartingWith(log(), "Close"), std::vector<std::string>{"Close " + session1});
    created = linesStartingWith(log(), "CreateSession");
    ASSERT_EQ(created.size(), 2u);
    const std::string session2 = created[1].substr(created[1].find("-> ") + 3);
    EXPECT_NE(session2, session1);
    EXPECT_EQ(linesStartingWith(log(), "BindShortcuts")[1],
              "BindShortcuts " + session2 + " hk-96-100000=LOGO+F5 hk-0-120000=SHIFT+LOGO+a");
    fire("Activate", "hk-0-120000");
    ASSERT_TRUE(daemon.waitForPresses(3));
    EXPECT_EQ(daemon.presses()[2].keyCode, superShiftA.keyCode);

    // The same table again binds nothing new.
    ASSERT_TRUE(waitForOutput("2 of 2 hot keys grabbed", 2));
    reload();
    ASSERT_TRUE(waitForOutput("2 of 2 hot keys grabbed", 3)) << agentOutput();
    // The service switched off: an empty table.
    daemon.setTable({}, "101", 600);
    reload();
    ASSERT_TRUE(waitForLog("Close", 2)) << log();
    EXPECT_EQ(linesStartingWith(log(), "Close")[1], "Close " + session2);
    agent_->signal(SIGTERM);
    EXPECT_EQ(agent_->waitForExit(10s), 0) << agentOutput();
    EXPECT_EQ(linesStartingWith(log(), "CreateSession").size(), 2u) << log();
    EXPECT_EQ(linesStartingWith(log(), "Close").size(), 2u) << log();
}

TEST_F(GlobalShortcutsPortalTest, RegistersFirstAndToldRefusedAndChangedKeysInTheStatusFile) {
    startPortal({"--refuse", "hk-0-120000", "--rebind", "hk-96-100000=Meta+F6"});
    const HotKeyRec capsA = onKey(KEY_A, kCapsLockBit);
    daemon.setTable({superF5, controlAltG, superShiftA, capsA}, "100", 600);
    startAgent();
    ASSERT_TRUE(test::waitUntil(
        [&] { return agentOutput().find("2 of 4 hot keys grabbed") != std::string::npos; }, 15s))
        << agentOutput() << log();
    std::istringstream calls(log());
    std::string first;
    std::getline(calls, first);
    EXPECT_EQ(first, "Register com.nimbo.Presto");

    const std::string status = readFile(statusPath);
    EXPECT_NE(status.find("source=GlobalShortcuts portal\n"), std::string::npos) << status;
    EXPECT_NE(status.find("changed=Command+key (Mac key code 96) bound to Meta+F6\n"),
              std::string::npos)
        << status;
    EXPECT_NE(status.find("refused=Command+Shift+key (Mac key code 0) was refused by the desktop"),
              std::string::npos)
        << status;
    EXPECT_NE(status.find("(Mac key code 0) cannot be given to the desktop as a shortcut"),
              std::string::npos)
        << status;
    EXPECT_EQ(status.find("key code 5)"), std::string::npos) << status;

    // Activations of a shortcut the agent never bound are nobody's presses.
    fire("Activate", "hk-5-c0000");
    ASSERT_TRUE(daemon.waitForPresses(1));
    EXPECT_EQ(daemon.presses().size(), 1u);

    // Ending the agent closes its session; no source is active any more.
    agent_->signal(SIGTERM);
    EXPECT_EQ(agent_->waitForExit(10s), 0) << agentOutput();
    EXPECT_EQ(linesStartingWith(log(), "Close").size(), 1u) << log();
    EXPECT_FALSE(std::filesystem::exists(statusPath));
}

TEST_F(GlobalShortcutsPortalTest, AnAnswerThatComesBeforeItsCallReturnsIsNotLost) {
    // Subscribed before calling, the agent hears a Response that overtakes the reply, and a
    // late reply of the first call does not disturb the request made after it.
    startPortal({"--respond-first", "--no-registry"});
    daemon.setTable({superF5, controlAltG}, "100", 600);
    startAgent();
    ASSERT_TRUE(waitForOutput("2 of 2 hot keys grabbed", 1)) << agentOutput() << log();
    EXPECT_EQ(linesStartingWith(log(), "Register").size(), 0u);
    fire("Activate", "hk-96-100000");
    ASSERT_TRUE(daemon.waitForPresses(1)) << agentOutput();
    EXPECT_EQ(daemon.presses()[0].keyCode, superF5.keyCode);
}

TEST_F(GlobalShortcutsPortalTest, WithoutThePortalAnotherDesktopFallsBackToXWayland) {
    // A bus without the portal: the agent must say plainly where its hot keys work.
    if (!test::Xvfb::installed())
        GTEST_SKIP() << "Xvfb is not installed; scripts/install-deps test installs it";
    test::Xvfb xvfb;
    daemon.setTable({superF5}, "100", 600);
    test::ChildProcess agent({test::PrestoSession::binDir() + "/PrestoKeys"},
                             {"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=sway",
                              "DBUS_SESSION_BUS_ADDRESS=unix:path=" + world.path("no-bus"),
                              "DISPLAY=" + xvfb.display(), "PRESTO_KEY_SOURCE="},
                             world.path("agent.log"));
    ASSERT_TRUE(test::waitUntil(
        [&] { return agentOutput().find("1 of 1 hot keys grabbed") != std::string::npos; }, 15s))
        << agentOutput();
    EXPECT_NE(agentOutput().find("hot keys work only while an X11 window has the focus"),
              std::string::npos)
        << agentOutput();
    EXPECT_NE(readFile(statusPath).find("source=X11 through XWayland\n"), std::string::npos);
}

} // namespace
} // namespace presto
