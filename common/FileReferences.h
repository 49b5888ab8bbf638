#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace presto {

// The 80-byte file reference stored in the data file for every path.
using FileRef = std::array<std::uint8_t, 80>;

// Turns paths into 80-byte references and back, so every entry of the data file stays 80 bytes
// per path whatever the path's length:
//   inline  a path of at most 79 bytes: its bytes, then NUL bytes up to 80. It begins with '/'.
//   long    "#ref", then the SHA-256 of the path as 64 lower-case hex digits, then 12 NUL bytes.
//           The path (80 to 4095 bytes, no terminator) is the whole content of the file
//           <referencesDir>/<those 64 digits>. '#' cannot begin an absolute path, so the two
//           forms never mix.
// Reference files are written once and shared by every reference to the same path; nothing
// removes them.
class FileReferences {
public:
    static constexpr std::size_t kMaxPathLength = 4095;
    static constexpr std::size_t kMaxInlineLength = 79;

    explicit FileReferences(std::string referencesDir);

    // Fails when nothing exists at the path (a dangling symbolic link does exist), the path is
    // empty, relative, too long or holds a NUL byte, or a long path's reference file cannot be
    // written (nor is it, when the references folder is not an absolute path).
    std::optional<FileRef> pathMakeRef(const std::string& path) const;
    // Fails when the reference is malformed (an inline path without its NUL or with bytes after
    // it, an unknown marker), the reference file is missing, unreadable or holds a path that
    // does not hash to its name, or nothing exists at the path any more.
    std::optional<std::string> refMakePath(const FileRef& ref) const;
    // The path the reference names, whether or not anything exists there now: what to tell the
    // user of an item that has gone. Fails as refMakePath does otherwise.
    std::optional<std::string> refNamedPath(const FileRef& ref) const;

private:
    std::string referencesDir_;
};

} // namespace presto
