#include "common/PrefSocket.h"

#include "common/DaemonClient.h"

#include <utility>

namespace presto {

PrefSocket::PrefSocket(std::string socketPath) : socketPath_(std::move(socketPath)) {}

long PrefSocket::sendMessage(const void* bytes, long size) {
    if (size < 0 || (bytes == nullptr && size > 0))
        return -1;
    auto sent = DaemonClient(socketPath_).notify(bytes, static_cast<std::size_t>(size));
    return sent ? *sent : kNoConnection;
}

} // namespace presto
