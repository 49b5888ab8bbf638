#include "common/DaemonClient.h"

#include "common/DaemonProtocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace presto {
namespace {

// How often a connect to a listener with a full queue is tried again.
constexpr auto kConnectRetry = std::chrono::milliseconds(10);

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

} // namespace

DaemonClient::DaemonClient(std::string socketPath, std::chrono::milliseconds deadline, int cancelFd)
    : socketPath_(std::move(socketPath)), deadline_(deadline), cancelFd_(cancelFd) {}

bool DaemonClient::serverIsTrusted(int fd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 || length != sizeof cred)
        return false;
    return cred.uid == ::geteuid() || cred.uid == 0;
}

bool DaemonClient::waitFor(int fd, short events, Clock::time_point deadline) const {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {cancelFd_, POLLIN, 0}};
        const nfds_t count = cancelFd_ >= 0 ? 2 : 1;
        int ready = ::poll(fds, count, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (count == 2 && fds[1].revents != 0))
            return false;
        return fds[0].revents != 0;
    }
}

UniqueFd DaemonClient::connect(Clock::time_point deadline) const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The path needs its terminating NUL inside sun_path; a cut-off path would reach another
    // socket.
    if (socketPath_.empty() || socketPath_.size() >= sizeof address.sun_path)
        return {};
    std::memcpy(address.sun_path, socketPath_.data(), socketPath_.size());

    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd)
        return {};
    for (;;) {
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            break;
        if (errno == EINTR)
            continue;
        // A full listen queue: the daemon may yet take us before the deadline.
        if (errno != EAGAIN || Clock::now() >= deadline)
            return {};
        pollfd cancel{cancelFd_, POLLIN, 0};
        int pause = std::min<int>(remainingMs(deadline), static_cast<int>(kConnectRetry.count()));
        if (::poll(&cancel, cancelFd_ >= 0 ? 1 : 0, pause) > 0)
            return {};
    }
    if (!serverIsTrusted(fd.get()))
        return {};
    return fd;
}

long DaemonClient::sendAll(int fd, const void* bytes, std::size_t size,
                           Clock::time_point deadline) const {
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    std::size_t sent = 0;
    do {
        ssize_t n = ::send(fd, next + sent, size - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || !waitFor(fd, POLLOUT, deadline))
            return -1;
    } while (sent < size);
    return static_cast<long>(sent);
}

std::optional<long> DaemonClient::notify(const void* bytes, std::size_t size) const {
    const auto deadline = Clock::now() + deadline_;
    UniqueFd fd = connect(deadline);
    if (!fd)
        return std::nullopt;
    long sent = sendAll(fd.get(), bytes, size, deadline);
    ::shutdown(fd.get(), SHUT_RDWR);
    return sent;
}

std::optional<std::vector<std::uint8_t>> DaemonClient::request(const void* bytes, std::size_t size,
                                                               std::size_t maxReply) const {
    const auto deadline = Clock::now() + deadline_;
    UniqueFd fd = connect(deadline);
    if (!fd || sendAll(fd.get(), bytes, size, deadline) != static_cast<long>(size))
        return std::nullopt;
    std::vector<std::uint8_t> reply(maxReply);
    std::size_t total = 0;
    while (total < maxReply) {
        ssize_t n = ::recv(fd.get(), reply.data() + total, maxReply - total, 0);
        if (n == 0)
            break;
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || !waitFor(fd.get(), POLLIN, deadline))
            return std::nullopt;
    }
    reply.resize(total);
    return reply;
}

bool DaemonClient::daemonAnswers() const {
    const auto reply = request(kGetVersMessage, sizeof kGetVersMessage, kSyncReplySize + 1);
    return reply && reply->size() == kSyncReplySize;
}

UniqueFd DaemonClient::sendKeepingConnection(const void* bytes, std::size_t size) const {
    const auto deadline = Clock::now() + deadline_;
    UniqueFd fd = connect(deadline);
    if (!fd || sendAll(fd.get(), bytes, size, deadline) != static_cast<long>(size))
        return {};
    return fd;
}

} // namespace presto
