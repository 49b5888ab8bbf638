#include "common/HotKeyRec.h"

#include "common/ByteOrder.h"

namespace presto {

static_assert(sizeof(std::uint32_t) * 5 + 4 == HotKeyRec::kSize);

HotKeyRec HotKeyRec::fromBytes(const std::uint8_t* bytes) {
    HotKeyRec rec;
    rec.eventType = loadLE32(bytes + 0);
    rec.modFlags = loadLE32(bytes + 4);
    rec.keyCode = loadLE32(bytes + 8);
    rec.charCode = loadLE32(bytes + 12);
    rec.charCodeIgMod = loadLE32(bytes + 16);
    rec.kind = static_cast<char>(bytes[20]);
    rec.itemCount = bytes[21];
    rec.finderItemNo = bytes[22];
    rec.filler = bytes[23];
    return rec;
}

void HotKeyRec::toBytes(std::uint8_t* out) const {
    storeLE32(out + 0, eventType);
    storeLE32(out + 4, modFlags);
    storeLE32(out + 8, keyCode);
    storeLE32(out + 12, charCode);
    storeLE32(out + 16, charCodeIgMod);
    out[20] = static_cast<std::uint8_t>(kind);
    out[21] = itemCount;
    out[22] = finderItemNo;
    out[23] = filler;
}

HotKeyRec::Bytes HotKeyRec::toBytes() const {
    Bytes bytes{};
    toBytes(bytes.data());
    return bytes;
}

bool isSameHotKey(const HotKeyRec& a, const HotKeyRec& b) {
    return a.eventType == b.eventType && a.keyCode == b.keyCode &&
           clearIgnoredModFlags(a.modFlags) == clearIgnoredModFlags(b.modFlags);
}

} // namespace presto
