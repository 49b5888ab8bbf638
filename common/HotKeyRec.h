#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace presto {

// Event type of a key press; every stored record holds it.
inline constexpr std::uint32_t kKeyDownEventType = 10;

// Modifier bits of a record's modFlags (device-independent Mac bits).
inline constexpr std::uint32_t kCapsLockBit = 0x00010000;
inline constexpr std::uint32_t kShiftBit = 0x00020000;
inline constexpr std::uint32_t kControlBit = 0x00040000;
inline constexpr std::uint32_t kOptionBit = 0x00080000;
inline constexpr std::uint32_t kCommandBit = 0x00100000;
inline constexpr std::uint32_t kNumericPadBit = 0x00200000;
inline constexpr std::uint32_t kHelpBit = 0x00400000;
inline constexpr std::uint32_t kFunctionBit = 0x00800000;

// Device-dependent bits and the numeric-pad, help and function-key bits take no part in a hot
// key's identity: Num Lock or the Fn key must not turn a hot key into another one.
inline constexpr std::uint32_t kIgnoredModFlagsMask = 0x00E0FFFF;

inline constexpr std::uint32_t clearIgnoredModFlags(std::uint32_t modFlags) {
    return modFlags & ~kIgnoredModFlagsMask;
}

// What a hot key is bound to.
inline constexpr char kKindLaunch = 'L';     // one file, folder or application
inline constexpr char kKindGroup = 'G';      // two or more of them
inline constexpr char kKindFinder = 'F';     // a file-manager function
inline constexpr char kKindPasteboard = 'P'; // a clipboard snapshot

// The 24-byte hot key record shared by every program, the data file and the socket.
//   0 eventType u32 | 4 modFlags u32 | 8 keyCode u32 | 12 charCode u32 | 16 charCodeIgMod u32
//  20 kind i8 | 21 itemCount u8 | 22 finderItemNo u8 | 23 filler u8       (all little-endian)
struct HotKeyRec {
    static constexpr std::size_t kSize = 24;
    using Bytes = std::array<std::uint8_t, kSize>;

    std::uint32_t eventType = 0;
    std::uint32_t modFlags = 0;
    std::uint32_t keyCode = 0;
    std::uint32_t charCode = 0;
    std::uint32_t charCodeIgMod = 0;
    char kind = 0;
    std::uint8_t itemCount = 0;
    std::uint8_t finderItemNo = 0;
    std::uint8_t filler = 0;

    // Reads exactly kSize bytes.
    static HotKeyRec fromBytes(const std::uint8_t* bytes);
    static HotKeyRec fromBytes(const Bytes& bytes) { return fromBytes(bytes.data()); }
    // Writes exactly kSize bytes.
    void toBytes(std::uint8_t* out) const;
    Bytes toBytes() const;

    bool operator==(const HotKeyRec&) const = default;
};

// The hot key identity: same event type and key code, same modifiers once the ignored bits are
// cleared on both sides. Characters, kind and counts do not count.
bool isSameHotKey(const HotKeyRec& a, const HotKeyRec& b);

// A stored record is kept with its ignored modifier bits already cleared, so only the pressed
// record's are cleared before comparing.
inline bool matchesStoredHotKey(const HotKeyRec& stored, const HotKeyRec& pressed) {
    return stored.eventType == pressed.eventType && stored.keyCode == pressed.keyCode &&
           stored.modFlags == clearIgnoredModFlags(pressed.modFlags);
}

} // namespace presto
