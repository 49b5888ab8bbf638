#pragma once

#include "common/HotKeyRec.h"
#include "common/PrefKEXT.h"
#include "common/PrefKEXTRec.h"

#include <cstddef>
#include <cstdint>

namespace presto {

// The daemon's socket protocol, shared by the daemon and every client: one request per
// connection, at most one reply, then the daemon closes the connection.

// The four keywords. Clients send the table and sync requests with their terminator and the two
// reload notices as their eight letters.
inline constexpr char kGetPrefMessage[] = "GETPREF";
inline constexpr char kGetVersMessage[] = "GETVERS";
inline constexpr char kUpdatePrefMessage[] = "UPDTPREF";
inline constexpr char kUpdateDataMessage[] = "UPDTDATA";

// The answer to a pressed hot key the daemon does not know: "NG" with its terminator.
inline constexpr std::uint8_t kNotFoundReply[] = {'N', 'G', 0};

// A request is read with one receive of at most this many bytes; the largest reply is the same
// size: a full key-capture table.
inline constexpr std::size_t kMaxRequestSize = 4800;
inline constexpr std::size_t kMaxTableBytes = PrefKEXT::kTableSize;
inline constexpr std::size_t kHotKeyRequestSize = HotKeyRec::kSize;
inline constexpr std::size_t kSyncReplySize = PrefKEXTSyncRec::kSize;
static_assert(kMaxTableBytes == kMaxRequestSize);

} // namespace presto
