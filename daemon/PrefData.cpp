#include "daemon/PrefData.h"

#include <algorithm>

namespace presto {

PrefData::PrefData(const std::string& dataFilePath) : entries_(readDataFileEntries(dataFilePath)) {
    if (entries_.size() > static_cast<std::size_t>(kMaxHotKeys))
        entries_.resize(kMaxHotKeys);
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
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return matchesStoredHotKey(e.rec, pressed); });
    return it == entries_.end() ? nullptr : &*it;
}

std::vector<FileRef> wholeReferences(const PrefData::Entry& entry) {
    std::vector<FileRef> refs(entry.references.size() / kFileRefSize);
    for (std::size_t i = 0; i < refs.size(); ++i)
        std::copy_n(entry.references.begin() + static_cast<std::ptrdiff_t>(i * kFileRefSize),
                    kFileRefSize, refs[i].begin());
    return refs;
}

} // namespace presto
