#include "common/FileReferences.h"

#include "common/FileIo.h"

#include <algorithm>
#include <cstring>
#include <glib.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

constexpr std::string_view kLongMarker = "#ref";
constexpr std::size_t kHashDigits = 64;

bool existsEntry(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool isAbsolute(std::string_view path) {
    return !path.empty() && path.front() == '/';
}

bool isUsablePath(std::string_view path) {
    return isAbsolute(path) && path.size() <= FileReferences::kMaxPathLength &&
           path.find('\0') == std::string_view::npos;
}

std::string sha256Hex(std::string_view bytes) {
    std::unique_ptr<gchar, decltype(&g_free)> hex(
        g_compute_checksum_for_data(G_CHECKSUM_SHA256,
                                    reinterpret_cast<const guchar*>(bytes.data()), bytes.size()),
        &g_free);
    return hex ? std::string(hex.get()) : std::string();
}

bool isHashName(std::string_view name) {
    return name.size() == kHashDigits && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool allZero(const std::uint8_t* begin, const std::uint8_t* end) {
    return std::all_of(begin, end, [](std::uint8_t b) { return b == 0; });
}

// The path a reference file holds, if it is whole and really the path its name is the hash of.
std::optional<std::string> readReferenceFile(const std::string& file, std::string_view hash) {
    int fd = openRegularFile(file);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    std::optional<std::string> result;
    if (::fstat(fd, &st) == 0 && st.st_size > off_t(FileReferences::kMaxInlineLength) &&
        st.st_size <= off_t(FileReferences::kMaxPathLength)) {
        std::string path(std::size_t(st.st_size), '\0');
        if (readFully(fd, path.data(), path.size()) == path.size() && isUsablePath(path) &&
            sha256Hex(path) == hash)
            result = std::move(path);
    }
    ::close(fd);
    return result;
}

} // namespace

FileReferences::FileReferences(std::string referencesDir)
    : referencesDir_(std::move(referencesDir)) {}

std::optional<FileRef> FileReferences::pathMakeRef(const std::string& path) const {
    if (!isUsablePath(path) || !existsEntry(path))
        return std::nullopt;

    FileRef ref{};
    if (path.size() <= kMaxInlineLength) {
        std::memcpy(ref.data(), path.data(), path.size());
        return ref;
    }

    std::string hash = sha256Hex(path);
    if (hash.size() != kHashDigits || !isAbsolute(referencesDir_))
        return std::nullopt;
    std::string file = referencesDir_ + "/" + hash;
    // Saving rewrites the data file often; an existing good reference file is kept as it is.
    if (readReferenceFile(file, hash) != path) {
        if (g_mkdir_with_parents(referencesDir_.c_str(), 0700) != 0)
            return std::nullopt;
        auto bytes = reinterpret_cast<const std::uint8_t*>(path.data());
        if (!writeFileAtomically(file, {bytes, path.size()}))
            return std::nullopt;
    }
    std::memcpy(ref.data(), kLongMarker.data(), kLongMarker.size());
    std::memcpy(ref.data() + kLongMarker.size(), hash.data(), kHashDigits);
    return ref;
}

std::optional<std::string> FileReferences::refMakePath(const FileRef& ref) const {
    auto path = refNamedPath(ref);
    if (!path || !existsEntry(*path))
        return std::nullopt;
    return path;
}

std::optional<std::string> FileReferences::refNamedPath(const FileRef& ref) const {
    const std::uint8_t* begin = ref.data();
    const std::uint8_t* end = begin + ref.size();
    std::optional<std::string> path;

    if (ref[0] == '/') {
        const std::uint8_t* nul = std::find(begin, end, 0);
        if (nul == end || !allZero(nul, end))
            return std::nullopt;
        path.emplace(reinterpret_cast<const char*>(begin), std::size_t(nul - begin));
    } else if (std::equal(kLongMarker.begin(), kLongMarker.end(), begin)) {
        const std::uint8_t* hashEnd = begin + kLongMarker.size() + kHashDigits;
        std::string_view hash(reinterpret_cast<const char*>(begin + kLongMarker.size()),
                              kHashDigits);
        // The digits become a file name: nothing but hex may reach the file system.
        if (!isHashName(hash) || !allZero(hashEnd, end) || !isAbsolute(referencesDir_))
            return std::nullopt;
        path = readReferenceFile(referencesDir_ + "/" + std::string(hash), hash);
    }
    return path;
}

} // namespace presto
