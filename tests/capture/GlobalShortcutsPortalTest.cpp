// The built PrestoKeys on a Wayland session whose portal is a stand-in (fake_portal.py) on a
// private session bus, with a stand-in daemon that records the presses.
#include "common/KeyCodeTable.h"
#include "common/ReloadNotice.h"
#include "tests/capture/FakeDaemon.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/TempWorld.h"

#include <algorithm>
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
        portal_.emplace(args, std::vector<std::string>{}, world.path("portal.out"), -1, true);
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

    // A Wayland session of another desktop than GNOME unless told otherwise: the portal's answer
    // alone decides.
    void startAgent(const std::vector<std::string>& extraEnv = {}) {
        std::vector<std::string> env{"DBUS_SESSION_BUS_ADDRESS=" + address_,
                                     "XDG_SESSION_TYPE=wayland",
                                     "WAYLAND_DISPLAY=wayland-presto-test",
                                     "XDG_CURRENT_DESKTOP=KDE",
                                     "DISPLAY=",
                                     "PRESTO_KEY_SOURCE="};
        for (const std::string& entry : extraEnv) {
            const std::string name = entry.substr(0, entry.find('=') + 1);
            std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
            env.push_back(entry);
        }
        agent_.emplace(std::vector<std::string>{test::PrestoSession::binDir() + "/PrestoKeys"}, env,
                       world.path("agent.log"));
    }

    // The portal is told to fire a shortcut, as the desktop does when its keys are pressed, or
    // to answer as the user did.
    void fire(const char* method, const std::string& id) {
        control(method, g_variant_new("(s)", id.c_str()));
    }
    void answer(bool accepted) { control("Confirm", g_variant_new("(b)", accepted)); }
    void control(const char* method, GVariant* parameters) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            control_, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "org.presto.test.PortalControl", method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
            10000, nullptr, &error);
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
    std::string status() const { return readFile(statusPath); }
    bool waitForStatus(const std::string& text) {
        return test::waitUntil([&] { return status().find(text) != std::string::npos; }, 15s);
    }
    static std::string keyLine(const HotKeyRec& rec, const char* reason) {
        return "key=" + std::to_string(rec.keyCode) + " " + std::to_string(rec.modFlags) + " " +
               reason + "\n";
    }
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
    // A first version's portal also gets the shortcuts where Plasma 5.27 takes them.
    EXPECT_NE(created[0].find("handle_token=presto1 session_handle_token=presto "
                              "shortcuts=hk-96-100000=LOGO+F5,hk-5-c0000=CTRL+ALT+g"),
              std::string::npos)
        << created[0];
    const std::string session1 = created[0].substr(created[0].find("-> ") + 3);
    EXPECT_EQ(linesStartingWith(log(), "BindShortcuts")[0],
              "BindShortcuts " + session1 + " hk-96-100000=LOGO+F5 hk-5-c0000=CTRL+ALT+g");
    ASSERT_TRUE(test::waitUntil(
        [&] { return agentOutput().find("2 of 2 hot keys grabbed") != std::string::npos; }, 15s))
        << agentOutput();
    EXPECT_NE(agentOutput().find("key source: GlobalShortcuts portal"), std::string::npos);
    EXPECT_EQ(linesStartingWith(log(), "ListShortcuts").size(), 0u) << "the answer told";

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

    // A changed table: the old session goes first, since the new one has the same name.
    daemon.setTable({superF5, superShiftA}, "100", 600);
    reload();
    ASSERT_TRUE(waitForLog("BindShortcuts", 2)) << log();
    const auto calls = linesStartingWith(log(), "");
    const auto closed = std::find(calls.begin(), calls.end(), "Close " + session1);
    ASSERT_NE(closed, calls.end()) << log();
    EXPECT_EQ(
        std::count_if(closed, calls.end(),
                      [](const std::string& line) { return line.rfind("CreateSession", 0) == 0; }),
        1)
        << log();
    created = linesStartingWith(log(), "CreateSession");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[1].substr(created[1].find("-> ") + 3), session1);
    EXPECT_EQ(linesStartingWith(log(), "BindShortcuts")[1],
              "BindShortcuts " + session1 + " hk-96-100000=LOGO+F5 hk-0-120000=SHIFT+LOGO+a");
    ASSERT_TRUE(waitForOutput("2 of 2 hot keys grabbed", 2)) << agentOutput();
    fire("Activate", "hk-0-120000");
    ASSERT_TRUE(daemon.waitForPresses(3));
    EXPECT_EQ(daemon.presses()[2].keyCode, superShiftA.keyCode);

    // The same table again binds nothing new.
    reload();
    ASSERT_TRUE(waitForOutput("2 of 2 hot keys grabbed", 3)) << agentOutput();
    // The service switched off: an empty table.
    daemon.setTable({}, "101", 600);
    reload();
    ASSERT_TRUE(waitForLog("Close", 2)) << log();
    agent_->signal(SIGTERM);
    EXPECT_EQ(agent_->waitForExit(10s), 0) << agentOutput();
    EXPECT_EQ(linesStartingWith(log(), "CreateSession").size(), 2u) << log();
    EXPECT_EQ(linesStartingWith(log(), "Close").size(), 2u) << log();
}

// Portals take the shortcuts in different places; each way keeps every key of a changed table.
struct BindingWay {
    const char* name;
    std::vector<std::string> portalOptions;
    bool bindsAtCreate; // then BindShortcuts is not asked at all
};

void PrintTo(const BindingWay& way, std::ostream* out) {
    *out << way.name;
}

class PortalBindingTest : public GlobalShortcutsPortalTest,
                          public ::testing::WithParamInterface<BindingWay> {};

TEST_P(PortalBindingTest, EveryKeyOfEachTableIsBoundAndFiresAcrossATableChange) {
    startPortal(GetParam().portalOptions);
    daemon.setTable({superF5, controlAltG}, "100", 600);
    startAgent();
    ASSERT_TRUE(waitForOutput("2 of 2 hot keys grabbed", 1)) << agentOutput() << log();
    EXPECT_EQ(status(), "source=GlobalShortcuts portal\n");

    daemon.setTable({superF5, controlAltG, superShiftA}, "100", 600);
    reload();
    ASSERT_TRUE(waitForOutput("3 of 3 hot keys grabbed", 1)) << agentOutput() << log();
    EXPECT_EQ(status(), "source=GlobalShortcuts portal\n");
    const std::vector<std::pair<const char*, HotKeyRec>> presses = {
        {"hk-0-120000", superShiftA}, {"hk-96-100000", superF5}, {"hk-5-c0000", controlAltG}};
    for (std::size_t i = 0; i < presses.size(); ++i) {
        fire("Activate", presses[i].first);
        ASSERT_TRUE(daemon.waitForPresses(i + 1)) << presses[i].first << "\n" << log();
        EXPECT_EQ(daemon.presses()[i].keyCode, presses[i].second.keyCode);
        EXPECT_EQ(daemon.presses()[i].modFlags, presses[i].second.modFlags);
    }
    EXPECT_EQ(linesStartingWith(log(), "BindShortcuts").empty(), GetParam().bindsAtCreate) << log();
}

INSTANTIATE_TEST_SUITE_P(
    Portals, PortalBindingTest,
    ::testing::Values(BindingWay{"BindShortcutsFirstVersion", {}, false},
                      BindingWay{"BindShortcutsLaterVersion", {"--version", "2"}, false},
                      BindingWay{"CreateSessionAsPlasma527", {"--bind-at-create"}, true}),
    [](const ::testing::TestParamInfo<BindingWay>& info) { return info.param.name; });

TEST_F(GlobalShortcutsPortalTest, APortalThatBindsNoneOfTheShortcutsItIsGivenSaysSoForEachKey) {
    // A portal that binds only at CreateSession but states a version that has no place there.
    startPortal({"--bind-at-create", "--version", "2"});
    daemon.setTable({superF5, controlAltG}, "100", 600);
    startAgent();
    ASSERT_TRUE(waitForOutput("0 of 2 hot keys grabbed", 1)) << agentOutput() << log();
    EXPECT_EQ(linesStartingWith(log(), "CreateSession")[0].find("shortcuts=hk"), std::string::npos);
    EXPECT_EQ(linesStartingWith(log(), "ListShortcuts").size(), 1u) << log();
    EXPECT_NE(status().find(keyLine(superF5, "unoffered")), std::string::npos) << status();
    EXPECT_NE(status().find(keyLine(controlAltG, "unoffered")), std::string::npos) << status();
    EXPECT_EQ(agentOutput().find("refused"), std::string::npos) << agentOutput();
}

TEST_F(GlobalShortcutsPortalTest, KeysWaitingForTheUsersConfirmationSaySoUntilTheyAnswer) {
    startPortal({"--confirm"});
    daemon.setTable({superF5, controlAltG}, "100", 600);
    startAgent();
    ASSERT_TRUE(waitForStatus(keyLine(controlAltG, "unconfirmed"))) << status() << log();
    EXPECT_NE(status().find(keyLine(superF5, "unconfirmed")), std::string::npos) << status();
    answer(true);
    ASSERT_TRUE(waitForOutput("2 of 2 hot keys grabbed", 1)) << agentOutput() << log();
    EXPECT_EQ(status(), "source=GlobalShortcuts portal\n");
    fire("Activate", "hk-96-100000");
    ASSERT_TRUE(daemon.waitForPresses(1));

    // Turned down: each key says the desktop refused it.
    daemon.setTable({superShiftA}, "100", 600);
    reload();
    ASSERT_TRUE(waitForStatus(keyLine(superShiftA, "unconfirmed"))) << status() << log();
    answer(false);
    ASSERT_TRUE(waitForStatus(keyLine(superShiftA, "refused"))) << status() << log();
    ASSERT_TRUE(waitForOutput("0 of 1 hot keys grabbed", 1)) << agentOutput();
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

    const std::string status = this->status();
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
    EXPECT_NE(status.find(keyLine(superShiftA, "refused")), std::string::npos) << status;
    EXPECT_NE(status.find(keyLine(capsA, "unexpressible")), std::string::npos) << status;
    EXPECT_EQ(linesStartingWith(status, "key=").size(), 2u) << status;

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

// A portal that offers the interface but whose backend fails (GNOME 43 with KDE's portal
// installed): the agent turns to the next source with one line, and says so in the status file.
struct Fallback {
    const char* name;
    const char* desktop;
    bool xServer;
    const char* next;      // the source the portal hands over to
    const char* source;    // the one that runs in the end
    const char* keyReason; // of each key once that one has them; null: they work
};

void PrintTo(const Fallback& fallback, std::ostream* out) {
    *out << fallback.name;
}

class PortalFallbackTest : public GlobalShortcutsPortalTest,
                           public ::testing::WithParamInterface<Fallback> {};

TEST_P(PortalFallbackTest, AFailingBackendHandsTheKeysToTheNextSource) {
    const Fallback& fallback = GetParam();
    std::optional<test::Xvfb> xvfb;
    if (fallback.xServer) {
        if (!test::Xvfb::installed())
            GTEST_SKIP() << "Xvfb is not installed; scripts/install-deps test installs it";
        xvfb.emplace();
    }
    startPortal({"--backend-fails"});
    daemon.setTable({superF5}, "100", 600);
    startAgent({std::string("XDG_CURRENT_DESKTOP=") + fallback.desktop,
                "DISPLAY=" + (xvfb ? xvfb->display() : std::string()),
                "GSETTINGS_BACKEND=keyfile"});
    const std::string line = "PrestoKeys: GlobalShortcuts portal does not work here (the "
                             "portal's backend failed); falling back to " +
                             std::string(fallback.next) + "\n";
    ASSERT_TRUE(waitForOutput(line, 1)) << agentOutput() << log();
    ASSERT_TRUE(waitForStatus("source=" + std::string(fallback.source) + "\n"))
        << status() << agentOutput();
    EXPECT_NE(status().find("fallback=GlobalShortcuts portal does not work here (the portal's "
                            "backend failed)\n"),
              std::string::npos)
        << status();
    if (fallback.keyReason)
        EXPECT_TRUE(waitForStatus(keyLine(superF5, fallback.keyReason))) << status();
    else
        EXPECT_TRUE(waitForOutput("1 of 1 hot keys grabbed", 1)) << agentOutput();
    EXPECT_EQ(linesStartingWith(log(), "CreateSession").size(), 1u) << log();
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, PortalFallbackTest,
    ::testing::Values(Fallback{"GnomeToItsKeybindings", "GNOME", false, "GNOME custom keybindings",
                               "GNOME custom keybindings", nullptr},
                      Fallback{"OtherToXWayland", "KDE", true, "X11 through XWayland",
                               "X11 through XWayland", nullptr},
                      Fallback{"NothingLeft", "KDE", false, "X11 through XWayland", "no key source",
                               "unoffered"}),
    [](const ::testing::TestParamInfo<Fallback>& info) { return info.param.name; });

} // namespace
} // namespace presto
