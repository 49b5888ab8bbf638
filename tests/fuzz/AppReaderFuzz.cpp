// The configuration application's data file reader, driven as its model drives it, against a
// byte-by-byte walk of the same input.
#include "common/DataFile.h"
#include "tests/fuzz/FuzzHarness.h"

#include <algorithm>

using namespace presto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::World& w = fuzz::world();
    DataFileReader reader(fuzz::inputFile(data, size));
    if (reader.hasHeader() != (size >= kDataFileHeaderSize))
        fuzz::fail("header presence");
    if (!reader.hasHeader()) {
        if (reader.nextRecord() || reader.nextReference())
            fuzz::fail("reads without a header");
        return 0;
    }
    if (reader.version() != std::string(reinterpret_cast<const char*>(data), 4) ||
        reader.signature() != std::string(reinterpret_cast<const char*>(data) + 4, 4))
        fuzz::fail("header strings");

    std::size_t pos = kDataFileHeaderSize;
    bool cut = false;
    while (!cut) {
        auto rec = reader.nextRecord();
        if (!rec) {
            if (size - pos >= HotKeyRec::kSize)
                fuzz::fail("record missing");
            break;
        }
        if (size - pos < HotKeyRec::kSize || !(*rec == HotKeyRec::fromBytes(data + pos)))
            fuzz::fail("record differs from the file");
        pos += HotKeyRec::kSize;
        int references = rec->kind == kKindLaunch || rec->kind == kKindGroup ? rec->itemCount
                         : rec->kind == kKindPasteboard                      ? 1
                                                                             : 0;
        for (int i = 0; i < references; ++i) {
            auto ref = reader.nextReference();
            if (!ref) {
                if (size - pos >= kFileRefSize)
                    fuzz::fail("reference missing");
                cut = true;
                break;
            }
            if (size - pos < kFileRefSize || !std::equal(ref->begin(), ref->end(), data + pos))
                fuzz::fail("reference differs from the file");
            pos += kFileRefSize;
            if (auto path = w.references.refMakePath(*ref); path && path->front() != '/')
                fuzz::fail("relative path from a reference");
        }
    }
    if (reader.nextRecord() || reader.nextReference())
        fuzz::fail("reading went on after the end");
    return 0;
}
