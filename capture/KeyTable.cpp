#include "capture/KeyTable.h"

namespace presto {

void KeyTable::setPrefKEXTBuf(const std::uint8_t* bytes, int count) {
    if (count < 0 || count > kCapacity)
        return;
    for (int i = 0; i < count; ++i)
        entries_[i] = PrefKEXTRec::fromBytes(bytes + i * PrefKEXTRec::kSize);
    count_ = count;
}

const PrefKEXTRec* KeyTable::getPrefKEXTRec(int index) const {
    if (index < 0 || index >= count_)
        return nullptr;
    return &entries_[index];
}

const PrefKEXTRec* KeyTable::srcPrefKEXTRec(const HotKeyRec& pressed) const {
    for (int i = 0; i < count_; ++i)
        if (isSameHotKey(entries_[i].first, pressed))
            return &entries_[i];
    return nullptr;
}

void KeyTable::setPrefKEXTSyncRec(const PrefKEXTSyncRec& sync) {
    if (!sync.timeStampText().empty())
        sync_.timeStamp = sync.timeStamp;
    sync_.interval = sync.interval;
}

bool KeyTable::isEqualSyncTime(const PrefKEXTSyncRec& sync) const {
    return sync_.timeStampText() == sync.timeStampText();
}

} // namespace presto
