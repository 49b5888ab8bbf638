// The built programs asked for help, their version, or given an option they do not know, with no
// display at all: each answers and ends, and none starts its work.
#include "tests/support/TempWorld.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace presto {
namespace {

struct Answer {
    int status = -1; // the exit status, or -1 when it had to be killed
    std::string out, err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the program without any display, stdin from /dev/null. One that has not ended after a
// generous while has started its work: it is killed and counts as such.
Answer run(const test::TempWorld& world, const std::string& program, const std::string& option) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (!entry.starts_with("DISPLAY=") && !entry.starts_with("WAYLAND_DISPLAY=") &&
            !entry.starts_with("QT_QPA_PLATFORM="))
            env.emplace_back(entry);
    }
    const std::string out = world.path("out"), err = world.path("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string path = std::string(std::getenv("PRESTO_BIN_DIR")) + "/" + program;
    std::vector<char*> argv{const_cast<char*>(path.c_str()), const_cast<char*>(option.c_str()),
                            nullptr};
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Answer result;
    if (error != 0)
        return result;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

TEST(ProgramCommandLine, EveryProgramAnswersHelpAndVersionAndRefusesWhatItDoesNotKnow) {
    test::TempWorld world;
    for (const std::string program :
         {"Presto.daemon", "Presto", "PrestoAssist", "PrestoKeys", "PrestoKeysWayland",
          "PrestoHotKey", "PrestoClip", "PrestoInstallHelper"}) {
        SCOPED_TRACE(program);
        const Answer help = run(world, program, "--help");
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_TRUE(help.out.starts_with("Usage: " + program + " [OPTION]...")) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos);
        EXPECT_EQ(help.err, "");
        std::istringstream lines(help.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 79u) << line;

        const Answer version = run(world, program, "--version");
        EXPECT_EQ(version.status, 0) << version.err;
        const std::string package = program == "Presto" ? "" : " (Presto)";
        EXPECT_EQ(version.out, program + package + " " PRESTO_TEST_VERSION "\n");
        EXPECT_EQ(version.err, "");

        const Answer unknown = run(world, program, "--frobnicate");
        EXPECT_EQ(unknown.status, 2);
        EXPECT_EQ(unknown.out, "");
        EXPECT_TRUE(unknown.err.starts_with(program + ": unrecognized option '--frobnicate'\n"))
            << unknown.err;
    }
    // Nothing came up to serve or to report on.
    EXPECT_FALSE(std::filesystem::exists(world.locations().socketPath));
    EXPECT_FALSE(std::filesystem::exists(world.locations().runtimeDir + "/keys-status"));
}

} // namespace
} // namespace presto
