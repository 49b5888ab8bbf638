#pragma once

#include <cstdint>

// Records on disk and on the wire are little-endian whatever the host is, so every field is read
// and written byte by byte instead of copying structs.
namespace presto {

inline std::uint32_t loadLE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

inline std::uint64_t loadLE64(const std::uint8_t* p) {
    return std::uint64_t(loadLE32(p)) | std::uint64_t(loadLE32(p + 4)) << 32;
}

inline void storeLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

inline void storeLE64(std::uint8_t* p, std::uint64_t v) {
    storeLE32(p, std::uint32_t(v));
    storeLE32(p + 4, std::uint32_t(v >> 32));
}

} // namespace presto
