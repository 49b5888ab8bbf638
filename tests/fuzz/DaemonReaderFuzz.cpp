// The daemon's data file reader against a byte-by-byte walk of the same input.
#include "common/DataFile.h"
#include "tests/fuzz/FuzzHarness.h"

#include <algorithm>

using namespace presto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::World& w = fuzz::world();
    auto entries = readDataFileEntries(fuzz::inputFile(data, size));
    if (entries.size() > std::size_t(kMaxHotKeys))
        fuzz::fail("more than 100 entries");
    if (size < kDataFileHeaderSize) {
        if (!entries.empty())
            fuzz::fail("entries without a header");
        return 0;
    }

    std::size_t pos = kDataFileHeaderSize;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DataFileRawEntry& entry = entries[i];
        if (size - pos < HotKeyRec::kSize || !(entry.rec == HotKeyRec::fromBytes(data + pos)))
            fuzz::fail("record differs from the file");
        pos += HotKeyRec::kSize;
        std::size_t promised = std::size_t(entry.rec.itemCount) * kFileRefSize;
        std::size_t there = std::min(promised, size - pos);
        if (entry.references.size() != there ||
            !std::equal(entry.references.begin(), entry.references.end(), data + pos))
            fuzz::fail("references differ from the file");
        if (there < promised && i + 1 != entries.size())
            fuzz::fail("a cut entry is not the last");
        pos += there;
        for (std::size_t at = 0; at + kFileRefSize <= there; at += kFileRefSize) {
            FileRef ref;
            std::copy_n(entry.references.begin() + at, kFileRefSize, ref.begin());
            if (auto path = w.references.refMakePath(ref); path && path->front() != '/')
                fuzz::fail("relative path from a reference");
        }
    }
    if (entries.size() < std::size_t(kMaxHotKeys) && size - pos >= HotKeyRec::kSize)
        fuzz::fail("stopped before the end");
    return 0;
}
