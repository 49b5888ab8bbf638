#include "platform/linux/Subprocess.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace presto::subprocess {
namespace {

// Collects detached children without a SIGCHLD handler and without waitpid(-1), which would
// steal the children that other parts of the daemon wait for. One thread polls a pidfd per
// child; it lives as long as the process.
class Reaper {
public:
    static Reaper& instance() {
        // Never destroyed: the thread may still be polling while the process exits.
        static Reaper* reaper = new Reaper;
        return *reaper;
    }

    void adopt(pid_t pid) {
        // Through syscall(): glibc 2.36 declares pidfd_open without C linkage for C++.
        int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0 || wake_ < 0) {
            // Old kernel or no descriptors left: a thread of its own waits for this one.
            if (pidfd >= 0)
                close(pidfd);
            try {
                std::thread([pid] {
                    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                    }
                }).detach();
            } catch (const std::system_error& error) {
                // At the user's process limit: the child stays a zombie until we exit.
                std::fprintf(stderr, "Presto: cannot wait for process %d: %s\n",
                             static_cast<int>(pid), error.what());
            }
            return;
        }
        {
            std::lock_guard lock(mutex_);
            children_.push_back({pidfd, pid});
        }
        try {
            std::call_once(started_, [this] { std::thread([this] { run(); }).detach(); });
        } catch (const std::system_error& error) {
            // The child stays listed; the next one tries to start the thread again.
            std::fprintf(stderr, "Presto: cannot start the process reaper: %s\n", error.what());
            return;
        }
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = write(wake_, &one, sizeof one);
    }

private:
    Reaper() : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    void run() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        std::vector<pollfd> fds;
        for (;;) {
            fds.assign(1, pollfd{wake_, POLLIN, 0});
            {
                std::lock_guard lock(mutex_);
                for (const Child& child : children_)
                    fds.push_back(pollfd{child.pidfd, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[0].revents) {
                std::uint64_t count;
                [[maybe_unused]] ssize_t ignored = read(wake_, &count, sizeof count);
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                std::lock_guard lock(mutex_);
                auto child = std::find_if(children_.begin(), children_.end(),
                                          [&](const Child& c) { return c.pidfd == fds[i].fd; });
                // While we hold its pidfd the number cannot go to another process.
                pid_t result = waitpid(child->pid, nullptr, WNOHANG);
                if (result == 0 || (result < 0 && errno == EINTR))
                    continue;
                close(child->pidfd);
                children_.erase(child);
            }
        }
    }

    struct Child {
        int pidfd;
        pid_t pid;
    };

    int wake_;
    std::once_flag started_;
    std::mutex mutex_;
    std::vector<Child> children_;
};

class SpawnPlan {
public:
    // stdinFd, stdoutFd: our descriptor to put there, or -1. Stdin defaults to /dev/null; the
    // other two stay the daemon's (its log) unless quiet, as helpers are.
    SpawnPlan(int stdinFd, int stdoutFd, bool quiet, int stderrFd = -1) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attr_);
        if (stdinFd >= 0)
            posix_spawn_file_actions_adddup2(&actions_, stdinFd, STDIN_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (stdoutFd >= 0)
            posix_spawn_file_actions_adddup2(&actions_, stdoutFd, STDOUT_FILENO);
        else if (quiet)
            posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (stderrFd >= 0)
            posix_spawn_file_actions_adddup2(&actions_, stderrFd, STDERR_FILENO);
        else if (quiet)
            posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // Whatever another thread opened without O_CLOEXEC still stays ours.
        posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);

        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr_, &none);
        // Signals the daemon ignores (SIGPIPE) would otherwise stay ignored in the child.
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigdefault(&attr_, &all);
        // A session of its own: a signal to the daemon's terminal or group leaves it alone.
        posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                             POSIX_SPAWN_SETSID);
    }
    // Not a folder (any more): the program starts where we are rather than not at all.
    void startIn(const std::string& folder) {
        struct stat info {};
        if (!folder.empty() && stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str());
    }
    ~SpawnPlan() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attr_);
    }
    SpawnPlan(const SpawnPlan&) = delete;
    SpawnPlan& operator=(const SpawnPlan&) = delete;

    int spawn(const std::vector<std::string>& argv, bool searchPath, pid_t& pid,
              char* const* envp = environ) {
        if (argv.empty())
            return EINVAL;
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        return searchPath ? posix_spawnp(&pid, args[0], &actions_, &attr_, args.data(), envp)
                          : posix_spawn(&pid, args[0], &actions_, &attr_, args.data(), envp);
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
};

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 60'000));
}

bool waitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, millisecondsUntil(deadline));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

int spawnDetached(const std::vector<std::string>& argv) {
    pid_t pid = -1;
    return spawnDetached(argv, pid);
}

namespace {

int spawnAdopted(const std::vector<std::string>& argv, pid_t& pid, const std::string& workingFolder,
                 char* const* envp) {
    SpawnPlan plan(-1, -1, false);
    plan.startIn(workingFolder);
    pid = -1;
    int error = plan.spawn(argv, false, pid, envp);
    if (error == 0)
        Reaper::instance().adopt(pid);
    return error;
}

} // namespace

int spawnDetached(const std::vector<std::string>& argv, pid_t& pid,
                  const std::string& workingFolder) {
    return spawnAdopted(argv, pid, workingFolder, environ);
}

int spawnDetached(const std::vector<std::string>& argv, pid_t& pid,
                  const std::string& workingFolder, const std::vector<std::string>& environment) {
    std::vector<char*> envp;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    return spawnAdopted(argv, pid, workingFolder, envp.data());
}

std::optional<Outcome> run(const std::vector<std::string>& argv, int& error) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) < 0) {
        error = errno;
        return std::nullopt;
    }
    if (pipe2(err, O_CLOEXEC) < 0) {
        error = errno;
        close(out[0]);
        close(out[1]);
        return std::nullopt;
    }
    pid_t pid = -1;
    {
        SpawnPlan plan(-1, out[1], true, err[1]);
        error = plan.spawn(argv, true, pid);
    }
    close(out[1]);
    close(err[1]);
    if (error != 0) {
        close(out[0]);
        close(err[0]);
        return std::nullopt;
    }
    Outcome outcome;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& p : fds)
        if (p.fd >= 0)
            close(p.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.exited = WIFEXITED(status);
    outcome.status = outcome.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    return outcome;
}

std::optional<Helper> Helper::start(const std::vector<std::string>& argv, Pipe pipe, int& error) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) < 0) {
        error = errno;
        return std::nullopt;
    }
    const bool toStdin = pipe == Pipe::ToStdin;
    const int theirs = toStdin ? ends[0] : ends[1];
    const int ours = toStdin ? ends[1] : ends[0];
    SpawnPlan plan(toStdin ? theirs : -1, toStdin ? -1 : theirs, true);
    pid_t pid = -1;
    error = plan.spawn(argv, true, pid);
    close(theirs);
    if (error != 0) {
        close(ours);
        return std::nullopt;
    }
    fcntl(ours, F_SETFL, fcntl(ours, F_GETFL) | O_NONBLOCK);
    return Helper(pid, ours);
}

Helper::Helper(Helper&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), fd_(std::exchange(other.fd_, -1)) {}

Helper::~Helper() {
    closePipe();
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

void Helper::closePipe() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool Helper::writeAll(std::span<const std::uint8_t> data, Clock::time_point deadline) {
    bool ok = writeOpen(data, deadline);
    closePipe();
    return ok;
}

bool Helper::write(std::span<const std::uint8_t> data, Clock::time_point deadline) {
    return fd_ >= 0 && writeOpen(data, deadline);
}

bool Helper::writeOpen(std::span<const std::uint8_t> data, Clock::time_point deadline) {
    // A helper that quits early must not take the daemon down with SIGPIPE: block it on this
    // thread and swallow the one our write raised.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE);

    bool ok = true, broken = false;
    std::size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
        } else if (errno == EAGAIN) {
            ok = waitReady(fd_, POLLOUT, deadline);
        } else if (errno != EINTR) {
            broken = errno == EPIPE;
            ok = false;
        }
    }
    if (broken && !alreadyPending) {
        timespec zero{};
        while (sigtimedwait(&pipeSignal, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

std::optional<std::vector<std::uint8_t>> Helper::readAll(Clock::time_point deadline,
                                                         std::size_t maxBytes) {
    std::vector<std::uint8_t> out;
    std::uint8_t buffer[65536];
    while (out.size() <= maxBytes) {
        const std::size_t room = std::min(sizeof buffer, maxBytes + 1 - out.size());
        ssize_t n = read(fd_, buffer, room);
        if (n > 0) {
            // Grown by doubling, but never past the limit: the largest read costs its size.
            const std::size_t need = out.size() + static_cast<std::size_t>(n);
            if (need > out.capacity()) {
                std::size_t grown = std::max(need, 2 * out.capacity());
                out.reserve(grown >= maxBytes ? maxBytes + 1 : grown);
            }
            out.insert(out.end(), buffer, buffer + n);
        } else if (n == 0) {
            break;
        } else if (errno == EAGAIN) {
            if (!waitReady(fd_, POLLIN, deadline))
                return std::nullopt;
        } else if (errno != EINTR) {
            return std::nullopt;
        }
    }
    closePipe();
    return out;
}

bool Helper::succeeded(Clock::time_point deadline) {
    closePipe();
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (r < 0 && errno != EINTR) {
            pid_ = -1;
            return false;
        }
        if (Clock::now() >= deadline)
            return false; // the destructor kills it
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace presto::subprocess
