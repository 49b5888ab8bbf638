// GNOME's custom keybindings as the key source, against GSettings' keyfile backend in a temporary
// folder, with the desktop's schema that scripts/test installs.
#include "capture/GnomeKeybindings.h"

#include "common/KeyCodeTable.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/TempWorld.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <csignal>
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace presto {
namespace {

using namespace std::chrono_literals;

constexpr char kBase[] = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";

HotKeyRec onKey(std::uint32_t evdev, std::uint32_t modFlags) {
    return {kKeyDownEventType, modFlags, *macKeyCodeForEvdev(evdev), 0, 0, kKindLaunch, 1, 0, 0};
}

// Reads and writes the keyfile as the desktop would see it.
class Keybindings {
public:
    explicit Keybindings(const std::string& keyfile)
        : backend_(g_keyfile_settings_backend_new(keyfile.c_str(), "/", nullptr)),
          list_(g_settings_new_with_backend("org.gnome.settings-daemon.plugins.media-keys",
                                            backend_)) {}
    ~Keybindings() {
        g_object_unref(list_);
        g_object_unref(backend_);
    }
    GSettingsBackend* backend() const { return backend_; }

    std::vector<std::string> list() const {
        std::vector<std::string> paths;
        gchar** strv = g_settings_get_strv(list_, "custom-keybindings");
        for (gchar** p = strv; *p; ++p)
            paths.emplace_back(*p);
        g_strfreev(strv);
        return paths;
    }
    void setList(const std::vector<std::string>& paths) {
        std::vector<const gchar*> strv;
        for (const auto& path : paths)
            strv.push_back(path.c_str());
        strv.push_back(nullptr);
        g_settings_set_strv(list_, "custom-keybindings", strv.data());
    }
    std::string get(const std::string& path, const char* key) const {
        GSettings* entry = entry_(path);
        gchar* value = g_settings_get_string(entry, key);
        std::string text = value;
        g_free(value);
        g_object_unref(entry);
        return text;
    }
    void set(const std::string& path, const char* key, const std::string& value) {
        GSettings* entry = entry_(path);
        g_settings_set_string(entry, key, value.c_str());
        g_object_unref(entry);
    }
    // The entry that binds this accelerator, or "".
    std::string pathBinding(const std::string& binding) const {
        for (const auto& path : list())
            if (get(path, "binding") == binding)
                return path;
        return "";
    }

private:
    GSettings* entry_(const std::string& path) const {
        return g_settings_new_with_backend_and_path(
            "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding", backend_,
            path.c_str());
    }

    GSettingsBackend* backend_;
    GSettings* list_;
};

class GnomeKeybindingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GnomeKeybindings::available())
            GTEST_SKIP() << "GNOME's keybinding schema is missing; scripts/install-deps test "
                            "installs gnome-settings-daemon-common";
        desktop.emplace(keyfile);
        // The user's own entry, which must stay as it is.
        userPath = std::string(kBase) + "custom0/";
        desktop->set(userPath, "name", "Terminal");
        desktop->set(userPath, "command", "gnome-terminal");
        desktop->set(userPath, "binding", "<Primary><Alt>t");
        desktop->setList({userPath});
    }

    std::unique_ptr<GnomeKeybindings> makeSource() {
        KeySource::Listener listener;
        listener.problem = [this](const HotKeyRec& rec, GrabProblem problem) {
            problems.emplace_back(rec.keyCode, problem);
        };
        listener.renewed = [this](int taken, int total) { renewals.emplace_back(taken, total); };
        return std::make_unique<GnomeKeybindings>(listener, "'/opt/Presto/PrestoHotKey'",
                                                  desktop->backend());
    }

    void expectUsersEntryUntouched() {
        ASSERT_FALSE(desktop->list().empty());
        EXPECT_EQ(desktop->list().front(), userPath);
        EXPECT_EQ(desktop->get(userPath, "name"), "Terminal");
        EXPECT_EQ(desktop->get(userPath, "command"), "gnome-terminal");
        EXPECT_EQ(desktop->get(userPath, "binding"), "<Primary><Alt>t");
    }

    test::TempWorld world;
    std::string keyfile = world.path("config/glib-2.0/settings/keyfile");
    std::optional<Keybindings> desktop;
    std::string userPath;
    std::vector<std::pair<std::uint32_t, GrabProblem>> problems;
    std::vector<std::pair<int, int>> renewals;
    const HotKeyRec superF5 = onKey(KEY_F5, kCommandBit);
    const HotKeyRec controlAltG = onKey(KEY_G, kControlBit | kOptionBit);
    const HotKeyRec shiftKp1 = onKey(KEY_KP1, kShiftBit | kNumericPadBit);
};

TEST_F(GnomeKeybindingsTest, KeepsOneEntryPerHotKeyBesideTheUsersOwn) {
    auto source = makeSource();
    source->setHotKeys({superF5, controlAltG, shiftKp1});

    ASSERT_EQ(desktop->list().size(), 4u);
    expectUsersEntryUntouched();
    const std::string f5 = desktop->pathBinding("<Super>F5");
    const std::string g = desktop->pathBinding("<Primary><Alt>g");
    const std::string kp1 = desktop->pathBinding("<Shift>KP_1");
    ASSERT_FALSE(f5.empty());
    ASSERT_FALSE(g.empty());
    ASSERT_FALSE(kp1.empty());
    EXPECT_EQ(f5, std::string(kBase) + "presto-hk-96-100000/");
    EXPECT_EQ(desktop->get(f5, "command"), "'/opt/Presto/PrestoHotKey' 96 1048576");
    EXPECT_EQ(desktop->get(g, "command"), "'/opt/Presto/PrestoHotKey' 5 786432");
    EXPECT_NE(desktop->get(g, "name").find("Presto"), std::string::npos);
    EXPECT_EQ(renewals.back(), std::make_pair(3, 3));

    // A changed table: one key gone, one new, one kept.
    const HotKeyRec superShiftA = onKey(KEY_A, kCommandBit | kShiftBit);
    source->setHotKeys({controlAltG, superShiftA});
    ASSERT_EQ(desktop->list().size(), 3u);
    expectUsersEntryUntouched();
    EXPECT_EQ(desktop->pathBinding("<Super>F5"), "");
    EXPECT_EQ(desktop->pathBinding("<Shift>KP_1"), "");
    EXPECT_EQ(desktop->get(f5, "binding"), "") << "a removed entry keeps no binding";
    EXPECT_EQ(desktop->pathBinding("<Primary><Alt>g"), g);
    EXPECT_FALSE(desktop->pathBinding("<Shift><Super>a").empty());

    // The service switched off: an empty table.
    source->setHotKeys({});
    EXPECT_EQ(desktop->list(), std::vector<std::string>{userPath});
    expectUsersEntryUntouched();
}

TEST_F(GnomeKeybindingsTest, EndingRemovesOnlyItsOwnAndAKilledAgentsEntriesGoAtTheNextStart) {
    makeSource()->setHotKeys({superF5, controlAltG});
    EXPECT_EQ(desktop->list(), std::vector<std::string>{userPath});
    expectUsersEntryUntouched();

    // What an agent that was killed leaves behind.
    const std::string left = std::string(kBase) + "presto-hk-5-c0000/";
    desktop->set(left, "binding", "<Primary><Alt>g");
    desktop->set(left, "command", "'/old/PrestoHotKey' 5 786432");
    desktop->setList({left, userPath});
    auto source = makeSource();
    EXPECT_EQ(desktop->list(), std::vector<std::string>{userPath});
    EXPECT_EQ(desktop->get(left, "binding"), "");
    expectUsersEntryUntouched();
}

TEST_F(GnomeKeybindingsTest, KeysTheDesktopCannotTakeAreReported) {
    auto source = makeSource();
    const HotKeyRec capsA = onKey(KEY_A, kCapsLockBit);
    const HotKeyRec usersOwn = onKey(KEY_T, kControlBit | kOptionBit); // the user's terminal key
    source->setHotKeys({capsA, superF5, usersOwn});
    EXPECT_EQ(renewals.back(), std::make_pair(1, 3));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], std::make_pair(capsA.keyCode, GrabProblem::Unexpressible));
    EXPECT_EQ(problems[1], std::make_pair(usersOwn.keyCode, GrabProblem::HeldElsewhere));
    EXPECT_EQ(desktop->list().size(), 2u);
    expectUsersEntryUntouched();
}

// The built programs: PrestoKeys writes the entry, the command as GNOME would run it (in an
// environment without PRESTO_SOCKET_PATH) has Presto.daemon launch the bound program.
TEST_F(GnomeKeybindingsTest, TheEntrysCommandHasTheBuiltDaemonLaunchTheProgram) {
    test::PrestoSession session(world, "");
    session.writePreferences(600);
    const HotKeyRec superF5Key = test::PrestoSession::hotKey(KEY_F5, 0, kCommandBit);
    session.writeData({{superF5Key, "f5"}});
    session.startDaemon();
    // The keyfile in the temporary XDG_CONFIG_HOME, and no bus of the real session.
    session.startAgent({"PRESTO_KEY_SOURCE=gnome", "GSETTINGS_BACKEND=keyfile",
                        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + world.path("no-bus")});

    std::string path;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            Keybindings current(keyfile); // a fresh look at the file the agent writes
            path = current.pathBinding("<Super>F5");
            return !path.empty();
        },
        10s))
        << session.agentOutput();
    const std::string command = Keybindings(keyfile).get(path, "command");
    EXPECT_NE(command.find("--socket"), std::string::npos) << command;

    test::ChildProcess run({"/bin/sh", "-c", command}, {"PRESTO_SOCKET_PATH="});
    EXPECT_EQ(run.waitForExit(10s), 0);
    EXPECT_TRUE(session.waitForHits("f5", 1)) << session.agentOutput();
    EXPECT_NE(session.agentOutput().find("key source: GNOME custom keybindings"), std::string::npos)
        << session.agentOutput();

    // Ending the agent takes its entries away.
    session.agent().signal(SIGTERM);
    EXPECT_EQ(session.agent().waitForExit(10s), 0) << session.agentOutput();
    session.stopAgent();
    EXPECT_EQ(Keybindings(keyfile).pathBinding("<Super>F5"), "");
}

} // namespace
} // namespace presto
