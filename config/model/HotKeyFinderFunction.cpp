#include "config/model/HotKeyFinderFunction.h"

namespace presto {

void HotKeyFinderFunction::assignHotKeyRec(const HotKeyRec& rec) {
    setHotKeyRec(rec);
    setItemCount(0);
    setKind(kKindFinder);
    setFinderItemNo(static_cast<std::uint8_t>(finderFunction_.functionNo().value_or(0)));
}

void HotKeyFinderFunction::resetHotKey() {
    setHotKeyRec(HotKeyRec{});
}

} // namespace presto
