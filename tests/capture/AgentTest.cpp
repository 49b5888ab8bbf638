// The agent's loop on a clock of the test's own, with a scripted key source and a stand-in daemon:
// a minute of the agent's life takes milliseconds.
#include "capture/Agent.h"

#include "capture/ReloadWatch.h"
#include "common/ReloadNotice.h"
#include "tests/capture/FakeDaemon.h"
#include "tests/support/TempWorld.h"

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

namespace presto {
namespace {

using namespace std::chrono_literals;

// Virtual time that moves only when the agent waits with nothing to do. A wait on a descriptor
// that is not marked quiet (a daemon's answer) is waited for in real time first, with a generous
// ceiling, since the stand-in daemon answers on a thread of its own.
class FakeClock : public AgentClock {
public:
    FakeClock() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        stopRead_ = UniqueFd(fds[0]);
        stopWrite_ = UniqueFd(fds[1]);
    }

    // What the agent waits on for signals: readable once the clock passes the end.
    int stopFd() const { return stopRead_.get(); }
    void endAt(std::chrono::milliseconds t) { end_ = start_ + t; }
    void at(std::chrono::milliseconds t, std::function<void()> action) {
        actions_.emplace(start_ + t, std::move(action));
    }
    void markQuiet(int fd) { quiet_.insert(fd); }
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
    }
    const std::vector<int>& timeouts() const { return timeouts_; }

    time_point now() override { return now_; }
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        timeouts_.push_back(timeoutMs);
        bool answerAwaited = false;
        for (nfds_t i = 0; i < count; ++i)
            answerAwaited = answerAwaited || (fds[i].fd >= 0 && !quiet_.count(fds[i].fd));
        int ready = ::poll(fds, count, answerAwaited ? 5000 : 0);
        if (ready != 0)
            return ready;
        const time_point until =
            now_ + std::chrono::milliseconds(timeoutMs < 0 ? 3'600'000 : timeoutMs);
        if (!actions_.empty() && actions_.begin()->first <= until) {
            auto action = actions_.begin();
            now_ = std::max(now_, action->first);
            auto run = std::move(action->second);
            actions_.erase(action);
            run();
            return ::poll(fds, count, 0);
        }
        now_ = until;
        if (now_ >= end_) {
            [[maybe_unused]] ssize_t n = ::write(stopWrite_.get(), "x", 1);
            return ::poll(fds, count, 0);
        }
        return 0;
    }

private:
    time_point start_ = time_point(1000h);
    time_point now_ = start_;
    time_point end_ = start_ + 60s;
    std::multimap<time_point, std::function<void()>> actions_;
    std::set<int> quiet_;
    std::vector<int> timeouts_;
    UniqueFd stopRead_, stopWrite_;
};

// Takes tables as told, refuses the keys the test names, and hands out queued presses.
class FakeKeySource : public KeySource {
public:
    FakeKeySource(Listener listener, const FakeClock& clock)
        : listener_(std::move(listener)), clock_(clock) {}

    std::string name() const override { return "fake keys"; }
    bool connected() const override { return true; }
    int fd() const override { return -1; }
    void setHotKeys(std::vector<HotKeyRec> hotKeys) override {
        if (!failure.empty()) {
            listener_.failed(failure);
            return;
        }
        tables.push_back(hotKeys);
        tableTimes.push_back(clock_.elapsed());
        int taken = 0;
        for (const HotKeyRec& rec : hotKeys) {
            if (refuse.count(rec.keyCode))
                listener_.problem(rec, GrabProblem::Refused);
            else
                ++taken;
        }
        listener_.renewed(taken, static_cast<int>(hotKeys.size()));
    }
    void retryRefusedGrabs() override { ++retries; }
    void dispatchEvents(const PressHandler& onPress) override {
        auto pending = std::move(queued);
        queued.clear();
        for (const HotKeyRec& rec : pending)
            onPress(rec);
    }

    std::vector<std::vector<HotKeyRec>> tables;
    std::vector<std::chrono::milliseconds> tableTimes;
    std::set<std::uint32_t> refuse;
    std::vector<HotKeyRec> queued;
    int retries = 0;
    std::string failure; // fails at the first table
    void tellWorking(const HotKeyRec& rec) { listener_.working(rec); }

private:
    Listener listener_;
    const FakeClock& clock_;
};

HotKeyRec hotKey(std::uint32_t keyCode, std::uint32_t modFlags) {
    return {kKeyDownEventType, modFlags, keyCode, 0, 0, kKindLaunch, 1, 0, 0};
}

class AgentTest : public ::testing::Test {
protected:
    AgentTest() : daemon(world.locations().socketPath) {
        statusPath = world.locations().runtimeDir + "/keys-status";
        clock.markQuiet(clock.stopFd());
    }

    // Runs the agent until the clock's end; its output is kept. With a failure, a first source
    // fails with it at once and the agent falls back to the one the test sees.
    void runAgent(const std::function<void(FakeKeySource&)>& setUp = {},
                  const std::string& failure = {}) {
        ReloadWatch watch(world.locations().runtimeDir);
        clock.markQuiet(watch.fd());
        char* buffer = nullptr;
        std::size_t size = 0;
        std::FILE* out = ::open_memstream(&buffer, &size);
        {
            StatusFile status(statusPath);
            Agent agent(link, out, clock, &status);
            if (!failure.empty()) {
                FakeKeySource failing(agent.listener(), clock);
                failing.failure = failure;
                EXPECT_EQ(agent.run(failing, clock.stopFd(), &watch), Agent::RunEnd::SourceFailed);
                EXPECT_EQ(agent.sourceFailure(), failure);
                agent.reportFallback("the fake portal", agent.sourceFailure(), "fake keys");
            }
            source.emplace(agent.listener(), clock);
            if (setUp)
                setUp(*source);
            EXPECT_EQ(agent.run(*source, clock.stopFd(), &watch), Agent::RunEnd::Stopped);
        }
        std::fclose(out);
        output.assign(buffer, size);
        std::free(buffer);
    }

    static std::string readFile(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    test::TempWorld world;
    test::FakeDaemon daemon;
    DaemonLink link{world.locations().socketPath, 2s};
    FakeClock clock;
    std::optional<FakeKeySource> source;
    std::string output;
    std::string statusPath;
    const HotKeyRec superF5 = hotKey(0x60, kCommandBit);
    const HotKeyRec controlAltG = hotKey(0x05, kControlBit | kOptionBit);
};

TEST_F(AgentTest, TakesTheTableAtStartAndSendsEachPressAsTheStoredRecordWhateverLocksAreOn) {
    const HotKeyRec capsLockF5 = hotKey(0x60, kCommandBit | kCapsLockBit);
    daemon.setTable({superF5, controlAltG, capsLockF5}, "100");
    const auto pressed = [](HotKeyRec rec, std::uint32_t addedFlags) {
        rec.modFlags |= addedFlags;
        rec.charCode = 'g';
        return rec;
    };
    // Num Lock and Caps Lock on leave a hot key recorded without them the same; a hot key
    // recorded with Caps Lock is still another one.
    const std::vector<std::pair<HotKeyRec, HotKeyRec>> cases = {
        {pressed(controlAltG, kNumericPadBit), controlAltG},
        {pressed(controlAltG, kCapsLockBit), controlAltG},
        {pressed(superF5, kCapsLockBit), capsLockF5},
        {pressed(superF5, 0), superF5},
    };
    clock.at(3s, [&] {
        for (const auto& [press, stored] : cases)
            source->queued.push_back(press);
    });
    clock.endAt(10s);
    runAgent();

    ASSERT_FALSE(source->tables.empty());
    EXPECT_EQ(source->tableTimes.front(), 0ms);
    EXPECT_EQ(source->tables.front(), (std::vector<HotKeyRec>{superF5, controlAltG, capsLockF5}));
    ASSERT_TRUE(daemon.waitForPresses(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const HotKeyRec sent = daemon.presses()[i];
        EXPECT_EQ(sent.eventType, kKeyDownEventType) << i;
        EXPECT_EQ(sent.keyCode, cases[i].second.keyCode) << i;
        EXPECT_EQ(sent.modFlags, cases[i].second.modFlags) << i;
    }
    EXPECT_EQ(output.find("does not know"), std::string::npos) << output;
}

TEST_F(AgentTest, APressOfAKeyNotInTheTableIsNotSent) {
    daemon.setTable({superF5}, "100");
    clock.at(2s, [&] { source->queued.push_back(controlAltG); });
    clock.at(3s, [&] { source->queued.push_back(superF5); });
    clock.endAt(5s);
    runAgent();
    ASSERT_TRUE(daemon.waitForPresses(1));
    ASSERT_EQ(daemon.presses().size(), 1u);
    EXPECT_EQ(daemon.presses().front().keyCode, superF5.keyCode);
}

TEST_F(AgentTest, AnUnchangedStampKeepsTheTableAndRetriesRefusedKeysAtEachPollWithoutSpinning) {
    daemon.setTable({superF5, controlAltG}, "100", 5);
    clock.endAt(60s);
    runAgent();
    EXPECT_EQ(source->tables.size(), 1u);
    EXPECT_EQ(daemon.getPrefCount(), 1);
    // One poll of the daemon every five seconds after the first: about eleven retries.
    EXPECT_GE(source->retries, 10);
    EXPECT_LE(source->retries, 12);
    // The agent slept until its next poll each time: no wait of zero, and few waits at all.
    for (int timeout : clock.timeouts())
        EXPECT_GT(timeout, 0);
    EXPECT_LE(clock.timeouts().size(), 30u);
}

TEST_F(AgentTest, ProblemsAreToldOnceAndListedForPeopleAndProgramsUntilTheKeyWorks) {
    const HotKeyRec numLockF5 = hotKey(0x60, kCommandBit | kNumericPadBit);
    daemon.setTable({numLockF5, controlAltG}, "100");
    std::string before;
    clock.at(4s, [&] { before = readFile(statusPath); });
    clock.at(5s, [&] { source->tellWorking(numLockF5); });
    clock.endAt(12s);
    runAgent([&](FakeKeySource& keys) { keys.refuse.insert(superF5.keyCode); });

    EXPECT_NE(output.find("was refused by the desktop"), std::string::npos) << output;
    EXPECT_NE(output.find("1 of 2 hot keys grabbed"), std::string::npos) << output;
    EXPECT_NE(before.find("source=fake keys\n"), std::string::npos) << before;
    EXPECT_NE(before.find("refused=Command+key (Mac key code 96) was refused by the desktop\n"),
              std::string::npos)
        << before;
    // The record as the daemon handed it over, not as a press would spell it.
    EXPECT_NE(
        before.find("\nkey=96 " + std::to_string(kCommandBit | kNumericPadBit) + " refused\n"),
        std::string::npos)
        << before;
    EXPECT_EQ(before.find("key code 5)"), std::string::npos) << before;
    EXPECT_EQ(before.find("key=5 "), std::string::npos) << before;

    const std::string after = readFile(statusPath);
    EXPECT_EQ(after, "source=fake keys\n") << after;
}

TEST_F(AgentTest, ASourceThatFailsAtStartHandsTheTableToTheNextWithOneLine) {
    daemon.setTable({superF5}, "100");
    clock.endAt(3s);
    runAgent({}, "its backend failed");

    ASSERT_EQ(source->tables.size(), 1u);
    EXPECT_EQ(source->tableTimes.front(), 0ms);
    EXPECT_EQ(source->tables.front(), std::vector<HotKeyRec>{superF5});
    EXPECT_EQ(daemon.getPrefCount(), 1);
    EXPECT_NE(output.find("PrestoKeys: the fake portal does not work here (its backend failed); "
                          "falling back to fake keys\n"),
              std::string::npos)
        << output;
    const std::string status = readFile(statusPath);
    EXPECT_EQ(status.rfind("source=fake keys\n"
                           "fallback=the fake portal does not work here (its backend failed)\n",
                           0),
              0u)
        << status;
}

TEST_F(AgentTest, ANewStampHasTheTableFetchedAtTheNextPoll) {
    daemon.setTable({superF5}, "100", 5);
    clock.at(7s, [&] { daemon.setTable({superF5, controlAltG}, "108", 5); });
    clock.endAt(20s);
    runAgent();
    ASSERT_EQ(source->tables.size(), 2u);
    EXPECT_EQ(source->tables[1], (std::vector<HotKeyRec>{superF5, controlAltG}));
    EXPECT_GT(source->tableTimes[1], 7s);
    EXPECT_LE(source->tableTimes[1], 10s);
}

TEST_F(AgentTest, TheReloadNoticeHasTheTableFetchedAtOnceWhateverTheStamp) {
    daemon.setTable({superF5}, "100", 5);
    // Two reloads within the daemon's second: the stamp stays, the table does not.
    clock.at(2s, [&] {
        daemon.setTable({controlAltG}, "100", 5);
        ASSERT_TRUE(touchReloadNotice(world.locations().runtimeDir));
    });
    clock.at(2500ms, [&] {
        daemon.setTable({controlAltG, superF5}, "100", 5);
        ASSERT_TRUE(touchReloadNotice(world.locations().runtimeDir));
    });
    // Other files of the folder, the agent's own status file among them, are no notice.
    clock.at(3s, [&] { world.writeFile("runtime/Presto/finder", "/tmp\n"); });
    clock.endAt(4s);
    runAgent();
    ASSERT_EQ(source->tables.size(), 3u);
    EXPECT_EQ(source->tableTimes[1], 2s);
    EXPECT_EQ(source->tables[1], (std::vector<HotKeyRec>{controlAltG}));
    EXPECT_EQ(source->tableTimes[2], 2500ms);
    EXPECT_EQ(source->tables[2], (std::vector<HotKeyRec>{controlAltG, superF5}));
    EXPECT_EQ(daemon.getPrefCount(), 3);
}

TEST_F(AgentTest, ADaemonThatDoesNotKnowAPressHasTheTableFetchedAtOnce) {
    daemon.setTable({superF5, controlAltG}, "100", 5);
    // The daemon drops a key without a new stamp; the agent's table is now out of date.
    clock.at(1s, [&] {
        daemon.setTable({superF5}, "100", 5);
        source->queued.push_back(controlAltG);
    });
    clock.endAt(3s);
    runAgent();
    EXPECT_NE(output.find("Presto.daemon does not know hot key"), std::string::npos) << output;
    ASSERT_EQ(source->tables.size(), 2u);
    EXPECT_EQ(source->tableTimes[1], 1s);
    EXPECT_EQ(source->tables[1], (std::vector<HotKeyRec>{superF5}));
}

} // namespace
} // namespace presto
