#include "common/PrefSocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace presto {
namespace {

bool makeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // The path needs its terminating NUL inside sun_path; a cut-off path would reach another
    // socket.
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

int makeSocket() {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // The send time-out also bounds connect() on a Unix socket whose listener has a full backlog.
    timeval oneSecond{1, 0};
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &oneSecond, sizeof oneSecond) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &oneSecond, sizeof oneSecond) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void releaseSocket(int fd) {
    // Fails on a socket that never connected; it must be closed all the same.
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

} // namespace

PrefSocket::PrefSocket(std::string socketPath) : socketPath_(std::move(socketPath)) {}

long PrefSocket::sendMessage(const void* bytes, long size) {
    if (size < 0 || (bytes == nullptr && size > 0))
        return -1;

    sockaddr_un address;
    if (!makeAddress(socketPath_, address))
        return kNoConnection;
    int fd = makeSocket();
    if (fd < 0)
        return kNoConnection;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        releaseSocket(fd);
        return kNoConnection;
    }

    iovec vector{const_cast<void*>(bytes), static_cast<size_t>(size)};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    ssize_t sent;
    // A daemon that went away between connect and send must not end the caller with SIGPIPE.
    do {
        sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);

    releaseSocket(fd);
    return static_cast<long>(sent);
}

} // namespace presto
