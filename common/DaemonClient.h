#pragma once

#include "common/UniqueFd.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace presto {

// The one client of the daemon's socket, used by every program: one connection per message, and
// the server must belong to this user (or root), checked right after connecting and before a
// byte is sent, so a socket another user put in the way hears nothing. Each call keeps to one
// overall deadline for connecting, sending and reading the reply, and gives up at once when the
// optional cancel descriptor becomes readable (the key-capture agent's signal descriptor). No
// call raises SIGPIPE; no descriptor stays open except the one sendKeepingConnection returns.
class DaemonClient {
public:
    static constexpr std::chrono::milliseconds kDefaultDeadline{1000};

    explicit DaemonClient(std::string socketPath,
                          std::chrono::milliseconds deadline = kDefaultDeadline, int cancelFd = -1);

    // A one-way notice: the number of bytes sent, -1 when the send failed, or nullopt when no
    // connection to a server of this user could be made.
    std::optional<long> notify(const void* bytes, std::size_t size) const;

    // A request whose reply the daemon ends by closing: the reply's bytes, at most maxReply of
    // them (reading stops there); nullopt when no connection could be made, the send failed, or
    // the reply did not end within the deadline.
    std::optional<std::vector<std::uint8_t>> request(const void* bytes, std::size_t size,
                                                     std::size_t maxReply) const;

    // Whether a daemon of this user is there and working: its sync record comes back for
    // "GETVERS" within the deadline. Read whole, so the daemon's reply always finds us listening.
    bool daemonAnswers() const;

    // Sends and hands back the connection for a reply the caller waits for in its own loop; an
    // empty descriptor when nothing could be sent.
    UniqueFd sendKeepingConnection(const void* bytes, std::size_t size) const;

    // True when the peer of a connected Unix socket runs as this process's user or as root.
    static bool serverIsTrusted(int fd);

private:
    using Clock = std::chrono::steady_clock;
    UniqueFd connect(Clock::time_point deadline) const;
    long sendAll(int fd, const void* bytes, std::size_t size, Clock::time_point deadline) const;
    // Ready, or false on time-out, cancellation or error.
    bool waitFor(int fd, short events, Clock::time_point deadline) const;

    std::string socketPath_;
    std::chrono::milliseconds deadline_;
    int cancelFd_;
};

} // namespace presto
