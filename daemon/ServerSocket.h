#pragma once

#include "common/DaemonProtocol.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace presto {

// The daemon's listening socket: one request per connection, read with a single receive of at
// most 4800 bytes, at most one reply, then the connection is closed. Requests are served one at a
// time, in the order their first bytes arrive: connections are accepted as they come and wait,
// all watched at once, until they send, so a client that sends nothing never holds up another.
//
// Only the daemon's own user (or root) is served: the socket file is made with mode 0600 from the
// moment it exists, and any other peer's connection is closed unread. A connected peer that sends
// nothing is given up after the idle limit; beyond kMaxWaiting silent connections the oldest
// is given up at once.
class ServerSocket {
public:
    static constexpr std::size_t kBufferSize = kMaxRequestSize;
    static constexpr int kBacklog = 128;
    static constexpr std::size_t kMaxWaiting = 64;
    static constexpr std::chrono::milliseconds kIdleLimit{5000};

    explicit ServerSocket(std::string path, std::chrono::milliseconds idleLimit = kIdleLimit);
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
            ReceiveFailed, // a connection failed or stayed silent too long and was closed
            AcceptFailed,  // the listening socket was closed: prepare it again or give up
            Stopped,       // requestStop() was called
        };
        Status status;
        std::size_t length = 0;
    };
    // Waits, without a timer unless silent connections are open, until a connection from an
    // allowed peer has sent something, then receives once from it.
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
    using Clock = std::chrono::steady_clock;
    struct Waiting {
        int fd;
        Clock::time_point givenUpAt;
    };

    bool makeSocket();
    bool peerIsAllowed(int fd) const;
    void closeListener();
    // Takes every queued connection into waiting_; false when the listener is lost.
    bool acceptQueued();
    void giveUpOldest();
    Received receiveFrom(int fd);

    std::string path_;
    std::chrono::milliseconds idleLimit_;
    uid_t ownUid_;
    // Atomic, as requestStop reads it from a signal handler.
    std::atomic<int> listenFd_{-1};
    std::atomic<bool> stop_{false};
    int connectionFd_ = -1;
    std::vector<Waiting> waiting_; // in the order they were accepted
    dev_t boundDevice_ = 0;
    ino_t boundInode_ = 0;
    bool bound_ = false;
    std::array<std::uint8_t, kBufferSize> buffer_{};
    std::size_t dirtyLength_ = 0; // bytes of buffer_ that may be other than zero
};

} // namespace presto
