// The press rules over the real Linux launcher: what the user sees is how often the application
// starts and with which files.
#include "daemon/Daemon.h"
#include "platform/linux/GioLauncher.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/MemoryPasteboard.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace presto {
namespace {

using namespace std::chrono_literals;

class NoAssistant final : public AssistantControl {
public:
    void apply(bool) override {}
};

class LinuxPressTest : public ::testing::Test {
protected:
    void start(int kind, double interval) {
        test::editPreferences(loc, kPrestoDomain, [&](PreferenceDomain& d) {
            d.setInteger(kKindIntervalHotKey, kind);
            d.setReal(kValueIntervalHotKey, interval);
        });
        test::writeDataFile(loc, {{key, {app}}});
        daemon = std::make_unique<Daemon>(loc, actions, assistant, clock);
    }
    void press() {
        std::vector<std::uint8_t> buffer = test::pressOf(key);
        daemon->dispatch(buffer.data(), buffer.size());
    }
    // One line per start of the application, holding its arguments. Waits for `expected` lines,
    // then a little longer so that a start too many would show.
    std::vector<std::string> starts(std::size_t expected) {
        auto lines = [&] {
            std::vector<std::string> result;
            std::istringstream in(test::readText(log));
            for (std::string line; std::getline(in, line);)
                result.push_back(line);
            return result;
        };
        test::eventually([&] { return lines().size() >= expected; });
        std::this_thread::sleep_for(300ms);
        return lines();
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
    std::string log = world.path("starts.log");
    std::string app = world.root() + "/apps/editor";
    std::string doc1 = world.writeFile("docs/one.txt", "1");
    std::string doc2 = world.writeFile("docs/two.txt", "2");
    HotKeyRec key = test::hotKey(14, kControlBit);
    test::ScriptedFinder finder;
    GioLauncher launcher{finder};
    test::FakeProcessTable processes;
    test::MemoryPasteboard pasteboard;
    SystemClock clock;
    NoAssistant assistant;
    LaunchActions actions{launcher, finder, processes, pasteboard,
                          FileReferences(loc.referencesDir())};
    std::unique_ptr<Daemon> daemon;

    void SetUp() override {
        test::writeExecutable(app, "#!/bin/sh\necho \"start $*\" >> '" + log + "'\n");
    }
};

TEST_F(LinuxPressTest, ModeOneWithNothingSelectedStartsTheApplicationOnce) {
    start(1, 1.0);
    press();
    EXPECT_EQ(starts(1), std::vector<std::string>{"start "});
}

TEST_F(LinuxPressTest, ModeTwoDoublePressStartsTheApplicationOnceWithTheSelection) {
    finder.setSelection({doc1, doc2});
    start(2, 0.5);
    press();
    press();
    EXPECT_EQ(starts(1), std::vector<std::string>{"start " + doc1 + " " + doc2});
    // The cancelled launch has ended without starting anything.
    ASSERT_TRUE(test::eventually([&] {
        daemon->reapFinishedLaunches();
        return daemon->launchThreads() == 0;
    }));
    EXPECT_EQ(starts(1).size(), 1u);
}

TEST_F(LinuxPressTest, NothingSelectedStartsAtOnceAndADoublePressStartsOnce) {
    // An interval no test waits out: a start can only be the one made at the press.
    start(2, 3600.0);
    press();
    EXPECT_EQ(daemon->launchThreads(), 0u) << "the press waits for a second one";
    press();
    EXPECT_EQ(starts(1), std::vector<std::string>{"start "});
}

TEST_F(LinuxPressTest, ModeTwoSinglePressStartsTheApplicationPlainly) {
    finder.setSelection({doc1});
    start(2, 0.1);
    press();
    EXPECT_EQ(starts(1), std::vector<std::string>{"start "});
}

} // namespace
} // namespace presto
