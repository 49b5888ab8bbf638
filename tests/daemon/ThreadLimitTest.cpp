// The daemon at the user's process limit: no thread it asks for may end it.
#include "daemon/AssistControl.h"
#include "daemon/Clock.h"
#include "daemon/DelayedLaunches.h"
#include "daemon/FinderWorkers.h"
#include "daemon/LaunchActions.h"
#include "platform/linux/Subprocess.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/MemoryPasteboard.h"
#include "tests/support/OtherUser.h"
#include "tests/support/RecordingLauncher.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <semaphore>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace presto {
namespace {

// Runs `body` in a child process in which no thread can be made: RLIMIT_NPROC at 1, as a user
// who has a process already (root ignores the limit, so as root the child becomes "nobody").
// The child's exit status, or -1 when it died of a signal (an uncaught exception aborts).
// Nullopt when the limit could not be put in place here.
template <typename Body> std::optional<int> atProcessLimit(Body body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        rlimit one{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &one) != 0)
            ::_exit(77);
        if (::geteuid() == 0) {
            auto other = test::OtherUser::find();
            if (!other || !other->become())
                ::_exit(77);
        }
        try {
            std::thread([] {}).join();
            ::_exit(77); // threads can still be made: the limit does not hold here
        } catch (const std::system_error&) {
        }
        // _exit: the leak checker needs a thread of its own at exit.
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ThreadLimit, ADelayedLaunchWithoutAThreadIsDroppedAndTheDaemonGoesOn) {
    auto status = atProcessLimit([] {
        DelayedLaunches launches;
        bool started = launches.start(0.0f, [] {});
        launches.cancelPending(); // no pending launch, nothing to cancel
        return !started && launches.threadCount() == 0 ? 0 : 1;
    });
    if (!status)
        GTEST_SKIP() << "RLIMIT_NPROC does not stop thread creation here";
    EXPECT_EQ(*status, 0);
}

TEST(ThreadLimit, TheAssistantControlWithoutAThreadIsSkippedAndTheDaemonGoesOn) {
    auto status = atProcessLimit([] {
        test::TempWorld world;
        test::RecordingLauncher launcher;
        test::ScriptedFinder finder;
        test::FakeProcessTable processes;
        test::MemoryPasteboard pasteboard;
        LaunchActions actions{launcher, finder, processes, pasteboard,
                              FileReferences(world.locations().referencesDir())};
        AssistantWorker worker(actions, launcher, world.root() + "/PrestoAssist");
        worker.apply(true);
        worker.apply(false);
        return launcher.calls().empty() ? 0 : 1;
    });
    if (!status)
        GTEST_SKIP() << "RLIMIT_NPROC does not stop thread creation here";
    EXPECT_EQ(*status, 0);
}

// Runs in a fresh copy of this test program (see below), so that no earlier test has started
// the process reaper already: its thread is made on the first detached start.
TEST(ThreadLimitChild, DISABLED_SpawnWithoutAReaperThread) {
    if (!std::getenv("PRESTO_THREAD_LIMIT_CHILD"))
        GTEST_SKIP() << "only as the child of TheProcessReaperWithoutAThreadIsTriedAgainLater";
    // The sleeper is the second of the two processes the limit allows: no thread fits beside it.
    int spawned = subprocess::spawnDetached({"/bin/sleep", "5"});
    bool noThread = false;
    try {
        std::thread([] {}).join();
    } catch (const std::system_error&) {
        noThread = true;
    }
    // _exit: the leak checker needs a thread of its own at exit.
    ::_exit(spawned != 0 ? 2 : noThread ? 0 : 77);
}

TEST(ThreadLimit, TheProcessReaperWithoutAThreadIsTriedAgainLater) {
    pid_t pid = ::fork();
    if (pid == 0) {
        rlimit two{2, 2};
        if (::setrlimit(RLIMIT_NPROC, &two) != 0)
            ::_exit(77);
        if (::geteuid() == 0) {
            auto other = test::OtherUser::find();
            if (!other || !other->become())
                ::_exit(77);
        }
        ::setenv("PRESTO_THREAD_LIMIT_CHILD", "1", 1);
        const char* argv[] = {"/proc/self/exe", "--gtest_also_run_disabled_tests",
                              "--gtest_filter=ThreadLimitChild.*", nullptr};
        ::execv(argv[0], const_cast<char**>(argv));
        ::_exit(77);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "RLIMIT_NPROC does not stop thread creation here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "status " << status << ": a start at the process limit must not end the program";
}

TEST(DelayedLaunchCap, NoMoreThanThirtyTwoLaunchesWaitAtOnce) {
    std::atomic<int> ran{0};
    {
        DelayedLaunches launches;
        for (std::size_t i = 0; i < DelayedLaunches::kMaxWaiting; ++i)
            ASSERT_TRUE(launches.start(3600.0f, [&] { ++ran; }));
        EXPECT_FALSE(launches.start(3600.0f, [&] { ++ran; }));
        EXPECT_EQ(launches.waitingCount(), DelayedLaunches::kMaxWaiting);
        // The dropped press left no pending launch: a second press cancels nothing that waits.
        launches.cancelPending();
        EXPECT_EQ(launches.waitingCount(), DelayedLaunches::kMaxWaiting);
    }
    EXPECT_EQ(ran, 0) << "ending cancels every launch still waiting";
}

TEST(FinderWorkers, AtMostEightRunAndAStopWaitsForThemOnlyUntilItsDeadline) {
    using Clock = std::chrono::steady_clock;
    FinderWorkers workers;
    // Ends when asked to stop.
    auto stoppable = [](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any never;
        std::unique_lock lock(mutex);
        never.wait(lock, stop, [] { return false; });
    };
    for (std::size_t i = 0; i < FinderWorkers::kMaxRunning; ++i)
        ASSERT_TRUE(workers.start(stoppable));
    EXPECT_FALSE(workers.start(stoppable));
    EXPECT_TRUE(workers.stopAll(Clock::now() + std::chrono::minutes(1)));
    EXPECT_EQ(workers.running(), 0u);

    std::binary_semaphore release(0);
    ASSERT_TRUE(workers.start([&](std::stop_token) { release.acquire(); }));
    EXPECT_FALSE(workers.stopAll(Clock::now())) << "one that does not stop is not waited for";
    EXPECT_EQ(workers.running(), 1u);
    release.release();
    EXPECT_TRUE(workers.stopAll(Clock::now() + std::chrono::minutes(1)));
}

TEST(SystemClock, MeasuresPressesOnTheMonotonicClock) {
    SystemClock clock;
    auto monotonic = [] {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
    };
    const double before = monotonic();
    const double reading = clock.preciseSeconds();
    const double after = monotonic();
    // A wall-clock reading would be decades away from both.
    EXPECT_GE(reading, before - 1e-5);
    EXPECT_LE(reading, after + 1e-5);
}

} // namespace
} // namespace presto
