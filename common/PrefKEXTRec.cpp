#include "common/PrefKEXTRec.h"

#include "common/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace presto {

PrefKEXTRec PrefKEXTRec::fromBytes(const std::uint8_t* bytes) {
    return {HotKeyRec::fromBytes(bytes), HotKeyRec::fromBytes(bytes + HotKeyRec::kSize)};
}

void PrefKEXTRec::toBytes(std::uint8_t* out) const {
    first.toBytes(out);
    second.toBytes(out + HotKeyRec::kSize);
}

PrefKEXTRec::Bytes PrefKEXTRec::toBytes() const {
    Bytes bytes{};
    toBytes(bytes.data());
    return bytes;
}

void PrefKEXTSyncRec::setTimeStamp(std::string_view text) {
    timeStamp.fill('\0');
    const auto n = std::min(text.size(), kTimeStampSize - 1);
    std::copy_n(text.data(), n, timeStamp.data());
}

std::string PrefKEXTSyncRec::timeStampText() const {
    // A received record may lack the terminator; never read past the field.
    return std::string(timeStamp.data(), strnlen(timeStamp.data(), kTimeStampSize));
}

PrefKEXTSyncRec PrefKEXTSyncRec::fromBytes(const std::uint8_t* bytes) {
    PrefKEXTSyncRec rec;
    rec.interval = static_cast<std::int32_t>(loadLE32(bytes));
    std::memcpy(rec.timeStamp.data(), bytes + 4, kTimeStampSize);
    return rec;
}

void PrefKEXTSyncRec::toBytes(std::uint8_t* out) const {
    storeLE32(out, static_cast<std::uint32_t>(interval));
    std::memcpy(out + 4, timeStamp.data(), kTimeStampSize);
}

PrefKEXTSyncRec::Bytes PrefKEXTSyncRec::toBytes() const {
    Bytes bytes{};
    toBytes(bytes.data());
    return bytes;
}

} // namespace presto
