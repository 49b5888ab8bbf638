#pragma once

#include "common/PrefKEXTRec.h"

#include <array>
#include <cstdint>

namespace presto {

// The hot key table as the key-capture agent holds it: the daemon's "GETPREF" reply taken over
// whole, and the sync record it belongs to. The time stamp text is what tells the agent that the
// daemon's table may have changed.
class KeyTable {
public:
    static constexpr int kCapacity = 100;

    // Takes count records of 48 bytes from bytes. A count above 100 (or below 0) changes nothing.
    void setPrefKEXTBuf(const std::uint8_t* bytes, int count);
    int count() const { return count_; }
    // Null outside 0 to count - 1.
    const PrefKEXTRec* getPrefKEXTRec(int index) const;
    // The first entry that denotes the same hot key as the pressed record; null when none does.
    const PrefKEXTRec* srcPrefKEXTRec(const HotKeyRec& pressed) const;

    // Takes the interval and, unless it is empty, the time stamp text.
    void setPrefKEXTSyncRec(const PrefKEXTSyncRec& sync);
    const PrefKEXTSyncRec& syncRec() const { return sync_; }
    bool isEqualSyncTime(const PrefKEXTSyncRec& sync) const;

private:
    std::array<PrefKEXTRec, kCapacity> entries_{};
    int count_ = 0;
    PrefKEXTSyncRec sync_{};
};

} // namespace presto
