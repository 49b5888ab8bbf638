#include "daemon/ServerSocket.h"

#include "daemon/Log.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace presto {
namespace {

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "requestStop runs in a signal handler");

// Errors that concern only the connection that was about to be accepted.
bool isTransientAcceptError(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED ||
           error == EPROTO;
}

} // namespace

ServerSocket::ServerSocket(std::string path) : path_(std::move(path)), ownUid_(::geteuid()) {}

ServerSocket::~ServerSocket() {
    releaseSocket();
    closeListener();
    deleteSocket();
}

bool ServerSocket::prepareSocket() {
    closeListener();
    ::unlink(path_.c_str());
    if (!makeSocket()) {
        logLine("ServerSocket::prepareSocket makeSocket failure!\n");
        closeListener();
        return false;
    }
    if (::listen(listenFd_.load(), kBacklog) < 0) {
        logLine("ServerSocket::prepareSocket listen<0\n");
        closeListener();
        return false;
    }
    return true;
}

bool ServerSocket::makeSocket() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path_.data(), path_.size());

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    listenFd_.store(fd);
    // The file must never exist with wider permissions, not even for an instant.
    mode_t previous = ::umask(0177);
    int rc = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::umask(previous);
    if (rc != 0)
        return false;
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        boundDevice_ = st.st_dev;
        boundInode_ = st.st_ino;
        bound_ = true;
    }
    return true;
}

void ServerSocket::closeListener() {
    int fd = listenFd_.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}

ServerSocket::Received ServerSocket::receiveMessage() {
    for (;;) {
        if (stopRequested())
            return {Received::Stopped};
        const int listener = listenFd_.load();
        if (listener < 0)
            return {Received::AcceptFailed};
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (stopRequested())
                return {Received::Stopped};
            if (isTransientAcceptError(errno))
                continue;
            closeListener();
            return {Received::AcceptFailed};
        }
        if (!peerIsAllowed(fd)) {
            ::close(fd);
            continue;
        }
        timeval timeout{kReceiveTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        connectionFd_ = fd;

        ssize_t length = ::recv(fd, buffer_.data(), buffer_.size(), 0);
        // The buffer reads as cleared before the receive: zero beyond what came in. Only what the
        // last request left there needs clearing.
        const std::size_t got = length < 0 ? 0 : static_cast<std::size_t>(length);
        if (got < dirtyLength_)
            std::memset(buffer_.data() + got, 0, dirtyLength_ - got);
        dirtyLength_ = got;
        if (length < 0) {
            releaseSocket();
            return {Received::ReceiveFailed};
        }
        return {Received::Message, got};
    }
}

void ServerSocket::requestStop() noexcept {
    stop_.store(true);
    // Wakes a blocked accept and fails every later one, whichever thread this runs on.
    int listener = listenFd_.load();
    if (listener >= 0)
        ::shutdown(listener, SHUT_RDWR);
}

bool ServerSocket::peerIsAllowed(int fd) const {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0)
        return false;
    return cred.uid == ownUid_ || cred.uid == 0;
}

long ServerSocket::sendMessage(const void* bytes, std::size_t size) {
    long sent = -1;
    if (connectionFd_ >= 0)
        sent = ::send(connectionFd_, bytes, size, MSG_NOSIGNAL);
    if (connectionFd_ >= 0)
        ::close(connectionFd_);
    connectionFd_ = -1;
    return sent;
}

void ServerSocket::releaseSocket() {
    if (connectionFd_ < 0)
        return;
    ::shutdown(connectionFd_, SHUT_RDWR);
    ::close(connectionFd_);
    connectionFd_ = -1;
}

void ServerSocket::deleteSocket() {
    if (!bound_)
        return;
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == boundDevice_ && st.st_ino == boundInode_)
        ::unlink(path_.c_str());
    bound_ = false;
}

} // namespace presto
