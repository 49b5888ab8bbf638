#pragma once

#include <string>

namespace presto {

// The daemon closes this file, written afresh, after every reload of its table or preferences,
// so the key-capture agent (watching the folder with inotify) fetches the table at once instead
// of at its next poll.
inline constexpr char kReloadNoticeName[] = "reloaded";

// <runtimeDir>/reloaded
std::string reloadNoticePath(const std::string& runtimeDir);

// Makes the runtime folder (mode 0700) when it is missing and writes the notice; false when
// either fails. Nothing depends on it beyond speed: the agent's polling stays.
bool touchReloadNotice(const std::string& runtimeDir);

} // namespace presto
