#include "common/SnapshotFile.h"

#include "common/ByteOrder.h"
#include "common/FileIo.h"

#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {

bool writeSnapshotFile(const std::string& path, const PasteboardSnapshot& snapshot) {
    if (snapshot.type.size() > 255 ||
        snapshot.data.size() > std::numeric_limits<std::uint32_t>::max())
        return false;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(1 + snapshot.type.size() + 8 + snapshot.data.size());
    bytes.push_back(std::uint8_t(snapshot.type.size()));
    bytes.insert(bytes.end(), snapshot.type.begin(), snapshot.type.end());
    std::uint8_t length[8];
    storeLE64(length, std::uint32_t(snapshot.data.size()));
    bytes.insert(bytes.end(), length, length + 8);
    bytes.insert(bytes.end(), snapshot.data.begin(), snapshot.data.end());
    return writeFileAtomically(path, bytes);
}

namespace {

std::optional<PasteboardSnapshot> readSnapshot(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    // Every length in the file is checked against what is left of it before anything is sized
    // by it: a damaged length field must not become a huge allocation.
    std::uint64_t left = std::uint64_t(st.st_size);
    auto take = [&](void* buffer, std::size_t size) {
        if (size > left || readFully(fd, buffer, size) != size)
            return false;
        left -= size;
        return true;
    };

    std::uint8_t typeLength;
    if (!take(&typeLength, 1))
        return std::nullopt;
    PasteboardSnapshot snapshot;
    snapshot.type.resize(typeLength);
    std::uint8_t length[8];
    if (!take(snapshot.type.data(), typeLength) || !take(length, sizeof length))
        return std::nullopt;
    // Writers store a 32-bit length; the upper half is not looked at.
    std::uint32_t dataLength = std::uint32_t(loadLE64(length));
    if (dataLength > left)
        return std::nullopt;
    snapshot.data.resize(dataLength);
    if (!take(snapshot.data.data(), dataLength))
        return std::nullopt;
    return snapshot;
}

} // namespace

std::optional<PasteboardSnapshot> readSnapshotFile(const std::string& path) {
    int fd = openRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    auto snapshot = readSnapshot(fd);
    ::close(fd);
    return snapshot;
}

} // namespace presto
