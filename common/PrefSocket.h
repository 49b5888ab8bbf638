#pragma once

#include <string>

namespace presto {

inline constexpr char kUpdateDataMessage[] = "UPDTDATA";
inline constexpr char kUpdatePrefMessage[] = "UPDTPREF";

// Client of the daemon's socket: one-way notices, one connection per message, never reads a
// reply. 1-second send and receive time-outs so a stuck daemon cannot hang the caller.
class PrefSocket {
public:
    static constexpr long kNoConnection = 5;

    explicit PrefSocket(std::string socketPath);

    // What the send returned (bytes sent or -1), or kNoConnection when no connection could be
    // made. No descriptor stays open on any path.
    long sendMessage(const void* bytes, long size);

private:
    std::string socketPath_;
};

} // namespace presto
