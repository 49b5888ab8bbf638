#pragma once

#include "common/HotKeyRec.h"
#include "tests/support/TempWorld.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace presto::test {

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline HotKeyRec makeRec(char kind, std::uint8_t itemCount, std::uint8_t finderItemNo = 0,
                         std::uint32_t keyCode = 12) {
    return {kKeyDownEventType, kCommandBit, keyCode, 'q', 'q', kind, itemCount, finderItemNo, 0};
}

// Creates a file whose absolute path is exactly `length` bytes, most of them outside ASCII, below
// the world's root, and returns the path.
inline std::string makeLongPath(const TempWorld& world, std::size_t length,
                                const std::string& tag = "a") {
    std::string path = world.root() + "/" + tag;
    const std::string segment = "/dossier-été-ß-日本語-ünïcødé";
    while (path.size() + segment.size() + 2 < length)
        path += segment;
    std::filesystem::create_directories(path);
    path += "/";
    if (path.size() >= length)
        throw std::logic_error("root too long for the requested path");
    path.append(length - path.size(), 'x');
    std::ofstream(path) << "content";
    return path;
}

} // namespace presto::test
