#pragma once

#include <optional>
#include <string>
#include <string_view>

// A program's version, readable from its file without running it: a what-string ("@(#)", the
// program's name, a space, the dotted version) kept in the executable. The assistant looks for
// a configuration application of its own version this way, and may never run what it finds.
#define PRESTO_VERSION_MARK(name, version)                                                         \
    [[gnu::used]] static const char prestoVersionMark[] = "@(#)" name " " version

namespace presto {

// The version in the first mark of the named program in the file: digits and dots up to the
// first other byte. Nothing when the file cannot be read or holds no such mark.
std::optional<std::string> readVersionMark(const std::string& path, std::string_view name);

} // namespace presto
