#pragma once

#include "common/ClipboardTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A clipboard snapshot file in "PasteboardData", named by the snapshot's title:
//   0    1  N, length of the type identifier
//   1    N  type identifier, ASCII, no terminator
//   1+N  8  L, data length, little-endian u64 (written with the upper half zero; the low 32 bits
//           are used)
//   9+N  L  the data
// A file that ends before the data it promises reads as a failure, and nothing of the promised
// size is allocated before the bytes are known to be there. Bytes after the data are ignored.
// Anything but a regular file reads as a failure.
namespace presto {

struct PasteboardSnapshot {
    std::string type;
    std::vector<std::uint8_t> data;

    bool operator==(const PasteboardSnapshot&) const = default;
};

// False when the file cannot be written whole, the type is longer than 255 bytes or the data
// longer than 4 GiB - 1. The file (mode 0600) replaces any old one at once, so a failed write
// leaves the old one as it was.
bool writeSnapshotFile(const std::string& path, const PasteboardSnapshot& snapshot);
std::optional<PasteboardSnapshot> readSnapshotFile(const std::string& path);

} // namespace presto
