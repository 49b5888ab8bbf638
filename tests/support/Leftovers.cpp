#include "tests/support/Leftovers.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace presto::test {

namespace {

// What a process on the way out still gets to end on its own; a ceiling, never a pause.
constexpr auto kGrace = std::chrono::seconds(10);

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string commandLine(pid_t pid) {
    std::string text = readAll("/proc/" + std::to_string(pid) + "/cmdline");
    for (char& c : text)
        if (c == '\0')
            c = ' ';
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

void endLeftovers(const std::string& mark, const std::string& name) {
    const auto deadline = std::chrono::steady_clock::now() + kGrace;
    while (!processesWithEnvironment(mark).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const char* logPath = std::getenv("PRESTO_TEST_LEFTOVERS");
    // A few rounds: what is killed may have started another one meanwhile.
    for (int round = 0; round < 5; ++round) {
        const std::vector<pid_t> left = processesWithEnvironment(mark);
        if (left.empty())
            return;
        if (logPath && *logPath) {
            std::ofstream log(logPath, std::ios::app);
            for (pid_t pid : left)
                log << name << " left " << pid << ": " << commandLine(pid) << "\n";
        }
        for (pid_t pid : left)
            ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
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
    ::setenv("PRESTO_TEST_OWNER", owner.c_str(), 1);
    const std::string mark = "PRESTO_TEST_OWNER=" + owner;
    // The write end stays open in this program alone (close-on-exec): it reads end of file once
    // this program is gone, however it ended.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    const pid_t child = ::fork();
    if (child == 0) {
        // A session of its own and reparented: CTest's timeout kills the test's process tree.
        ::setsid();
        if (::fork() != 0)
            ::_exit(0);
        ::close(ends[1]);
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd)
            ::dup2(null, fd);
        char byte;
        while (::read(ends[0], &byte, 1) < 0 && errno == EINTR) {
        }
        endLeftovers(mark, name);
        ::_exit(0);
    }
    ::close(ends[0]);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
}

} // namespace presto::test
