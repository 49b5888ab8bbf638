#pragma once

#include "common/HotKeyRec.h"
#include "common/KeyCodeTable.h"

#include <cstdint>
#include <string>

namespace presto {

// The first UTF-16 unit of the character an X keysym types, with the values the Mac gives its
// editing, arrow and function keys; 0 when it types none that is known.
std::uint16_t utf16ForKeysym(std::uint32_t keysym);

struct KeyCharacters {
    std::uint16_t withModifiers = 0;     // charCode
    std::uint16_t ignoringModifiers = 0; // charCodeIgMod
};

// The characters of a key from the keysyms of its unshifted and shifted levels, as the Mac reports
// them: Shift, or Caps Lock on a letter, takes the shifted level; Control turns letters and
// @[\]^_ into control characters.
KeyCharacters keyCharacters(std::uint32_t unshifted, std::uint32_t shifted,
                            const ModifierState& state);

// How the agent names a hot key in its messages, e.g. "Command+Shift+A (Mac key code 0)".
std::string describeHotKey(const HotKeyRec& rec);

} // namespace presto
