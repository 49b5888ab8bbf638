#pragma once

#include "capture/KeySource.h"
#include "common/HotKeyRec.h"

#include <optional>
#include <string>
#include <vector>

namespace presto {

inline constexpr char kKeysStatusName[] = "keys-status";

// What the agent tells the user through the configuration application: the key source in use and
// the hot keys that do not work as recorded. Human lines first, then one line for programs per
// hot key that does not work:
//   source=<name>
//   fallback=<source> does not work here (<why>)
//   refused=<hot key> <reason>
//   changed=<hot key> bound to <combination>
//   key=<keyCode> <modFlags> <reason word>
// The key code and modifiers are the stored record's, as the daemon handed them over.
class StatusFile {
public:
    // Empty path: nothing is written.
    explicit StatusFile(std::string path) : path_(std::move(path)) {}

    void setSource(std::string name);
    void addFallback(std::string line);
    // A new table: what was said of the old one no longer holds.
    void clearKeys();
    // Each replaces what was said of the same hot key before.
    void setProblem(const HotKeyRec& rec, GrabProblem problem, const std::string& reason);
    void setChanged(const HotKeyRec& rec, const std::string& boundTo);
    void setWorking(const HotKeyRec& rec);
    // Replaces the file whole (temporary file, then rename); false when that fails.
    bool write() const;
    std::string text() const;
    // When the agent ends: no source is active any more.
    void remove() const;

    // The one word a program reads for the problem.
    static const char* reasonWord(GrabProblem problem);

private:
    struct KeyState {
        HotKeyRec rec;
        std::optional<GrabProblem> problem; // none: bound to another combination
        std::string line;                   // the human line's text
    };
    void setState(KeyState state);

    std::string path_;
    std::string source_;
    std::vector<std::string> fallbacks_;
    std::vector<KeyState> keys_;
};

} // namespace presto
