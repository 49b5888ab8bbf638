// PrestoKeys with the real Presto.daemon on a private Xvfb server, typed on through XTEST.
#include "common/PrefSocket.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/TempWorld.h"

#include <csignal>
#include <ctime>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <thread>

namespace presto::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kXKeycodeOffset = 8;
constexpr std::uint8_t keycodeOf(std::uint32_t evdev) {
    return static_cast<std::uint8_t>(evdev + kXKeycodeOffset);
}

class PrestoKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Xvfb::installed())
            GTEST_SKIP() << "Xvfb is not installed; scripts/install-deps test installs it";
        xvfb_.emplace();
        x_.emplace(xvfb_->display());
        session_.emplace(world_, xvfb_->display());
        session_->writePreferences();

        shiftKey = x_->keycodeFor(0xffe1);
        controlKey = x_->keycodeFor(0xffe3);
        altKey = x_->keycodeFor(0xffe9);
        superKey = x_->keycodeFor(0xffeb);
        capsLockKey = x_->keycodeFor(0xffe5);
        numLockKey = x_->keycodeFor(0xff7f);
        ASSERT_TRUE(shiftKey && controlKey && altKey && superKey && capsLockKey && numLockKey);
        superMask = x_->modifierMaskOf(superKey);
        altMask = x_->modifierMaskOf(altKey);
        numLockMask = x_->modifierMaskOf(numLockKey);
        ASSERT_TRUE(superMask && altMask && numLockMask);
    }

    void start(const std::vector<std::pair<HotKeyRec, std::string>>& hotKeys) {
        session_->writeData(hotKeys);
        session_->startDaemon();
        daemonStarted_ = std::time(nullptr);
        session_->startAgent();
    }

    // Waits for the agent to say it has renewed its grabs for the nth time, so that probing its
    // grabs cannot race with it taking them.
    void waitForGrabs(const std::string& counts, int nth = 1) {
        const std::string line = "PrestoKeys: " + counts + " hot keys grabbed\n";
        ASSERT_TRUE(waitUntil([&] { return occurrences(line) >= nth; }, 30s))
            << "no \"" << counts << "\" (" << nth << ")\n"
            << session_->agentOutput();
    }
    int occurrences(const std::string& text) {
        const std::string output = session_->agentOutput();
        int n = 0;
        for (auto at = output.find(text); at != std::string::npos; at = output.find(text, at + 1))
            ++n;
        return n;
    }
    // The agent holds a combination when this client cannot grab it.
    bool agentHolds(std::uint8_t keycode, std::uint16_t mask) {
        return !x_->canGrab(keycode, mask);
    }

    void toggle(std::uint8_t lockKey, std::uint16_t lockMask, bool on) {
        if (((x_->modifierState() & lockMask) != 0) != on)
            x_->tap(lockKey);
        ASSERT_EQ((x_->modifierState() & lockMask) != 0, on);
    }

    // The daemon's time stamp has one-second steps: a change in the second of its last reload
    // would go unseen, so a test that changes something waits for the next second first.
    void waitForANewSecond() {
        waitUntil([&] { return std::time(nullptr) > daemonStarted_; }, 30s, 20ms);
    }

    // A press that must not run anything: a matching press made right after it must run alone.
    void expectNothingRuns(const std::string& name, std::uint8_t keycode,
                           std::initializer_list<std::uint8_t> held, const std::string& witness,
                           std::uint8_t witnessKey,
                           std::initializer_list<std::uint8_t> witnessHeld) {
        const int before = session_->hits(name);
        const int witnessBefore = session_->hits(witness);
        x_->tap(keycode, held);
        x_->tap(witnessKey, witnessHeld);
        ASSERT_TRUE(session_->waitForHits(witness, witnessBefore + 1));
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(session_->hits(name), before) << name << " ran although it should not";
    }

    TempWorld world_;
    std::optional<Xvfb> xvfb_;
    std::optional<XClient> x_;
    std::optional<PrestoSession> session_;
    std::time_t daemonStarted_ = 0;
    std::uint8_t shiftKey = 0, controlKey = 0, altKey = 0, superKey = 0, capsLockKey = 0,
                 numLockKey = 0;
    std::uint16_t superMask = 0, altMask = 0, numLockMask = 0;
};

const HotKeyRec kSuperShiftA = PrestoSession::hotKey(KEY_A, 'a', kCommandBit | kShiftBit);
// Not Control+Alt: X servers keep Control+Alt+F keys for switching consoles.
const HotKeyRec kAltF5 = PrestoSession::hotKey(KEY_F5, 0xf708, kOptionBit);

TEST_F(PrestoKeysTest, PressingAHotKeyRunsItsExecutable) {
    start({{kSuperShiftA, "a"}, {kAltF5, "f5"}});
    waitForGrabs("2 of 2");
    EXPECT_TRUE(agentHolds(keycodeOf(KEY_A), superMask | XClient::kShiftMask));
    EXPECT_TRUE(agentHolds(keycodeOf(KEY_F5), altMask));

    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    ASSERT_TRUE(session_->waitForHits("a", 1)) << session_->agentOutput();
    x_->tap(keycodeOf(KEY_F5), {altKey});
    ASSERT_TRUE(session_->waitForHits("f5", 1)) << session_->agentOutput();
    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    ASSERT_TRUE(session_->waitForHits("a", 2));

    // The same key with fewer modifiers is another combination and stays with other programs.
    EXPECT_TRUE(x_->canGrab(keycodeOf(KEY_A), superMask));
    expectNothingRuns("a", keycodeOf(KEY_A), {superKey}, "f5", keycodeOf(KEY_F5), {altKey});
}

TEST_F(PrestoKeysTest, NumLockDoesNotChangeAHotKey) {
    start({{kSuperShiftA, "a"}});
    waitForGrabs("1 of 1");
    toggle(numLockKey, numLockMask, true);
    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    ASSERT_TRUE(session_->waitForHits("a", 1)) << session_->agentOutput();
    toggle(numLockKey, numLockMask, false);
    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    ASSERT_TRUE(session_->waitForHits("a", 2));
}

TEST_F(PrestoKeysTest, CapsLockOnLeavesAHotKeyRecordedWithoutItAndSelectsOneRecordedWithIt) {
    const HotKeyRec plain = PrestoSession::hotKey(KEY_A, 'a', kCommandBit);
    const HotKeyRec withCaps = PrestoSession::hotKey(KEY_S, 's', kCommandBit | kCapsLockBit);
    const HotKeyRec twinPlain = PrestoSession::hotKey(KEY_D, 'd', kCommandBit);
    const HotKeyRec twinCaps = PrestoSession::hotKey(KEY_D, 'd', kCommandBit | kCapsLockBit);
    start({{plain, "plain"}, {withCaps, "caps"}, {twinPlain, "twin"}, {twinCaps, "twin-caps"}});
    waitForGrabs("4 of 4");

    x_->tap(keycodeOf(KEY_A), {superKey});
    ASSERT_TRUE(session_->waitForHits("plain", 1)) << session_->agentOutput();
    expectNothingRuns("caps", keycodeOf(KEY_S), {superKey}, "twin", keycodeOf(KEY_D), {superKey});

    toggle(capsLockKey, XClient::kLockMask, true);
    x_->tap(keycodeOf(KEY_A), {superKey});
    ASSERT_TRUE(session_->waitForHits("plain", 2)) << session_->agentOutput();
    x_->tap(keycodeOf(KEY_S), {superKey});
    ASSERT_TRUE(session_->waitForHits("caps", 1)) << session_->agentOutput();
    expectNothingRuns("twin", keycodeOf(KEY_D), {superKey}, "twin-caps", keycodeOf(KEY_D),
                      {superKey});
    // Num Lock on as well changes nothing about it.
    toggle(numLockKey, numLockMask, true);
    x_->tap(keycodeOf(KEY_A), {superKey});
    ASSERT_TRUE(session_->waitForHits("plain", 3)) << session_->agentOutput();
    EXPECT_EQ(session_->agentOutput().find("does not know"), std::string::npos)
        << session_->agentOutput();
}

TEST_F(PrestoKeysTest, TurningTheServiceOffReleasesEveryGrabWithinOnePollInterval) {
    start({{kSuperShiftA, "a"}, {kAltF5, "f5"}});
    const std::vector<std::pair<std::uint8_t, std::uint16_t>> grabs = {
        {keycodeOf(KEY_A), superMask | XClient::kShiftMask},
        {keycodeOf(KEY_A), superMask | XClient::kShiftMask | numLockMask},
        {keycodeOf(KEY_F5), altMask},
        {keycodeOf(KEY_F5), altMask | numLockMask}};
    waitForGrabs("2 of 2");
    for (auto [key, mask] : grabs)
        ASSERT_TRUE(agentHolds(key, mask));
    waitForANewSecond();

    session_->setServiceStatus(false);
    const bool released = waitUntil(
        [&] {
            for (auto [key, mask] : grabs)
                if (agentHolds(key, mask))
                    return false;
            return true;
        },
        30s);
    ASSERT_TRUE(released) << session_->agentOutput();

    std::this_thread::sleep_for(1100ms); // a new second again
    session_->setServiceStatus(true);
    waitForGrabs("2 of 2", 2);
    for (auto [key, mask] : grabs)
        EXPECT_TRUE(agentHolds(key, mask));
    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    EXPECT_TRUE(session_->waitForHits("a", 1));
}

TEST_F(PrestoKeysTest, AKeyHeldByAnotherClientIsReportedAndTheOthersWork) {
    const HotKeyRec superS = PrestoSession::hotKey(KEY_S, 's', kCommandBit);
    ASSERT_TRUE(x_->grab(keycodeOf(KEY_A), superMask | XClient::kShiftMask));
    start({{kSuperShiftA, "a"}, {superS, "s"}});
    waitForGrabs("1 of 2");
    EXPECT_EQ(occurrences("PrestoKeys: hot key Command+Shift+A (Mac key code 0) is held by "
                          "another program; the others stay active\n"),
              1)
        << session_->agentOutput();
    EXPECT_EQ(session_->agentOutput().find("Mac key code 1)"), std::string::npos)
        << "only the held hot key is reported";
    const std::string heldLine = "key=" + std::to_string(kSuperShiftA.keyCode) + " " +
                                 std::to_string(kSuperShiftA.modFlags) + " held\n";
    EXPECT_NE(session_->keysStatus().find(heldLine), std::string::npos) << session_->keysStatus();
    x_->tap(keycodeOf(KEY_S), {superKey});
    EXPECT_TRUE(session_->waitForHits("s", 1));

    // Once the other program lets go, the next poll takes the key.
    x_->ungrab(keycodeOf(KEY_A), superMask | XClient::kShiftMask);
    waitForGrabs("2 of 2");
    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    EXPECT_TRUE(session_->waitForHits("a", 1));
    EXPECT_EQ(occurrences("is held by another program"), 1) << "told once, not at every retry";
    EXPECT_EQ(session_->keysStatus(), "source=X11\n");
}

TEST_F(PrestoKeysTest, ALayoutOrModifierMapChangeKeepsThePhysicalKey) {
    start({{kSuperShiftA, "a"}});
    waitForGrabs("1 of 1");

    // Another layout puts "q" on the key; Num Lock moves to another modifier bit.
    x_->setKeysyms(keycodeOf(KEY_A), 'q', 'Q');
    const std::uint16_t newNumLockMask = 1 << 5; // Mod3, free in the default keymap
    ASSERT_NE(newNumLockMask, superMask);
    ASSERT_TRUE(x_->moveModifierKey(numLockKey, 5));
    waitForGrabs("1 of 1", 3); // one renewal for each of the two mapping changes
    EXPECT_TRUE(agentHolds(keycodeOf(KEY_A), superMask | XClient::kShiftMask | newNumLockMask));

    toggle(numLockKey, newNumLockMask, true);
    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    ASSERT_TRUE(session_->waitForHits("a", 1)) << session_->agentOutput();
    EXPECT_TRUE(x_->canGrab(keycodeOf(KEY_A), superMask | XClient::kShiftMask | numLockMask))
        << "the grab under the old Num Lock bit is released";
}

TEST_F(PrestoKeysTest, EverySavedChangeIsTakenAtOnceEvenTwoInOneSecond) {
    // A poll interval far beyond the test's waits: only the daemon's reload notice can tell.
    session_->writePreferences(600);
    const HotKeyRec superS = PrestoSession::hotKey(KEY_S, 's', kCommandBit);
    start({{kSuperShiftA, "a"}, {superS, "s"}});
    waitForGrabs("2 of 2");

    // Two saves right after each other, most often within the daemon's one-second stamp.
    session_->writeData({{superS, "s"}});
    PrefSocket(world_.locations().socketPath).sendMessage(kUpdateDataMessage, 8);
    waitForGrabs("1 of 1");
    EXPECT_FALSE(agentHolds(keycodeOf(KEY_A), superMask | XClient::kShiftMask));
    session_->writeData({{superS, "s"}, {kSuperShiftA, "a"}});
    PrefSocket(world_.locations().socketPath).sendMessage(kUpdateDataMessage, 8);
    waitForGrabs("2 of 2", 2);
    x_->tap(keycodeOf(KEY_A), {superKey, shiftKey});
    EXPECT_TRUE(session_->waitForHits("a", 1)) << session_->agentOutput();
}

TEST_F(PrestoKeysTest, AHeldKeyRunsOnce) {
    if (!x_->repeatsWhenHeld(keycodeOf(KEY_Z), 800ms))
        GTEST_SKIP() << "this X server does not repeat held keys";
    start({{kSuperShiftA, "a"}, {kAltF5, "f5"}});
    waitForGrabs("2 of 2");
    x_->press(superKey);
    x_->press(shiftKey);
    x_->press(keycodeOf(KEY_A));
    x_->sync();
    std::this_thread::sleep_for(800ms);
    x_->release(keycodeOf(KEY_A));
    x_->release(shiftKey);
    x_->release(superKey);
    // Everything the held key sent is in before the press that follows it.
    x_->tap(keycodeOf(KEY_F5), {altKey});
    ASSERT_TRUE(session_->waitForHits("f5", 1));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(session_->hits("a"), 1);
}

TEST_F(PrestoKeysTest, EndsCleanlyOnSigtermAndReleasesItsKeys) {
    start({{kSuperShiftA, "a"}});
    waitForGrabs("1 of 1");
    session_->agent().signal(SIGTERM);
    EXPECT_EQ(session_->agent().waitForExit(30s), 0);
    EXPECT_TRUE(x_->canGrab(keycodeOf(KEY_A), superMask | XClient::kShiftMask));
}

TEST_F(PrestoKeysTest, EndsWhenTheXServerGoesAway) {
    start({{kSuperShiftA, "a"}});
    waitForGrabs("1 of 1");
    x_.reset();
    xvfb_->stop();
    EXPECT_EQ(session_->agent().waitForExit(30s), 0) << session_->agentOutput();
}

TEST_F(PrestoKeysTest, WaitsQuietlyForAMissingDaemonAndTakesUpItsNewTable) {
    start({{kSuperShiftA, "a"}});
    waitForGrabs("1 of 1");
    session_->stopDaemon();

    const long ticksBefore = session_->agent().cpuTicks();
    std::this_thread::sleep_for(2500ms);
    EXPECT_TRUE(session_->agent().running());
    // Two or three failed polls cost far less than a clock tick each; busy waiting costs all.
    EXPECT_LE(session_->agent().cpuTicks() - ticksBefore, 3);
    EXPECT_NE(session_->agentOutput().find("Presto.daemon does not answer"), std::string::npos);

    const HotKeyRec superS = PrestoSession::hotKey(KEY_S, 's', kCommandBit);
    session_->writeData({{superS, "s"}});
    session_->startDaemon();
    waitForGrabs("1 of 1", 2);
    EXPECT_TRUE(agentHolds(keycodeOf(KEY_S), superMask));
    EXPECT_FALSE(agentHolds(keycodeOf(KEY_A), superMask | XClient::kShiftMask))
        << "a key no longer in the table is released";
    x_->tap(keycodeOf(KEY_S), {superKey});
    EXPECT_TRUE(session_->waitForHits("s", 1));
}

} // namespace
} // namespace presto::test
