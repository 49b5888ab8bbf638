#pragma once

#include <string>

// A path's parts, taken from its text alone: nothing on disk is looked at.
namespace presto::path {

// "/a/b//" → "/a/b"; the root stays "/".
inline std::string withoutFinalSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// "/a/b/" → "b"; a path without a slash is its own name.
inline std::string lastComponent(const std::string& path) {
    const std::string trimmed = withoutFinalSlashes(path);
    const std::size_t slash = trimmed.find_last_of('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// "/a/b/" → "/a", "/a" → "/", "b" → ".".
inline std::string parentOf(const std::string& path) {
    const std::string trimmed = withoutFinalSlashes(path);
    const std::size_t slash = trimmed.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : trimmed.substr(0, slash);
}

} // namespace presto::path
