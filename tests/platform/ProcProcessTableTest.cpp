#include "platform/linux/ProcProcessTable.h"

#include "tests/platform/TestProcesses.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace presto {
namespace {

TEST(ProcProcessTable, FindsTheFinderAtOnceButNotByAnotherCase) {
    test::TempWorld world;
    ProcProcessTable empty(world.path("no-proc"));
    EXPECT_EQ(empty.findProcessByName("Finder"), ProcessTable::kFinderProcess);
    EXPECT_EQ(ProcProcessTable().findProcessByName("finder"), std::nullopt);
}

TEST(ProcProcessTable, FindsAChildByItsExecutableNameAndEndsIt) {
    test::TempWorld world;
    fs::path sleepProgram = fs::exists("/bin/sleep") ? "/bin/sleep" : "/usr/bin/sleep";
    // Longer than the kernel's 15-character comm, and unique to this run.
    std::string name = "PrestoSleeper-" + std::to_string(getpid());
    std::string copy = world.path("bin/" + name);
    fs::copy_file(sleepProgram, copy);
    test::makeExecutable(copy);

    char arg0[] = "sleeper", arg1[] = "30";
    char* argv[] = {arg0, arg1, nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, copy.c_str(), nullptr, nullptr, argv, environ), 0);

    ProcProcessTable table;
    EXPECT_EQ(table.findProcessByName(name), child);
    EXPECT_EQ(table.findProcessByName("prestosleeper-" + std::to_string(getpid())), std::nullopt);
    EXPECT_EQ(table.findProcessByName(name.substr(0, 15)), std::nullopt);

    EXPECT_TRUE(table.killProcess(child));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(table.findProcessByName(name), std::nullopt);
    EXPECT_FALSE(table.killProcess(child));
}

// A made-up /proc for the cases a test cannot produce with real processes.
class FakeProcTest : public ::testing::Test {
protected:
    void addProcess(const std::string& pid, uid_t uid, const std::string& state,
                    const std::string& comm, const std::string& exeTarget) {
        world_.writeFile("proc/" + pid + "/status", "Name:\t" + comm + "\nState:\t" + state +
                                                        "\nUid:\t" + std::to_string(uid) + "\t" +
                                                        std::to_string(uid) + "\t0\t0\n");
        world_.writeFile("proc/" + pid + "/comm", comm + "\n");
        if (!exeTarget.empty())
            fs::create_symlink(exeTarget, world_.path("proc/" + pid + "/exe"));
    }

    test::TempWorld world_;
    uid_t me_ = getuid();
};

TEST_F(FakeProcTest, MatchesOnlyLiveProcessesOfThisUser) {
    addProcess("10", me_ + 1, "S (sleeping)", "Other", "/usr/bin/Other");
    addProcess("11", me_, "Z (zombie)", "Gone", "");
    addProcess("12", me_, "R (running)", "Mine", "/opt/app/Mine");
    addProcess("13", me_, "S (sleeping)", "Replaced", "/opt/app/Replaced (deleted)");
    addProcess("14", me_, "S (sleeping)", "shortcomm", "/opt/app/RealName");
    world_.writeFile("proc/self/status", "Uid:\t" + std::to_string(me_) + "\n");

    ProcProcessTable table(world_.path("proc"));
    EXPECT_EQ(table.findProcessByName("Other"), std::nullopt);
    EXPECT_EQ(table.findProcessByName("Gone"), std::nullopt);
    EXPECT_EQ(table.findProcessByName("Mine"), 12);
    EXPECT_EQ(table.findProcessByName("Replaced"), 13);
    EXPECT_EQ(table.findProcessByName("RealName"), 14);
    EXPECT_EQ(table.findProcessByName("shortcomm"), std::nullopt);
    EXPECT_EQ(table.findProcessByName(""), std::nullopt);
}

TEST_F(FakeProcTest, FallsBackToTheCutCommWhenTheExecutableIsHidden) {
    addProcess("20", me_, "S (sleeping)", "PrestoAssistant", "");
    addProcess("21", me_, "S (sleeping)", "Short", "");

    ProcProcessTable table(world_.path("proc"));
    EXPECT_EQ(table.findProcessByName("PrestoAssistantHelper"), 20);
    EXPECT_EQ(table.findProcessByName("PrestoAssistant"), 20);
    EXPECT_EQ(table.findProcessByName("PrestoAssist"), std::nullopt);
    EXPECT_EQ(table.findProcessByName("Short"), 21);
    EXPECT_EQ(table.findProcessByName("ShortAndLongerThan15"), std::nullopt);
}

TEST_F(FakeProcTest, ARestrictedNameCountsOnlyWhileItRunsItsProgram) {
    // The program is reached through a symlink, as an installed one may be.
    const std::string program = fs::canonical(world_.writeFile("opt/PrestoAssist", "")).string();
    fs::create_directories(world_.path("bin"));
    fs::create_symlink(program, world_.path("bin/PrestoAssist"));
    addProcess("30", me_, "S (sleeping)", "PrestoAssist", "/home/dev/Presto/PrestoAssist");
    addProcess("31", me_, "S (sleeping)", "PrestoAssist", "");
    addProcess("32", me_, "S (sleeping)", "Other", "/home/dev/Presto/Other");

    ProcProcessTable table(world_.path("proc"));
    table.restrictToExecutable("PrestoAssist", world_.path("bin/PrestoAssist"));
    EXPECT_EQ(table.findProcessByName("PrestoAssist"), std::nullopt)
        << "neither another program of that name nor one known by its comm alone";
    EXPECT_EQ(table.findProcessByName("Other"), 32);

    addProcess("33", me_, "S (sleeping)", "PrestoAssist", program + " (deleted)");
    EXPECT_EQ(table.findProcessByName("PrestoAssist"), 33);
}

} // namespace
} // namespace presto
