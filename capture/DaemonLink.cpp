#include "capture/DaemonLink.h"

#include <algorithm>
#include <sys/socket.h>
#include <utility>

namespace presto {

DaemonLink::DaemonLink(std::string socketPath, std::chrono::milliseconds timeout, int cancelFd)
    : client_(std::move(socketPath), timeout, cancelFd) {}

std::optional<PrefKEXTSyncRec> DaemonLink::getVersion() const {
    auto reply = client_.request(kGetVersMessage, sizeof kGetVersMessage, kSyncReplySize);
    if (!reply || reply->size() != kSyncReplySize)
        return std::nullopt;
    PrefKEXTSyncRec sync = PrefKEXTSyncRec::fromBytes(reply->data());
    // A daemon's mistake must neither spin the agent nor stop it from ever asking again.
    sync.interval = std::clamp(sync.interval, kMinInterval, kMaxInterval);
    return sync;
}

std::optional<std::vector<std::uint8_t>> DaemonLink::getPref() const {
    return client_.request(kGetPrefMessage, sizeof kGetPrefMessage, kMaxTableBytes);
}

UniqueFd DaemonLink::sendHotKey(const HotKeyRec& rec) const {
    auto bytes = rec.toBytes();
    return client_.sendKeepingConnection(bytes.data(), bytes.size());
}

bool DaemonLink::isNotFoundReply(int fd) {
    char reply[sizeof kNotFoundReply] = {};
    ssize_t n = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
    return n >= 2 && reply[0] == 'N' && reply[1] == 'G';
}

} // namespace presto
