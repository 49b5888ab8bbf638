#include "daemon/Log.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace presto {

const char* getCharSysTime() {
    // Formatted once a second at most: a flood of unknown keys logs two lines each.
    thread_local std::time_t formatted = -1;
    thread_local char text[64] = "\n";
    std::time_t now = std::time(nullptr);
    if (now != formatted) {
        std::tm local{};
        // The reentrant forms: other threads may log while the main loop does.
        if (localtime_r(&now, &local) == nullptr || asctime_r(&local, text) == nullptr)
            std::snprintf(text, sizeof text, "\n");
        formatted = now;
    }
    return text;
}

double gettimeofday_sec() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) * 0.000001;
}

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec / 1000) * 0.000001;
}

namespace {

// How diagnostics reach standard output without ever waiting for a reader.
class LogOutput {
public:
    LogOutput() {
        struct stat info {};
        if (::fstat(STDOUT_FILENO, &info) != 0)
            return;
        if (S_ISSOCK(info.st_mode)) {
            // The journal's stream: a flag per send keeps the socket itself as it is.
            how_ = How::Send;
        } else if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
            // A file description of our own, so that O_NONBLOCK does not reach whoever shares
            // standard output with us (a shell's terminal, a parent's pipe).
            int fd = ::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
            if (fd >= 0)
                fd_ = fd;
            else
                how_ = How::PollFirst;
        }
    }

    // Writes what can go at once; false when not a byte could.
    bool write(std::string_view text) {
        bool wroteSome = false;
        while (!text.empty()) {
            ssize_t n;
            if (how_ == How::Send) {
                n = ::send(fd_, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            } else {
                pollfd ready{fd_, POLLOUT, 0};
                if (how_ == How::PollFirst && ::poll(&ready, 1, 0) != 1)
                    return wroteSome;
                n = ::write(fd_, text.data(), text.size());
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return wroteSome;
            wroteSome = true;
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

private:
    enum class How { Write, Send, PollFirst };
    How how_ = How::Write;
    int fd_ = STDOUT_FILENO;
};

std::mutex logMutex;
unsigned long droppedLines = 0; // guarded by logMutex

} // namespace

void logLine(std::string_view text) {
    static LogOutput output;
    std::lock_guard lock(logMutex);
    if (droppedLines > 0) {
        std::string note = std::string(getCharSysTime()) + " Presto.daemon " +
                           std::to_string(droppedLines) +
                           " log lines dropped: standard output was not read\n";
        if (!output.write(note)) {
            ++droppedLines;
            return;
        }
        droppedLines = 0;
    }
    if (!output.write(text))
        ++droppedLines;
}

} // namespace presto
