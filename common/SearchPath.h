#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

// Inline, so that every layer may use it whatever it links.
namespace presto {

// The entries of a colon-separated search list such as $PATH or $XDG_DATA_DIRS, in order, as
// written (an empty entry stays empty). Nothing for a null or empty list.
inline std::vector<std::string> splitSearchList(const char* list) {
    std::vector<std::string> entries;
    if (!list || !*list)
        return entries;
    std::string_view rest = list;
    for (;;) {
        const std::size_t colon = rest.find(':');
        entries.emplace_back(rest.substr(0, colon));
        if (colon == std::string_view::npos)
            return entries;
        rest.remove_prefix(colon + 1);
    }
}

// The first executable `name` in the folders of $PATH (an empty entry is the current folder;
// /usr/bin:/bin without a PATH), or empty when there is none.
inline std::string findInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    for (const std::string& folder : splitSearchList(path && *path ? path : "/usr/bin:/bin")) {
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace presto
