#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace presto {

// The 80-byte file reference stored in the data file for every path.
using FileRef = std::array<std::uint8_t, 80>;

// Turns paths into 80-byte references and back. A path of at most 79 bytes is stored inline,
// NUL-padded. A longer one (up to 4095 bytes) is kept in a small file in the references folder,
// named by a hash of the path, and the reference names that file, so every entry stays 80 bytes.
class FileReferences {
public:
    static constexpr std::size_t kMaxPathLength = 4095;

    explicit FileReferences(std::string referencesDir);

    // Fails when nothing exists at the path, the path is empty, relative or too long, or a long
    // path's reference file cannot be written.
    std::optional<FileRef> pathMakeRef(const std::string& path) const;
    // Fails when the reference is malformed or nothing exists at its path any more.
    std::optional<std::string> refMakePath(const FileRef& ref) const;

private:
    std::string referencesDir_;
};

} // namespace presto
