#pragma once

#include <optional>
#include <string>
#include <vector>

namespace presto {

// What a graphical login tells the programs started in it: which display to open.
inline constexpr const char* kSessionVariables[] = {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY",
                                                    "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP"};

// The environment of the user's current login. A long-running process keeps the one it was
// started with, which a later login on another display makes stale.
class SessionEnvironment {
public:
    virtual ~SessionEnvironment() = default;
    // "NAME=value" entries; nullopt when it cannot be learned.
    virtual std::optional<std::vector<std::string>> read() = 0;
};

} // namespace presto
