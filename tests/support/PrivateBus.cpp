#include "tests/support/PrivateBus.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace presto::test {
namespace {

constexpr char kDbusDaemon[] = "/usr/bin/dbus-daemon";

// Starts argv with its standard output going to `out`, and its errors to `err`.
pid_t spawn(const std::vector<std::string>& argv, int out, int err) {
    // Made before the fork: a child of a threaded process must not allocate.
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
}

void end(pid_t pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 3000; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

bool PrivateBus::available() {
    return ::access(kDbusDaemon, X_OK) == 0;
}

PrivateBus::PrivateBus(const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string config = folder + "/bus.conf";
    // No <servicedir>: nothing can be started on demand. Anyone on it may own and call anything.
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/"
                             "busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>session</type>\n"
                             "  <listen>unix:path="
                          << folder
                          << "/socket</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return;
    pid_ = spawn(
        {kDbusDaemon, "--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"},
        pipe[1], STDERR_FILENO);
    ::close(pipe[1]);
    // The address comes once the bus listens.
    std::string line;
    char c;
    while (::read(pipe[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(pipe[0]);
    address_ = line;
}

PrivateBus::~PrivateBus() {
    end(pid_);
}

StandIn::StandIn(const std::vector<std::string>& argv, const std::string& outputPath,
                 const std::string& readyFile) {
    int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (out < 0)
        return;
    pid_ = spawn(argv, out, out);
    ::close(out);
    for (int i = 0; i < 3000 && !ready_; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        ready_ = std::filesystem::exists(readyFile);
        if (!ready_)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

StandIn::~StandIn() {
    end(pid_);
}

std::string fakeSessionManagers() {
    return PRESTO_TEST_SUPPORT_DIR "/fake_session_managers.py";
}

} // namespace presto::test
