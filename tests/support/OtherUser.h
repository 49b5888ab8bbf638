#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace presto::test {

// Another local user for tests of what a hostile neighbour can do: "nobody". Only root can act
// as them, so tests that need one skip without root.
struct OtherUser {
    uid_t uid = 65534;
    gid_t gid = 65534;

    static std::optional<OtherUser> find() {
        if (::geteuid() != 0)
            return std::nullopt;
        OtherUser user;
        if (const passwd* entry = ::getpwnam("nobody")) {
            user.uid = entry->pw_uid;
            user.gid = entry->pw_gid;
        }
        return user;
    }

    // In a child process: become this user for good.
    bool become() const {
        return ::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
               ::setresuid(uid, uid, uid) == 0;
    }
};

inline constexpr char kNeedsRoot[] =
    "needs root to act as a second local user (CI runs the suite as root)";

// A server of the other user at <a folder of theirs>/Presto_socket, as a hostile neighbour would
// put in the way: a listening socket of mode 0666 that accepts every connection and reports how
// many bytes each one brought.
class ForeignServer {
public:
    explicit ForeignServer(const OtherUser& user) {
        std::string pattern = (std::filesystem::temp_directory_path() / "presto-other-XXXXXX");
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a folder");
        dir_ = pattern;
        ::chown(dir_.c_str(), user.uid, user.gid);
        path_ = dir_ + "/Presto_socket";
        int ready[2], report[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(report, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot make pipes");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(ready[0]);
            ::close(report[0]);
            serve(user, ready[1], report[1]);
        }
        ::close(ready[1]);
        ::close(report[1]);
        report_ = report[0];
        char started = 0;
        pollfd wait{ready[0], POLLIN, 0};
        if (::poll(&wait, 1, 30'000) == 1) [[maybe_unused]]
            ssize_t n = ::read(ready[0], &started, 1);
        ::close(ready[0]);
        started_ = started == 'y';
    }
    ~ForeignServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (report_ >= 0)
            ::close(report_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    ForeignServer(const ForeignServer&) = delete;
    ForeignServer& operator=(const ForeignServer&) = delete;

    bool started() const { return started_; }
    const std::string& path() const { return path_; }

    // The bytes each connection brought, once `count` connections have ended (waits up to 30 s;
    // fewer when they did not come).
    std::vector<std::uint32_t> connections(std::size_t count) {
        while (received_.size() < count) {
            pollfd wait{report_, POLLIN, 0};
            std::uint32_t bytes = 0;
            if (::poll(&wait, 1, 30'000) != 1 || ::read(report_, &bytes, sizeof bytes) != 4)
                break;
            received_.push_back(bytes);
        }
        return received_;
    }

private:
    [[noreturn]] void serve(const OtherUser& user, int ready, int report) {
        if (!user.become())
            ::_exit(1);
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        ::umask(0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 16) != 0)
            ::_exit(1);
        [[maybe_unused]] ssize_t n = ::write(ready, "y", 1);
        for (;;) {
            int connection = ::accept(fd, nullptr, nullptr);
            if (connection < 0)
                continue;
            std::uint32_t total = 0;
            char buffer[4800];
            ssize_t got;
            while ((got = ::recv(connection, buffer, sizeof buffer, 0)) > 0) {
                total += static_cast<std::uint32_t>(got);
                ::shutdown(connection, SHUT_RD);
            }
            ::close(connection);
            n = ::write(report, &total, sizeof total);
        }
    }

    std::string dir_;
    std::string path_;
    pid_t pid_ = -1;
    int report_ = -1;
    bool started_ = false;
    std::vector<std::uint32_t> received_;
};

} // namespace presto::test
