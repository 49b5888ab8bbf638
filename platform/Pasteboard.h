#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace presto {

// The system clipboard as the daemon sees it, by type identifier ("public.utf8-plain-text",
// "public.tiff", "public.file-url").
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Replaces the whole clipboard with one item of one type. False when that failed.
    virtual bool replaceContents(const std::string& typeIdentifier,
                                 const std::vector<std::uint8_t>& data) = 0;
    // The clipboard's data of that type; nullopt when it holds none.
    virtual std::optional<std::vector<std::uint8_t>> contents(const std::string& typeIdentifier) = 0;
};

} // namespace presto
