#include "daemon/ServerSocket.h"

#include "daemon/Log.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
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

ServerSocket::ServerSocket(std::string path, std::chrono::milliseconds idleLimit)
    : path_(std::move(path)), idleLimit_(idleLimit), ownUid_(::geteuid()) {}

ServerSocket::~ServerSocket() {
    releaseSocket();
    for (const Waiting& w : waiting_)
        ::close(w.fd);
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

    // Non-blocking, so that every queued connection is taken at once and none is waited for.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
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
    std::vector<pollfd> fds;
    for (;;) {
        if (stopRequested())
            return {Received::Stopped};
        const int listener = listenFd_.load();
        if (listener < 0)
            return {Received::AcceptFailed};

        fds.assign(1, pollfd{listener, POLLIN, 0});
        int timeout = -1;
        const Clock::time_point now = Clock::now();
        for (const Waiting& w : waiting_) {
            fds.push_back({w.fd, POLLIN, 0});
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(w.givenUpAt - now).count();
            const int wait = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
            timeout = timeout < 0 ? wait : std::min(timeout, wait);
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR)
                continue;
            closeListener();
            return {Received::AcceptFailed};
        }

        // The longest waiting of those that have sent goes first.
        for (std::size_t i = 0; i < waiting_.size(); ++i) {
            if (fds[i + 1].revents == 0)
                continue;
            const int fd = waiting_[i].fd;
            waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(i));
            return receiveFrom(fd);
        }
        const Clock::time_point after = Clock::now();
        const auto silent = std::find_if(waiting_.begin(), waiting_.end(),
                                         [&](const Waiting& w) { return w.givenUpAt <= after; });
        if (silent != waiting_.end()) {
            ::close(silent->fd);
            waiting_.erase(silent);
            return {Received::ReceiveFailed};
        }
        if (fds[0].revents != 0 && !acceptQueued()) {
            if (stopRequested())
                return {Received::Stopped};
            closeListener();
            return {Received::AcceptFailed};
        }
    }
}

bool ServerSocket::acceptQueued() {
    for (;;) {
        int fd = ::accept4(listenFd_.load(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            if (isTransientAcceptError(errno))
                continue;
            // Out of descriptors: silent connections are the first to go.
            if ((errno == EMFILE || errno == ENFILE) && !waiting_.empty()) {
                giveUpOldest();
                continue;
            }
            return false;
        }
        if (!peerIsAllowed(fd)) {
            ::close(fd);
            continue;
        }
        if (waiting_.size() >= kMaxWaiting)
            giveUpOldest();
        waiting_.push_back({fd, Clock::now() + idleLimit_});
    }
}

void ServerSocket::giveUpOldest() {
    ::close(waiting_.front().fd);
    waiting_.erase(waiting_.begin());
}

ServerSocket::Received ServerSocket::receiveFrom(int fd) {
    connectionFd_ = fd;
    ssize_t length;
    do
        length = ::recv(fd, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    while (length < 0 && errno == EINTR);
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
