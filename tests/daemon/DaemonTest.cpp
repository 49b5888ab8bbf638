#include "daemon/Daemon.h"

#include "common/SnapshotFile.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/MemoryPasteboard.h"
#include "tests/support/RecordingLauncher.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <mutex>
#include <set>

namespace presto {
namespace {

using test::Bytes;
using Call = test::RecordingLauncher::Call;
using Kind = test::RecordingLauncher::Kind;
using namespace std::chrono_literals;

class FakeClock final : public Clock {
public:
    std::time_t seconds() override { return now_; }
    double preciseSeconds() override { return precise_; }
    void set(std::time_t seconds, double precise) {
        now_ = seconds;
        precise_ = precise;
    }
    void advance(double by) { precise_ += by; }

private:
    std::time_t now_ = 1765141234;
    double precise_ = 1765141234.5;
};

class RecordingAssistant final : public AssistantControl {
public:
    void apply(bool show) override { flags.push_back(show); }
    std::vector<bool> flags;
};

TEST(KeywordRule, ComparesUpToTheTerminatorOfWhatWasReceived) {
    auto matches = [](const Bytes& request, const char* keyword) {
        Bytes buffer = request;
        buffer.resize(ServerSocket::kBufferSize);
        return matchesKeyword(buffer.data(), request.size(), keyword);
    };
    Bytes trailing = test::bytesOf("GETPREF", true);
    trailing.insert(trailing.end(), {'x', 'y'});
    EXPECT_TRUE(matches(test::bytesOf("GETPREF"), "GETPREF"));
    EXPECT_TRUE(matches(test::bytesOf("GETPREF", true), "GETPREF"));
    EXPECT_TRUE(matches(trailing, "GETPREF"));
    EXPECT_TRUE(matches({}, "GETPREF"));
    EXPECT_FALSE(matches(test::bytesOf("GETPREFS"), "GETPREF"));
    EXPECT_FALSE(matches(test::bytesOf("GETVERS"), "GETPREF"));
    EXPECT_TRUE(matches(test::bytesOf("UPDTDATA"), "UPDTDATA"));
    EXPECT_FALSE(matches(test::bytesOf("UPDTDATA"), "UPDTPREF"));
    EXPECT_FALSE(matches(test::pressOf(test::hotKey(0, 0)), "GETPREF"));
}

TEST(DelayedLaunchWait, NegativeOrNonsenseIsNoWaitAndHugeIsCapped) {
    EXPECT_EQ(delayMicroseconds(1.5f), 1500000u);
    EXPECT_EQ(delayMicroseconds(-2.0f), 0u);
    EXPECT_EQ(delayMicroseconds(std::numeric_limits<float>::quiet_NaN()), 0u);
    EXPECT_EQ(delayMicroseconds(4294.0f), 4294000000u);
    EXPECT_EQ(delayMicroseconds(5000.0f), 4294967295u);
    EXPECT_EQ(delayMicroseconds(std::numeric_limits<float>::infinity()), 4294967295u);
}

class DaemonTest : public ::testing::Test {
protected:
    // Something is selected and every item takes files, so a second press could open something
    // else and single presses wait for it; tests that want less say so.
    DaemonTest() {
        finder.setSelection({itemB});
        launcher.setApplications({app, itemA, itemB});
    }

    void setPresto(const std::function<void(PreferenceDomain&)>& edit) {
        test::editPreferences(loc, kPrestoDomain, edit);
    }
    void setAssist(const std::function<void(PreferenceDomain&)>& edit) {
        test::editPreferences(loc, kPrestoAssistDomain, edit);
    }
    void setPressMode(int kind, double interval) {
        setPresto([&](PreferenceDomain& d) {
            d.setInteger(kKindIntervalHotKey, kind);
            d.setReal(kValueIntervalHotKey, interval);
        });
    }

    Daemon& start() {
        daemon = std::make_unique<Daemon>(loc, actions, assistant, clock);
        return *daemon;
    }

    Daemon::Reply send(const Bytes& message) {
        Bytes buffer = message;
        buffer.resize(ServerSocket::kBufferSize);
        return daemon->dispatch(buffer.data(), message.size());
    }
    Bytes replyTo(const Bytes& message) {
        Daemon::Reply reply = send(message);
        EXPECT_NE(reply.kind, Daemon::Reply::None);
        return Bytes(reply.data, reply.data + reply.size);
    }
    Daemon::Reply press(const HotKeyRec& key) { return send(test::pressOf(key)); }

    // Waits until every delayed launch has ended and been reclaimed.
    bool launchesSettled() {
        return test::eventually([&] {
            daemon->reapFinishedLaunches();
            return daemon->launchThreads() == 0;
        });
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
    test::RecordingLauncher launcher;
    test::ScriptedFinder finder;
    test::FakeProcessTable processes;
    test::MemoryPasteboard pasteboard;
    FakeClock clock;
    RecordingAssistant assistant;
    LaunchActions actions{launcher, finder, processes, pasteboard,
                          FileReferences(loc.referencesDir())};
    std::string itemA = world.writeFile("items/a.txt", "a");
    std::string itemB = world.writeFile("items/b.txt", "b");
    std::string app = world.writeFile("items/Editor", "#!/bin/sh\n");
    HotKeyRec keyA = test::hotKey(0, kCommandBit);
    HotKeyRec keyB = test::hotKey(11, kCommandBit | kOptionBit);
    HotKeyRec keyApp = test::hotKey(14, kControlBit);
    // Declared last: its delayed launches end before the doubles they use.
    std::unique_ptr<Daemon> daemon;
};

TEST_F(DaemonTest, GetPrefSendsEachHotKeyTwiceInFileOrderAndAppliesShowIcon) {
    test::writeDataFile(loc, {{keyA, {itemA}},
                              {test::hotKey(3, kOptionBit, kKindFinder, 0, 22), {}},
                              {test::hotKey(4, 0, kKindGroup, 2), {itemA, itemB}}});
    start();
    Bytes table = replyTo(test::bytesOf("GETPREF"));
    ASSERT_EQ(table.size(), 144u);
    EXPECT_EQ(PrefKEXTRec::fromBytes(table.data()), PrefKEXTRec::forHotKey(keyA));
    EXPECT_EQ(PrefKEXTRec::fromBytes(table.data() + 96).first.kind, kKindGroup);
    EXPECT_EQ(replyTo({}), table);
    EXPECT_EQ(assistant.flags, (std::vector<bool>{true, true}));
}

TEST_F(DaemonTest, ServiceOffGivesAnEmptyTableAndStillControlsTheAssistant) {
    test::writeDataFile(loc, {{keyA, {itemA}}});
    setAssist([](PreferenceDomain& d) { d.setBool(kFlagServiceStatus, false); });
    setPresto([](PreferenceDomain& d) { d.setBool(kFlagShowIcon, false); });
    start();
    EXPECT_TRUE(replyTo(test::bytesOf("GETPREF", true)).empty());
    EXPECT_EQ(assistant.flags, std::vector<bool>{false});
}

TEST_F(DaemonTest, GetVersCarriesTheExtensionIntervalAndTheStartStamp) {
    setPresto([](PreferenceDomain& d) { d.setInteger(kValueIntervalKEXT, 7); });
    start();
    const Bytes expected = {7, 0, 0, 0, '1', '7', '6', '5', '1', '4', '1', '2', '3', '4', 0, 0};
    EXPECT_EQ(replyTo(test::bytesOf("GETVERS")), expected);
}

TEST_F(DaemonTest, StampChangesWithDataReloadsAndServiceOrIconButNotWithIntervals) {
    test::writeDataFile(loc, {{keyA, {itemA}}});
    start();
    const std::string first = daemon->timeStamp();

    clock.set(1765141300, 1765141300.0);
    setPresto([](PreferenceDomain& d) {
        d.setReal(kValueIntervalHotKey, 0.4);
        d.setInteger(kKindIntervalHotKey, 0);
        d.setInteger(kValueIntervalKEXT, 2);
    });
    EXPECT_EQ(send(test::bytesOf("UPDTPREF")).kind, Daemon::Reply::None);
    EXPECT_EQ(daemon->syncRec().timeStampText(), first);
    EXPECT_EQ(daemon->syncRec().interval, 2);
    EXPECT_FLOAT_EQ(daemon->preference().hotKeyInterval, 0.4f);

    setAssist([](PreferenceDomain& d) { d.setBool(kFlagServiceStatus, false); });
    send(test::bytesOf("UPDTPREF"));
    EXPECT_EQ(daemon->syncRec().timeStampText(), "1765141300");
    EXPECT_TRUE(replyTo(test::bytesOf("GETPREF")).empty());

    clock.set(1765141400, 1765141400.0);
    setPresto([](PreferenceDomain& d) { d.setBool(kFlagShowIcon, false); });
    send(test::bytesOf("UPDTPREF"));
    EXPECT_EQ(daemon->syncRec().timeStampText(), "1765141400");

    clock.set(1765141500, 1765141500.0);
    setAssist([](PreferenceDomain& d) { d.setBool(kFlagServiceStatus, true); });
    test::writeDataFile(loc, {{keyA, {itemA}}, {keyB, {itemB}}});
    EXPECT_EQ(send(test::bytesOf("UPDTDATA")).kind, Daemon::Reply::None);
    EXPECT_EQ(daemon->syncRec().timeStampText(), "1765141500");
    EXPECT_EQ(daemon->syncRec().interval, 2);
    // The service flag is only taken up by UPDTPREF.
    EXPECT_TRUE(replyTo(test::bytesOf("GETPREF")).empty());
    send(test::bytesOf("UPDTPREF"));
    EXPECT_EQ(replyTo(test::bytesOf("GETPREF")).size(), 96u);
}

TEST_F(DaemonTest, EveryReloadWritesTheNoticeTheAgentWatches) {
    start();
    const std::string notice = loc.runtimeDir + "/reloaded";
    send(test::bytesOf("GETVERS"));
    send(test::bytesOf("GETPREF"));
    EXPECT_FALSE(std::filesystem::exists(notice)) << "only reloads write the notice";
    send(test::bytesOf("UPDTDATA"));
    ASSERT_TRUE(std::filesystem::exists(notice));
    std::filesystem::remove(notice);
    send(test::bytesOf("UPDTPREF"));
    EXPECT_TRUE(std::filesystem::exists(notice));
    EXPECT_EQ(std::filesystem::status(loc.runtimeDir).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
}

TEST_F(DaemonTest, UnknownKeysAndAMissingDataFileAreAnsweredNG) {
    start();
    EXPECT_TRUE(replyTo(test::bytesOf("GETPREF")).empty());
    HotKeyRec unknown = test::hotKey(40, kCommandBit | kShiftBit);
    Daemon::Reply reply = send(test::pressOf(unknown));
    ASSERT_EQ(reply.kind, Daemon::Reply::NotFound);
    EXPECT_EQ(Bytes(reply.data, reply.data + reply.size), (Bytes{'N', 'G', 0}));
    EXPECT_EQ(reply.pressed, unknown);
    // A short request reads as zeros beyond its end: still a key, still unknown.
    EXPECT_EQ(send(Bytes{10, 0, 0, 0, 0, 0, 0, 0, 5}).pressed.keyCode, 5u);
}

TEST_F(DaemonTest, GroupOpensEachItemInOrderAndPasteboardKeyRestoresItsSnapshot) {
    std::string snapshot = world.path("data/Presto/PasteboardData/Clip");
    ASSERT_TRUE(writeSnapshotFile(snapshot, {kUtf8PlainTextType, test::bytesOf("clip")}));
    HotKeyRec group = test::hotKey(5, kCommandBit, kKindGroup, 3);
    HotKeyRec paste = test::hotKey(6, kCommandBit, kKindPasteboard, 1);
    HotKeyRec finder = test::hotKey(7, kCommandBit, kKindFinder, 0, 21);
    test::writeDataFile(loc, {{group, {itemB, app, itemA}}, {paste, {snapshot}}, {finder, {}}});
    start();
    EXPECT_EQ(press(group).kind, Daemon::Reply::None);
    EXPECT_EQ(launcher.calls(),
              (std::vector<Call>{
                  {Kind::OpenItem, itemB}, {Kind::OpenItem, app}, {Kind::OpenItem, itemA}}));
    EXPECT_EQ(press(paste).kind, Daemon::Reply::None);
    EXPECT_EQ(pasteboard.contents(kUtf8PlainTextType), test::bytesOf("clip"));
    EXPECT_EQ(press(finder).kind, Daemon::Reply::None);
    EXPECT_EQ(launcher.calls().size(), 3u);
}

TEST_F(DaemonTest, ItemDeletedSinceLoadingOpensNothing) {
    setPressMode(0, 1.0);
    test::writeDataFile(loc, {{keyA, {itemA}}});
    start();
    std::filesystem::remove(itemA);
    EXPECT_EQ(press(keyA).kind, Daemon::Reply::None);
    EXPECT_TRUE(launcher.calls().empty());
}

TEST_F(DaemonTest, ModesZeroAndOneActAtOnceOnEveryPress) {
    test::writeDataFile(loc, {{keyApp, {app}}});
    setPressMode(0, 5.0);
    start();
    press(keyApp);
    press(keyApp);
    EXPECT_EQ(launcher.calls(), std::vector<Call>(2, Call{Kind::OpenItem, app}));
    EXPECT_EQ(daemon->launchThreads(), 0u);

    setPressMode(1, 5.0);
    send(test::bytesOf("UPDTPREF"));
    press(keyApp);
    press(keyApp);
    std::vector<Call> once = {{Kind::OpenSelectionWith, app}, {Kind::OpenItem, app}};
    std::vector<Call> expected(2, Call{Kind::OpenItem, app});
    expected.insert(expected.end(), once.begin(), once.end());
    expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(launcher.calls(), expected);
}

TEST_F(DaemonTest, ModeTwoSinglePressOpensAfterTheInterval) {
    setPressMode(2, 0.2);
    test::writeDataFile(loc, {{keyA, {itemA}}});
    start();
    auto pressed = std::chrono::steady_clock::now();
    press(keyA);
    EXPECT_TRUE(launcher.calls().empty());
    ASSERT_TRUE(launcher.waitForCalls(1, 30s));
    EXPECT_GE(std::chrono::steady_clock::now() - pressed, 200ms);
    ASSERT_TRUE(launchesSettled());
    EXPECT_EQ(launcher.calls(), (std::vector<Call>{{Kind::OpenItem, itemA}}));
}

TEST_F(DaemonTest, ModeTwoSecondPressOpensTheSelectionInsteadOfTheDelayedLaunch) {
    setPressMode(2, 30.0);
    test::writeDataFile(loc, {{keyApp, {app}}});
    start();
    press(keyApp);
    clock.advance(0.3);
    // Num Lock on the second press: still the same key.
    HotKeyRec again = keyApp;
    again.modFlags |= kNumericPadBit;
    press(again);
    EXPECT_EQ(launcher.calls(),
              (std::vector<Call>{{Kind::OpenSelectionWith, app}, {Kind::OpenItem, app}}));
    // The cancelled launch ends long before its 30 seconds, without opening anything.
    ASSERT_TRUE(launchesSettled());
    EXPECT_EQ(launcher.calls().size(), 2u);

    // A third press still within the first one's interval counts as a second press again.
    clock.advance(0.3);
    press(keyApp);
    EXPECT_EQ(launcher.calls().size(), 4u);
    EXPECT_EQ(daemon->launchThreads(), 0u);
}

TEST_F(DaemonTest, ModeThreeIsTheMirrorImage) {
    setPressMode(3, 0.2);
    test::writeDataFile(loc, {{keyApp, {app}}});
    start();
    press(keyApp);
    EXPECT_TRUE(launcher.calls().empty());
    ASSERT_TRUE(launcher.waitForCalls(2, 30s));
    EXPECT_EQ(launcher.calls(),
              (std::vector<Call>{{Kind::OpenSelectionWith, app}, {Kind::OpenItem, app}}));

    setPressMode(3, 30.0);
    send(test::bytesOf("UPDTPREF"));
    clock.advance(60.0);
    press(keyApp);
    clock.advance(0.5);
    press(keyApp);
    ASSERT_TRUE(launchesSettled());
    EXPECT_EQ(launcher.calls().size(), 3u);
    EXPECT_EQ(launcher.calls().back(), (Call{Kind::OpenItem, app}));
}

// Without a selection, or with an item that takes no files, a second press could open nothing
// else: the first press acts at once and a second one within the interval adds nothing.
TEST_F(DaemonTest, FirstPressActsAtOnceWhenASecondCouldChangeNothing) {
    struct Case {
        const char* what;
        int mode;
        bool selection;
        bool takesFiles;
    };
    const Case cases[] = {
        {"default mode, nothing selected", 2, false, true},
        {"default mode, a document or folder", 2, true, false},
        {"mirrored mode, nothing selected", 3, false, true},
        {"mirrored mode, a document or folder", 3, true, false},
    };
    test::writeDataFile(loc, {{keyApp, {app}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setPressMode(c.mode, 30.0);
        finder.setSelection(c.selection ? std::vector<std::string>{itemB}
                                        : std::vector<std::string>{});
        launcher.setApplications(c.takesFiles ? std::set<std::string>{app}
                                              : std::set<std::string>{});
        start();
        std::vector<Call> once{{Kind::OpenItem, app}};
        if (c.mode == 3)
            once.insert(once.begin(), {Kind::OpenSelectionWith, app});
        const std::size_t before = launcher.calls().size();
        auto since = [&] {
            auto calls = launcher.calls();
            return std::vector<Call>(calls.begin() + std::ptrdiff_t(before), calls.end());
        };

        press(keyApp);
        EXPECT_EQ(since(), once);
        EXPECT_EQ(daemon->launchThreads(), 0u);
        clock.advance(0.3);
        press(keyApp);
        clock.advance(0.3);
        press(keyApp);
        EXPECT_EQ(since(), once) << "a second press within the interval opened more";

        // Past the interval it is a first press again.
        clock.advance(30.0);
        press(keyApp);
        EXPECT_EQ(since().size(), 2 * once.size());
        clock.advance(60.0);
    }
}

TEST_F(DaemonTest, AtOncePressOfOneKeyLeavesAnotherKeysPendingLaunchAlone) {
    // Long enough that the pending launch is still waiting at the second key's press.
    setPressMode(2, 2.0);
    test::writeDataFile(loc, {{keyApp, {app}}, {keyA, {itemA}}});
    launcher.setApplications({app});
    start();
    press(keyApp);
    clock.advance(0.1);
    press(keyA);
    EXPECT_EQ(launcher.calls(), (std::vector<Call>{{Kind::OpenItem, itemA}}));
    ASSERT_TRUE(launcher.waitForCalls(2, 30s));
    ASSERT_TRUE(launchesSettled());
    EXPECT_EQ(launcher.calls(),
              (std::vector<Call>{{Kind::OpenItem, itemA}, {Kind::OpenItem, app}}));
}

TEST_F(DaemonTest, PressAfterTheIntervalIsASinglePressAgain) {
    setPressMode(3, 30.0);
    test::writeDataFile(loc, {{keyApp, {app}}});
    start();
    press(keyApp);
    clock.advance(30.0);
    press(keyApp);
    // Neither press acted at once; two delayed launches wait.
    EXPECT_TRUE(launcher.calls().empty());
    EXPECT_EQ(daemon->launchThreads(), 2u);
}

TEST_F(DaemonTest, FirstPressAfterStartIsNeverASecondPress) {
    setPressMode(3, 30.0);
    // A key record of all zeros equals the cleared last key; only the time tells them apart.
    HotKeyRec zero{};
    zero.kind = kKindLaunch;
    zero.itemCount = 1;
    test::writeDataFile(loc, {{zero, {app}}});
    start();
    press(zero);
    EXPECT_TRUE(launcher.calls().empty());
    EXPECT_EQ(daemon->launchThreads(), 1u);
}

TEST_F(DaemonTest, PressesOfTwoKeysWithinTheIntervalBothLaunch) {
    setPressMode(2, 0.2);
    test::writeDataFile(loc, {{keyA, {itemA}}, {keyB, {itemB}}});
    start();
    press(keyA);
    clock.advance(0.05);
    press(keyB);
    ASSERT_TRUE(launcher.waitForCalls(2, 30s));
    ASSERT_TRUE(launchesSettled());
    auto calls = launcher.calls();
    std::sort(calls.begin(), calls.end(), [](auto& a, auto& b) { return a.path < b.path; });
    EXPECT_EQ(calls, (std::vector<Call>{{Kind::OpenItem, itemA}, {Kind::OpenItem, itemB}}));
}

TEST_F(DaemonTest, PendingLaunchKeepsWhatItWasGivenAcrossAReload) {
    setPressMode(2, 0.3);
    test::writeDataFile(loc, {{keyA, {itemA}}});
    start();
    press(keyA);
    test::writeDataFile(loc, {{keyA, {itemB}}});
    send(test::bytesOf("UPDTDATA"));
    ASSERT_TRUE(launcher.waitForCalls(1, 30s));
    EXPECT_EQ(launcher.calls(), (std::vector<Call>{{Kind::OpenItem, itemA}}));
}

TEST_F(DaemonTest, FinishedLaunchThreadsAreReclaimed) {
    setPressMode(2, 0.0);
    test::writeDataFile(loc, {{keyA, {itemA}}, {keyB, {itemB}}});
    start();
    for (int i = 0; i < 20; ++i) {
        press(i % 2 ? keyA : keyB);
        clock.advance(1.0);
    }
    ASSERT_TRUE(launcher.waitForCalls(20, 30s));
    ASSERT_TRUE(launchesSettled());
}

TEST_F(DaemonTest, UnknownIntervalKindDoesNothing) {
    setPressMode(7, 0.0);
    test::writeDataFile(loc, {{keyA, {itemA}}});
    start();
    EXPECT_EQ(press(keyA).kind, Daemon::Reply::None);
    EXPECT_EQ(daemon->launchThreads(), 0u);
    EXPECT_TRUE(launcher.calls().empty());
}

} // namespace
} // namespace presto
