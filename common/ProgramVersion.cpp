#include "common/ProgramVersion.h"

#include "common/FileIo.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

bool isVersionByte(char c) {
    return (c >= '0' && c <= '9') || c == '.';
}

// The version after the first needle that is followed by one; the reader's own needle text may
// sit in the same file with no version after it.
std::optional<std::string> findMark(std::string_view text, std::string_view needle) {
    std::size_t at = 0;
    while ((at = text.find(needle, at)) != std::string_view::npos) {
        at += needle.size();
        std::size_t end = at;
        while (end < text.size() && isVersionByte(text[end]))
            ++end;
        if (end > at && text[at] != '.')
            return std::string(text.substr(at, end - at));
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> readVersionMark(const std::string& path, std::string_view name) {
    int fd = openRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_size <= 0) {
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED)
        return std::nullopt;
    std::string needle = "@(#)";
    needle.append(name);
    needle.push_back(' ');
    auto found = findMark(std::string_view(static_cast<const char*>(mapped), size), needle);
    ::munmap(mapped, size);
    return found;
}

} // namespace presto
