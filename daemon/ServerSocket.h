#pragma once

#include "common/DaemonProtocol.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace presto {

// The daemon's listening socket: one request per connection, read with a single receive of at
// most 4800 bytes, at most one reply, then the connection is closed. One connection at a time;
// the others wait in the listen queue.
//
// Only the daemon's own user (or root) is served: the socket file is made with mode 0600 from the
// moment it exists, and any other peer's connection is closed unread. A connected peer that sends
// nothing is given up after one second.
class ServerSocket {
public:
    static constexpr std::size_t kBufferSize = kMaxRequestSize;
    static constexpr int kBacklog = 128;
    static constexpr int kReceiveTimeoutSeconds = 1;

    explicit ServerSocket(std::string path);
    // Removes the socket file unless another daemon has taken the path over since.
    ~ServerSocket();
    ServerSocket(const ServerSocket&) = delete;
    ServerSocket& operator=(const ServerSocket&) = delete;

    // Removes whatever lies at the path, binds and listens. False, with one line on standard
    // output, when that fails; the listening socket is then closed.
    bool prepareSocket();
    bool isPrepared() const { return listenFd_.load() >= 0; }

    struct Received {
        enum Status {
            Message,       // length bytes are in buffer(); the connection stays open
            ReceiveFailed, // time-out or error; the connection was closed
            AcceptFailed,  // the listening socket was closed: prepare it again or give up
            Stopped,       // requestStop() was called
        };
        Status status;
        std::size_t length = 0;
    };
    // Waits, blocked in accept without a timer, for a connection from an allowed peer, then
    // receives once.
    Received receiveMessage();

    // Makes the waiting receiveMessage, or the next one, return Stopped; the listening socket is
    // of no further use. Safe in a signal handler and from any thread.
    void requestStop() noexcept;
    bool stopRequested() const noexcept { return stop_.load(); }

    // The last request, zero beyond its length.
    const std::uint8_t* buffer() const { return buffer_.data(); }

    // One send (size may be 0), then the connection is closed. What send returned; a peer that
    // has gone makes it -1 and never raises SIGPIPE. A reply of at most 4800 bytes into a fresh
    // connection's empty buffer never blocks, so no send time-out is needed.
    long sendMessage(const void* bytes, std::size_t size);
    // Closes the connection without a reply.
    void releaseSocket();
    // Removes the socket file if it is still the one this server bound.
    void deleteSocket();

private:
    bool makeSocket();
    bool peerIsAllowed(int fd) const;
    void closeListener();

    std::string path_;
    uid_t ownUid_;
    // Atomic, as requestStop reads it from a signal handler.
    std::atomic<int> listenFd_{-1};
    std::atomic<bool> stop_{false};
    int connectionFd_ = -1;
    dev_t boundDevice_ = 0;
    ino_t boundInode_ = 0;
    bool bound_ = false;
    std::array<std::uint8_t, kBufferSize> buffer_{};
    std::size_t dirtyLength_ = 0; // bytes of buffer_ that may be other than zero
};

} // namespace presto
