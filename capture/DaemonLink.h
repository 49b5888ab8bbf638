#pragma once

#include "common/HotKeyRec.h"
#include "common/PrefKEXTRec.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace presto {

// A descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// The agent's side of the daemon's socket: one request per connection, every wait bounded by the
// time-out so a stuck daemon cannot stall the agent for longer.
class DaemonLink {
public:
    static constexpr std::size_t kMaxTableBytes = 100 * PrefKEXTRec::kSize;

    explicit DaemonLink(std::string socketPath,
                        std::chrono::milliseconds timeout = std::chrono::seconds(1));

    // "GETVERS"; nothing when the daemon cannot be reached or the reply is short.
    std::optional<PrefKEXTSyncRec> getVersion() const;
    // "GETPREF": the reply's bytes (at most 4800, possibly none); nothing when the daemon cannot be
    // reached or the reply does not arrive whole.
    std::optional<std::vector<std::uint8_t>> getPref() const;
    // Sends a pressed hot key and hands back the connection, on which the daemon may still answer
    // "NG" once it has looked the key up; an empty descriptor when nothing could be sent.
    UniqueFd sendHotKey(const HotKeyRec& rec) const;

    // Reads the answer to sendHotKey without waiting: true when it is "NG".
    static bool isNotFoundReply(int fd);

private:
    UniqueFd connectAndSend(const void* bytes, std::size_t size) const;

    std::string socketPath_;
    std::chrono::milliseconds timeout_;
};

} // namespace presto
