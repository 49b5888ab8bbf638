// The watcher every test program starts: what a killed program left running is ended and named.
#include "tests/support/Leftovers.h"

#include "tests/support/TempWorld.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace presto::test {
namespace {

bool alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    // A zombie waits only for its parent to collect it.
    return !text.empty() && text.substr(text.rfind(')') + 2, 1) != "Z";
}

TEST(Leftovers, WhatAKilledProgramLeftIsEndedAndNamed) {
    TempWorld world;
    const std::string log = world.path("leftovers");
    const std::string pidFile = world.path("sleeper");
    // The program: watched, it starts a process in a session of its own (out of reach of its
    // group) and one that ends by itself, and is killed as CTest's timeout kills.
    const pid_t program = ::fork();
    if (program == 0) {
        ::setenv("PRESTO_TEST_LEFTOVERS", log.c_str(), 1);
        endLeftoversWhenGone("killed program");
        const std::string script = "setsid sleep 600 & echo $! > " + pidFile + ".new; mv " +
                                   pidFile + ".new " + pidFile + "; sleep 0.1";
        const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
        pid_t shell = -1;
        if (::posix_spawn(&shell, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ))
            ::_exit(1);
        ::waitpid(shell, nullptr, 0);
        ::raise(SIGKILL);
    }
    ASSERT_GT(program, 0);
    ::waitpid(program, nullptr, 0);
    std::ifstream in(pidFile);
    pid_t sleeper = -1;
    ASSERT_TRUE(in >> sleeper);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (alive(sleeper) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(alive(sleeper)) << "the watcher left it running";
    std::ifstream named(log);
    const std::string text((std::istreambuf_iterator<char>(named)), {});
    EXPECT_EQ(text, "killed program left " + std::to_string(sleeper) + ": sleep 600\n");
    if (alive(sleeper))
        ::kill(sleeper, SIGKILL);
}

} // namespace
} // namespace presto::test
