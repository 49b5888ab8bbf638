#pragma once

#include "common/DaemonClient.h"
#include "common/DaemonProtocol.h"
#include "common/HotKeyRec.h"
#include "common/PrefKEXTRec.h"
#include "common/UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace presto {

// The agent's side of the daemon's socket: one request per connection, each kept to one overall
// deadline so a slow or stuck daemon cannot hold the agent's loop, and only with a daemon of this
// user (or root). What comes back is taken only as far as it is sane.
class DaemonLink {
public:
    static constexpr std::size_t kMaxTableBytes = presto::kMaxTableBytes;
    // The poll interval a sync record may ask for, in seconds.
    static constexpr std::int32_t kMinInterval = 1;
    static constexpr std::int32_t kMaxInterval = 3600;

    // A readable cancelFd (the agent's signal descriptor) ends any request at once.
    explicit DaemonLink(std::string socketPath,
                        std::chrono::milliseconds timeout = std::chrono::seconds(1),
                        int cancelFd = -1);

    // "GETVERS", its interval clamped to 1 .. 3600 s; nothing when the daemon cannot be reached
    // or the reply is short.
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
    DaemonClient client_;
};

} // namespace presto
