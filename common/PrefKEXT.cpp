#include "common/PrefKEXT.h"

#include <cstring>

namespace presto {

void PrefKEXT::resetPrefKEXT() {
    table_.fill(0);
    count_ = 0;
    sync_ = PrefKEXTSyncRec{};
    syncWire_ = sync_.toBytes();
}

void PrefKEXT::setPrefKEXTRec(const PrefKEXTRec& rec, int index) {
    if (index < 0 || index >= kSlots)
        return;
    rec.toBytes(table_.data() + static_cast<std::size_t>(index) * PrefKEXTRec::kSize);
}

void PrefKEXT::setPrefKEXTBuf(const std::uint8_t* bytes, int count) {
    if (count < 0 || count > kSlots)
        return;
    count_ = count;
    if (count > 0)
        std::memcpy(table_.data(), bytes, static_cast<std::size_t>(count) * PrefKEXTRec::kSize);
}

std::optional<PrefKEXTRec> PrefKEXT::getPrefKEXTRec(int index) const {
    if (index < 0 || index >= count_)
        return std::nullopt;
    return PrefKEXTRec::fromBytes(table_.data() +
                                  static_cast<std::size_t>(index) * PrefKEXTRec::kSize);
}

void PrefKEXT::setPrefKEXTSyncRec(const PrefKEXTSyncRec& sync) {
    // The whole field: a peer's stamp of 12 characters without terminator must compare equal
    // to itself later, or the agent would fetch the table at every poll.
    if (sync.timeStamp[0] != '\0')
        sync_.timeStamp = sync.timeStamp;
    sync_.interval = sync.interval;
    syncWire_ = sync_.toBytes();
}

bool PrefKEXT::isEqualSyncTime(const PrefKEXTSyncRec& sync) const {
    return sync_.timeStampText() == sync.timeStampText();
}

std::optional<PrefKEXTRec> PrefKEXT::srcPrefKEXTRec(const HotKeyRec& pressed) const {
    for (int i = 0; i < count_; ++i) {
        PrefKEXTRec rec = *getPrefKEXTRec(i);
        if (matchesStoredHotKey(rec.first, pressed))
            return rec;
    }
    return std::nullopt;
}

} // namespace presto
