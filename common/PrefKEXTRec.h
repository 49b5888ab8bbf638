#pragma once

#include "common/HotKeyRec.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace presto {

// One entry of the key-capture table: the hot key record twice, 48 bytes.
struct PrefKEXTRec {
    static constexpr std::size_t kSize = 2 * HotKeyRec::kSize;
    using Bytes = std::array<std::uint8_t, kSize>;

    HotKeyRec first;
    HotKeyRec second;

    static PrefKEXTRec forHotKey(const HotKeyRec& rec) { return {rec, rec}; }
    static PrefKEXTRec fromBytes(const std::uint8_t* bytes);
    void toBytes(std::uint8_t* out) const;
    Bytes toBytes() const;

    bool operator==(const PrefKEXTRec&) const = default;
};

// The sync record, 16 bytes: poll interval (i32) and a NUL-terminated time stamp text in 12
// bytes, zero-padded. A changed text tells the key-capture agent to fetch the table again.
struct PrefKEXTSyncRec {
    static constexpr std::size_t kSize = 16;
    static constexpr std::size_t kTimeStampSize = 12;
    using Bytes = std::array<std::uint8_t, kSize>;

    std::int32_t interval = 0;
    std::array<char, kTimeStampSize> timeStamp{};

    // Keeps at most 11 characters so the text stays terminated.
    void setTimeStamp(std::string_view text);
    std::string timeStampText() const;

    static PrefKEXTSyncRec fromBytes(const std::uint8_t* bytes);
    void toBytes(std::uint8_t* out) const;
    Bytes toBytes() const;

    bool operator==(const PrefKEXTSyncRec&) const = default;
};

} // namespace presto
