#include "platform/linux/TransientScope.h"

#include "tests/platform/TestProcesses.h"
#include "tests/support/TempWorld.h"

#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace presto {
namespace {

using test::eventually;

TEST(ScopePlacement, RequestsAreSentOnAWorkerInTurnWhileTheLauncherGoesOn) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::mutex mutex;
    std::vector<ScopeRequest> sent;
    std::vector<std::thread::id> senders;
    BackgroundScopePlacer placer([&](const ScopeRequest& request) {
        {
            std::lock_guard lock(mutex);
            sent.push_back(request);
            senders.push_back(std::this_thread::get_id());
        }
        // The first send hangs, as a D-Bus call to a stuck bus would.
        released.wait();
    });

    placer.place(101, "/usr/bin/gedit");
    placer.place(202, "/home/me/.local/share/applications/org.gnome.Terminal.desktop");
    placer.place(0, "/bin/never-started");
    // Both calls came back although the first send has not finished.
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return sent.size() == 1;
    }));
    release.set_value();
    placer.place(303, "/bin/last");
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return sent.size() == 3;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(sent[0].pid, 101);
    EXPECT_EQ(sent[0].unitName, "app-presto-gedit-101.scope");
    EXPECT_EQ(sent[1].pid, 202);
    EXPECT_EQ(sent[1].unitName, "app-presto-org.gnome.Terminal-202.scope");
    // No process, nothing to move.
    EXPECT_EQ(sent[2].pid, 303);
    EXPECT_NE(senders[0], std::this_thread::get_id());
}

TEST(ScopePlacement, UnitNamesKeepOnlyWhatSystemdAllows) {
    EXPECT_EQ(BackgroundScopePlacer::unitName(7, "/opt/My App (beta)/run-me.sh"),
              "app-presto-run_me.sh-7.scope");
    EXPECT_EQ(BackgroundScopePlacer::unitName(8, "/x/\xc3\xa9t\xc3\xa9"),
              "app-presto-__t__-8.scope");
    EXPECT_EQ(BackgroundScopePlacer::unitName(9, "/x/"), "app-presto-program-9.scope");
    EXPECT_LE(BackgroundScopePlacer::unitName(10, std::string(300, 'a')).size(), 130u);
}

TEST(ScopePlacement, TheCallAsksForATransientScopeHoldingTheProcess) {
    EXPECT_EQ(startTransientScopeParameters({4321, "app-presto-gedit-4321.scope"}),
              "('app-presto-gedit-4321.scope', 'fail', [('PIDs', <[uint32 4321]>), "
              "('CollectMode', <'inactive-or-failed'>)], @a(sa(sv)) [])");
}

TEST(ScopePlacement, OnlyTheDaemonRunningAsItsUnitMovesWhatItStarts) {
    test::TempWorld world;
    const std::string unit =
        world.writeFile("unit", "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                "com.nimbo.Presto.daemon.service\n");
    const std::string terminal =
        world.writeFile("terminal", "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                    "app-gnome-org.gnome.Terminal-1234.scope\n");
    const std::string other =
        world.writeFile("other", "0::/system.slice/other-com.nimbo.Presto.daemon.service.d\n");
    EXPECT_TRUE(runsAsDaemonUnit(unit));
    EXPECT_FALSE(runsAsDaemonUnit(terminal));
    EXPECT_FALSE(runsAsDaemonUnit(other));
    EXPECT_FALSE(runsAsDaemonUnit(world.path("missing")));
    // Tests never run as that unit, so the launcher's default moves nothing of theirs.
    EXPECT_EQ(systemdScopePlacer(), nullptr);
}

} // namespace
} // namespace presto
