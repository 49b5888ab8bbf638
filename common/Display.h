#pragma once

#include <cstdlib>

namespace presto {

// True when the environment names a display a graphical program can open: X11, Wayland, or a Qt
// platform chosen by hand (offscreen in tests).
inline bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace presto
