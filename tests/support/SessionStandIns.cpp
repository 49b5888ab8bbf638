#include "tests/support/SessionStandIns.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace presto::test {
namespace {

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

bool SessionStandIns::available() {
    return ::access("/usr/bin/dbus-daemon", X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import gi; gi.require_version(\"Gio\", \"2.0\")' "
                       "2>/dev/null") == 0;
}

SessionStandIns::SessionStandIns(const std::string& folder, const std::vector<std::string>& options)
    : folder_(folder) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> argv{PRESTO_TEST_SUPPORT_DIR "/fake_session_managers.py", "--folder",
                                  folder};
    argv.insert(argv.end(), options.begin(), options.end());
    // Made before the fork: a child of a threaded process must not allocate.
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    const int out = ::open((folder + "/output").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0); // the buses go with it
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out);
    if (pid_ > 0)
        ::setpgid(pid_, pid_);
    for (int i = 0; i < 3000 && pid_ > 0; ++i) {
        if (auto ready = linesOf(folder + "/ready"); ready.size() == 2) {
            sessionBus = ready[0];
            systemBus = ready[1];
            return;
        }
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            pid_ = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SessionStandIns::~SessionStandIns() {
    if (pid_ <= 0)
        return;
    ::kill(-pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    ::kill(-pid_, SIGKILL); // a bus that outlived the script
}

std::vector<std::string> SessionStandIns::calls() const {
    return linesOf(folder_ + "/calls");
}

std::string SessionStandIns::output() const {
    std::ifstream in(folder_ + "/output");
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace presto::test
