#include "daemon/PrefData.h"

#include <algorithm>

namespace presto {

PrefData::PrefData(const std::string& dataFilePath) : entries_(readDataFileEntries(dataFilePath)) {
    if (entries_.size() > static_cast<std::size_t>(kMaxHotKeys))
        entries_.resize(kMaxHotKeys);
    identities_.reserve(entries_.size());
    for (const Entry& entry : entries_)
        identities_.push_back({entry.rec.eventType, entry.rec.keyCode, entry.rec.modFlags});
}

const PrefData::Entry* PrefData::getHotKeyItemRec(int index) const {
    if (index < 0 || index >= getPrefDataCount())
        return nullptr;
    return &entries_[static_cast<std::size_t>(index)];
}

const HotKeyRec* PrefData::getHotKeyRec(int index) const {
    const Entry* entry = getHotKeyItemRec(index);
    return entry ? &entry->rec : nullptr;
}

const PrefData::Entry* PrefData::srcHotKeyItemRec(const HotKeyRec& pressed) const {
    // The same rule as matchesStoredHotKey.
    const std::uint32_t modFlags = clearIgnoredModFlags(pressed.modFlags);
    for (std::size_t i = 0; i < identities_.size(); ++i) {
        const Identity& key = identities_[i];
        if (key.keyCode == pressed.keyCode && key.modFlags == modFlags &&
            key.eventType == pressed.eventType)
            return &entries_[i];
    }
    return nullptr;
}

std::vector<FileRef> wholeReferences(const PrefData::Entry& entry) {
    std::vector<FileRef> refs(entry.references.size() / kFileRefSize);
    for (std::size_t i = 0; i < refs.size(); ++i)
        std::copy_n(entry.references.begin() + static_cast<std::ptrdiff_t>(i * kFileRefSize),
                    kFileRefSize, refs[i].begin());
    return refs;
}

} // namespace presto
