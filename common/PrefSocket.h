#pragma once

#include "common/DaemonProtocol.h"

#include <string>

namespace presto {

// Client of the daemon's socket for the configuration application and the assistant: one-way
// notices ("UPDTDATA", "UPDTPREF"), one connection per message, never reads a reply. Talks only
// to a daemon of this user (or root) and gives up after one second, so a stuck daemon cannot
// hang the caller.
class PrefSocket {
public:
    static constexpr long kNoConnection = 5;

    explicit PrefSocket(std::string socketPath);

    // What the send returned (bytes sent or -1), or kNoConnection when no connection to a server
    // of this user could be made. No descriptor stays open on any path.
    long sendMessage(const void* bytes, long size);

private:
    std::string socketPath_;
};

} // namespace presto
