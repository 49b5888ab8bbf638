// The built Presto.daemon and PrestoKeys on real desktops without a screen (KWin with KDE's portal,
// GNOME Shell with gsd-media-keys, GNOME with KDE's portal installed too), with real key presses:
// each hot key is bound and fires, a changed table keeps the old keys and binds the new one, and
// Caps Lock on changes nothing.
#include "common/DaemonProtocol.h"
#include "common/PrefSocket.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/HeadlessDesktop.h"
#include "tests/support/TempWorld.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace presto::test {
namespace {

using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

struct Desktop {
    const char* name;
    DesktopKind kind;
    const char* source;   // the key source the agent ends up with
    const char* fallback; // the line that says why the portal was given up, if it was
    bool tellsHeldKeys;   // the desktop says which of its own keys it holds
    const char* forced;   // the source the agent is told to use, if any
};

void PrintTo(const Desktop& desktop, std::ostream* out) {
    *out << desktop.name;
}

struct Key {
    HotKeyRec rec;
    const char* program; // the marker program it runs
    std::initializer_list<std::uint32_t> keys;
};

const Key kControlAltJ{PrestoSession::hotKey(KEY_J, 'j', kControlBit | kOptionBit),
                       "j",
                       {KEY_LEFTCTRL, KEY_LEFTALT, KEY_J}};
const Key kControlAltK{PrestoSession::hotKey(KEY_K, 'k', kControlBit | kOptionBit),
                       "k",
                       {KEY_LEFTCTRL, KEY_LEFTALT, KEY_K}};
const Key kShiftAltN{PrestoSession::hotKey(KEY_N, 'N', kShiftBit | kOptionBit),
                     "n",
                     {KEY_LEFTSHIFT, KEY_LEFTALT, KEY_N}};
// KWin's own "Move Mouse to Focus".
const Key kSuperF5{
    PrestoSession::hotKey(KEY_F5, 0xf708, kCommandBit), "f5", {KEY_LEFTMETA, KEY_F5}};

class RealDesktopTest : public ::testing::TestWithParam<Desktop> {
protected:
    void SetUp() override {
        const std::string missing = HeadlessDesktop::missing(GetParam().kind);
        if (!missing.empty())
            GTEST_SKIP() << "missing " << missing << "; scripts/install-deps test installs it";
        desktop_.emplace(GetParam().kind, world_);
        session_.emplace(world_, "");
        session_->writePreferences(600);
    }
    void TearDown() override {
        if (session_) {
            session_->stopAgent();
            session_->stopDaemon();
        }
    }

    // Saves the table as the configuration application does.
    void save(const std::vector<Key>& keys) {
        std::vector<std::pair<HotKeyRec, std::string>> table;
        for (const Key& key : keys)
            table.emplace_back(key.rec, key.program);
        session_->writeData(table);
        PrefSocket(world_.locations().socketPath).sendMessage(kUpdateDataMessage, 8);
    }
    bool waitForOutput(const std::string& text) {
        return waitUntil([&] { return session_->agentOutput().find(text) != std::string::npos; },
                         60s);
    }
    // A desktop may take a moment to pick a new binding up: the first press that counts is
    // repeated until it does, within a generous ceiling.
    bool pressUntilItRuns(const Key& key) {
        const int before = session_->hits(key.program);
        return waitUntil(
            [&] {
                desktop_->press(key.keys);
                return session_->waitForHits(key.program, before + 1, 2s);
            },
            120s, 0ms);
    }
    // Every other press must run its program exactly once more.
    void pressAndExpectOneRun(const Key& key) {
        const int before = session_->hits(key.program);
        desktop_->press(key.keys);
        ASSERT_TRUE(session_->waitForHits(key.program, before + 1, 60s))
            << key.program << "\n"
            << session_->agentOutput() << session_->keysStatus();
    }
    // A hot key on a combination the desktop keeps for itself, where it says so.
    std::vector<Key> withHeldKey(std::vector<Key> keys) const {
        if (GetParam().tellsHeldKeys)
            keys.push_back(kSuperF5);
        return keys;
    }
    std::string grabbed(int working) const {
        const int total = working + (GetParam().tellsHeldKeys ? 1 : 0);
        return "PrestoKeys: " + std::to_string(working) + " of " + std::to_string(total) +
               " hot keys grabbed\n";
    }
    std::string expectedStatus() const {
        std::string status = std::string("source=") + GetParam().source + "\n";
        if (GetParam().fallback)
            status += std::string("fallback=") + GetParam().fallback + "\n";
        if (GetParam().tellsHeldKeys)
            status += "refused=Command+F5 (Mac key code 96) is held by another program\nkey=96 " +
                      std::to_string(kCommandBit) + " held\n";
        return status;
    }

    TempWorld world_;
    std::optional<HeadlessDesktop> desktop_;
    std::optional<PrestoSession> session_;
};

TEST_P(RealDesktopTest, EveryHotKeyIsBoundAndFiresAcrossATableChangeAndWithCapsLockOn) {
    save(withHeldKey({kControlAltJ, kControlAltK}));
    session_->startDaemon();
    std::vector<std::string> env = desktop_->environment();
    env.push_back(std::string("PRESTO_KEY_SOURCE=") + GetParam().forced);
    std::optional<XClient> x11;
    if (GetParam().kind == DesktopKind::KdeWithXWayland) {
        // Keys reach X11 programs only while one of their windows has the focus.
        const std::string display =
            env[std::find_if(env.begin(), env.end(),
                             [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0; }) -
                env.begin()]
                .substr(8);
        x11.emplace(display);
        const std::uint32_t window = x11->showWindow();
        ASSERT_TRUE(waitUntil([&] { return x11->hasFocus(window); }, 60s)) << desktop_->log();
    }
    session_->startAgent(env);
    ASSERT_TRUE(waitForOutput(grabbed(2))) << session_->agentOutput() << desktop_->log();
    EXPECT_NE(session_->agentOutput().find(std::string("key source: ") + GetParam().source),
              std::string::npos)
        << session_->agentOutput();
    EXPECT_EQ(session_->keysStatus(), expectedStatus());
    RecordProperty("keys-status.bound", session_->keysStatus());

    // Bound: each key fires.
    ASSERT_TRUE(pressUntilItRuns(kControlAltJ)) << session_->agentOutput() << desktop_->log();
    ASSERT_TRUE(pressUntilItRuns(kControlAltK)) << session_->agentOutput() << desktop_->log();
    pressAndExpectOneRun(kControlAltJ);

    // A changed table: the new key and the old ones.
    save(withHeldKey({kControlAltJ, kControlAltK, kShiftAltN}));
    ASSERT_TRUE(waitForOutput(grabbed(3))) << session_->agentOutput();
    EXPECT_EQ(session_->keysStatus(), expectedStatus());
    RecordProperty("keys-status.changed", session_->keysStatus());
    ASSERT_TRUE(pressUntilItRuns(kShiftAltN)) << session_->agentOutput() << desktop_->log();
    for (const Key& key : {kControlAltJ, kControlAltK, kShiftAltN})
        pressAndExpectOneRun(key);

    // Caps Lock on: the hot keys recorded without it fire all the same.
    desktop_->press({KEY_CAPSLOCK});
    const auto capsLock = desktop_->capsLockOn();
    if (capsLock) {
        ASSERT_TRUE(*capsLock) << "Caps Lock did not turn on";
    }
    RecordProperty("caps-lock", capsLock ? "on, as the desktop says" : "pressed once");
    for (const Key& key : {kControlAltJ, kShiftAltN})
        pressAndExpectOneRun(key);
    desktop_->press({KEY_CAPSLOCK});

    RecordProperty("runs", "j=" + std::to_string(session_->hits("j")) +
                               " k=" + std::to_string(session_->hits("k")) +
                               " n=" + std::to_string(session_->hits("n")));
    session_->agent().signal(SIGTERM);
    EXPECT_EQ(session_->agent().waitForExit(30s), 0) << session_->agentOutput();
    EXPECT_EQ(session_->agentOutput().find("does not know"), std::string::npos)
        << session_->agentOutput();
    if (GetParam().kind == DesktopKind::Kde) {
        // Ended, the agent leaves no key held in KDE's shortcut registry.
        std::vector<std::string> env = desktop_->environment();
        ChildProcess components({"/usr/bin/gdbus", "call", "--session", "--dest",
                                 "org.kde.kglobalaccel", "--object-path", "/kglobalaccel",
                                 "--method", "org.kde.KGlobalAccel.allComponents"},
                                env, world_.path("components.txt"));
        EXPECT_EQ(components.waitForExit(60s), 0);
        const std::string listed = readFile(world_.path("components.txt"));
        EXPECT_NE(listed.find("/component/kwin"), std::string::npos) << listed;
        EXPECT_EQ(listed.find("/component/presto"), std::string::npos) << listed;
    }
    // What it saw, for whoever reads the test's report.
    RecordProperty("agent-output", session_->agentOutput());
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, RealDesktopTest,
    ::testing::Values(
        Desktop{"KdePlasma", DesktopKind::Kde, "GlobalShortcuts portal", nullptr, true, ""},
        Desktop{"KdeXWayland", DesktopKind::KdeWithXWayland, "X11 through XWayland", nullptr, false,
                "xwayland"},
        Desktop{"Gnome", DesktopKind::Gnome, "GNOME custom keybindings", nullptr, false, ""},
        Desktop{"GnomeWithKdePortal", DesktopKind::GnomeWithKdePortal, "GNOME custom keybindings",
                "GlobalShortcuts portal does not work here (the portal's backend failed)", false,
                ""}),
    [](const ::testing::TestParamInfo<Desktop>& info) { return info.param.name; });

} // namespace
} // namespace presto::test
