#pragma once

#include "common/HotKeyRec.h"

#include <optional>
#include <string>

namespace presto {

// How a hot key is named to the desktop. The key is named by its keysym on a US layout, since
// records hold the physical key; nullopt where the desktop cannot be told the hot key (Caps Lock
// among its modifiers, a modifier key itself, a key without a keysym name).

// The XDG shortcuts format, e.g. "LOGO+F5", "CTRL+ALT+g".
std::optional<std::string> xdgTrigger(const HotKeyRec& rec);
// GNOME's accelerator format, e.g. "<Super>F5", "<Primary><Alt>g".
std::optional<std::string> gnomeAccelerator(const HotKeyRec& rec);
// An id made of the key and the modifiers of the hot key identity, the same across sessions and
// restarts, usable in a GSettings path: "hk-96-100000".
std::string shortcutId(const HotKeyRec& rec);
// True when two trigger texts name the same combination, whatever their spelling: "Ctrl+Alt+G"
// as a portal describes it equals "CTRL+ALT+g".
bool sameTrigger(const std::string& a, const std::string& b);

} // namespace presto
