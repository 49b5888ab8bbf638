#pragma once

#include "common/HotKeyRec.h"
#include "common/PrefKEXTRec.h"

#include <array>
#include <cstdint>
#include <optional>

namespace presto {

// The key-capture table with its sync record, on both sides of the socket: the daemon fills the
// slots and sends the first n of them as one block without copying; the key-capture agent takes
// a received table over whole, looks presses up in it and compares time stamps to know when to
// fetch it again. 100 slots of 48 bytes, contiguous, as they go on the wire.
class PrefKEXT {
public:
    static constexpr int kSlots = 100;
    static constexpr std::size_t kTableSize = kSlots * PrefKEXTRec::kSize;

    PrefKEXT() { resetPrefKEXT(); }

    void resetPrefKEXT();
    // Slots outside 0 .. 99 are ignored; the count does not change.
    void setPrefKEXTRec(const PrefKEXTRec& rec, int index);
    // Takes over a received table whole; a count above 100 changes nothing.
    void setPrefKEXTBuf(const std::uint8_t* bytes, int count);
    int count() const { return count_; }
    // Nullopt outside 0 .. count - 1.
    std::optional<PrefKEXTRec> getPrefKEXTRec(int index) const;
    // Takes the interval, and the time stamp field unless its text is empty.
    void setPrefKEXTSyncRec(const PrefKEXTSyncRec& sync);
    const PrefKEXTSyncRec& syncRec() const { return sync_; }
    bool isEqualSyncTime(const PrefKEXTSyncRec& sync) const;
    // The first of slots 0 .. count - 1 whose hot key is the pressed one.
    std::optional<PrefKEXTRec> srcPrefKEXTRec(const HotKeyRec& pressed) const;

    // The first slots' bytes as they go on the wire.
    const std::uint8_t* tableBytes() const { return table_.data(); }
    const std::uint8_t* syncBytes() const { return syncWire_.data(); }

private:
    std::array<std::uint8_t, kTableSize> table_{};
    int count_ = 0;
    PrefKEXTSyncRec sync_;
    PrefKEXTSyncRec::Bytes syncWire_{};
};

} // namespace presto
