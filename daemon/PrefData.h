#pragma once

#include "common/DataFile.h"
#include "common/FileReferences.h"
#include "common/HotKeyRec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace presto {

// The hot key table loaded from the data file: at most 100 entries in file order, each with its
// record and the reference bytes that followed it. Replaced whole on every reload.
class PrefData {
public:
    using Entry = DataFileRawEntry;

    PrefData() = default;
    // A file that is missing or cannot be read gives an empty table.
    explicit PrefData(const std::string& dataFilePath);

    int getPrefDataCount() const { return static_cast<int>(entries_.size()); }
    // Null outside 0 .. count - 1.
    const Entry* getHotKeyItemRec(int index) const;
    const HotKeyRec* getHotKeyRec(int index) const;
    // The first entry whose record is the same hot key as the pressed one; null when none is.
    const Entry* srcHotKeyItemRec(const HotKeyRec& pressed) const;

private:
    // What a lookup compares, apart from the entries: a miss reads 1.2 KB instead of 4.8 KB.
    struct Identity {
        std::uint32_t eventType;
        std::uint32_t keyCode;
        std::uint32_t modFlags;
    };
    std::vector<Entry> entries_;
    std::vector<Identity> identities_;
};

// The whole 80-byte references of an entry, in order; a block cut short by the end of the file
// yields only the references that are complete.
std::vector<FileRef> wholeReferences(const PrefData::Entry& entry);

} // namespace presto
