// The snapshot reader against the layout applied to the same bytes in memory.
#include "common/ByteOrder.h"
#include "common/SnapshotFile.h"
#include "tests/fuzz/FuzzHarness.h"

#include <algorithm>

using namespace presto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto snapshot = readSnapshotFile(fuzz::inputFile(data, size));

    bool whole = false;
    if (size >= 1) {
        std::size_t n = data[0];
        if (size >= 9 + n) {
            std::uint64_t length = std::uint32_t(loadLE64(data + 1 + n));
            whole = length <= size - 9 - n;
        }
    }
    if (bool(snapshot) != whole)
        fuzz::fail(whole ? "a whole snapshot was refused" : "a cut snapshot was accepted");
    if (!snapshot)
        return 0;
    std::size_t n = data[0];
    if (snapshot->type != std::string(reinterpret_cast<const char*>(data) + 1, n) ||
        !std::equal(snapshot->data.begin(), snapshot->data.end(), data + 9 + n) ||
        snapshot->data.size() != std::uint32_t(loadLE64(data + 1 + n)))
        fuzz::fail("snapshot differs from the file");
    return 0;
}
