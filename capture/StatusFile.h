#pragma once

#include "common/HotKeyRec.h"

#include <string>
#include <vector>

namespace presto {

inline constexpr char kKeysStatusName[] = "keys-status";

// What the agent tells the user through the configuration application: the key source in use and
// the hot keys the desktop refused or bound to another combination. One "key=value" a line:
//   source=<name>
//   refused=<hot key> <reason>
//   changed=<hot key> bound to <combination>
class StatusFile {
public:
    // Empty path: nothing is written.
    explicit StatusFile(std::string path) : path_(std::move(path)) {}

    void setSource(std::string name);
    // A new table: what was said of the old one no longer holds.
    void clearKeys();
    void addRefused(const HotKeyRec& rec, const std::string& reason);
    void addChanged(const HotKeyRec& rec, const std::string& boundTo);
    // Replaces the file whole (temporary file, then rename); false when that fails.
    bool write() const;
    std::string text() const;
    // When the agent ends: no source is active any more.
    void remove() const;

private:
    std::string path_;
    std::string source_;
    std::vector<std::string> refused_;
    std::vector<std::string> changed_;
};

} // namespace presto
