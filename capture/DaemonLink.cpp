#include "capture/DaemonLink.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace presto {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {

constexpr char kGetPref[] = "GETPREF";
constexpr char kGetVers[] = "GETVERS";

// Reads until the peer closes, the buffer is full or the time-out strikes; -1 on a failure.
long receiveAll(int fd, std::uint8_t* buffer, std::size_t capacity) {
    std::size_t total = 0;
    while (total < capacity) {
        ssize_t n = ::recv(fd, buffer + total, capacity - total, 0);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        total += static_cast<std::size_t>(n);
    }
    return static_cast<long>(total);
}

} // namespace

DaemonLink::DaemonLink(std::string socketPath, std::chrono::milliseconds timeout)
    : socketPath_(std::move(socketPath)), timeout_(timeout) {}

UniqueFd DaemonLink::connectAndSend(const void* bytes, std::size_t size) const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.empty() || socketPath_.size() >= sizeof(address.sun_path))
        return {};
    std::memcpy(address.sun_path, socketPath_.data(), socketPath_.size());

    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return {};
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout_.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>(timeout_.count() % 1000 * 1000);
    // The send time-out also bounds connect() on a full listen queue.
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0 ||
        ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0)
        return {};
    int rc;
    do
        rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
        return {};
    ssize_t sent;
    do
        sent = ::send(fd.get(), bytes, size, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(size))
        return {};
    return fd;
}

std::optional<PrefKEXTSyncRec> DaemonLink::getVersion() const {
    UniqueFd fd = connectAndSend(kGetVers, sizeof kGetVers);
    if (!fd)
        return std::nullopt;
    std::uint8_t reply[PrefKEXTSyncRec::kSize];
    if (receiveAll(fd.get(), reply, sizeof reply) != static_cast<long>(sizeof reply))
        return std::nullopt;
    return PrefKEXTSyncRec::fromBytes(reply);
}

std::optional<std::vector<std::uint8_t>> DaemonLink::getPref() const {
    UniqueFd fd = connectAndSend(kGetPref, sizeof kGetPref);
    if (!fd)
        return std::nullopt;
    std::vector<std::uint8_t> reply(kMaxTableBytes);
    long n = receiveAll(fd.get(), reply.data(), reply.size());
    if (n < 0)
        return std::nullopt;
    reply.resize(static_cast<std::size_t>(n));
    return reply;
}

UniqueFd DaemonLink::sendHotKey(const HotKeyRec& rec) const {
    auto bytes = rec.toBytes();
    return connectAndSend(bytes.data(), bytes.size());
}

bool DaemonLink::isNotFoundReply(int fd) {
    char reply[3] = {};
    ssize_t n = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
    return n >= 2 && reply[0] == 'N' && reply[1] == 'G';
}

} // namespace presto
