#include "tests/support/Leftovers.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace presto::test {

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

std::vector<pid_t> processesWithEnvironment(const std::string& entry) {
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(pid) == ::getpid())
            continue;
        std::istringstream entries(readAll(process.path() / "environ"));
        for (std::string variable; std::getline(entries, variable, '\0');)
            if (variable == entry) {
                found.push_back(std::stoi(pid));
                break;
            }
    }
    return found;
}

void endLeftoversWhenGone(const std::string& name) {
    const std::string owner = std::to_string(::getpid());
    const std::string mark = "PRESTO_TEST_OWNER=" + owner;
    // The watcher reads the pipe until this program, the only holder of its write end
    // (close-on-exec), is gone however it ended.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char* argv[] = {PRESTO_SYSTEM_PYTHON,
                          PRESTO_LEFTOVERS_WATCHER,
                          "watch",
                          name.c_str(),
                          mark.c_str(),
                          nullptr};
    pid_t watcher = -1;
    if (::posix_spawn(&watcher, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) == 0)
        ::waitpid(watcher, nullptr, 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[0]);
    ::setenv("PRESTO_TEST_OWNER", owner.c_str(), 1);
}

} // namespace presto::test
