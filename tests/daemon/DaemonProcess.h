#pragma once

#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace presto::test {

inline std::string builtDaemon() {
    const char* binDir = std::getenv("PRESTO_BIN_DIR");
    return std::string(binDir ? binDir : ".") + "/Presto.daemon";
}

// The built Presto.daemon (or a copy of it) running in the test's environment (so in its
// TempWorld), its standard output caught in a pipe.
class DaemonProcess {
public:
    explicit DaemonProcess(const std::string& program = builtDaemon()) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = out[0];
        ::fcntl(output_, F_SETFL, O_NONBLOCK);
    }
    ~DaemonProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The exit status after the signal, or -1.
    int stop(int signal = SIGTERM) {
        if (pid_ <= 0)
            return -1;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // What it has written to standard output so far.
    const std::string& output() {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(output_, chunk, sizeof chunk)) > 0)
            outputText_.append(chunk, static_cast<std::size_t>(n));
        return outputText_;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string outputText_;
};

} // namespace presto::test
