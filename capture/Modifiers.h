#pragma once

#include "common/KeyCodeTable.h"

#include <array>
#include <cstdint>
#include <vector>

namespace presto {

// The X modifier bits that carry Alt, Super, Num Lock and Scroll Lock on this server. They come
// from the modifier mapping, which differs between keymaps, so they are never assumed; 0 means
// no bit carries that modifier.
struct ModifierMasks {
    std::uint16_t alt = 0;
    std::uint16_t super = 0;
    std::uint16_t numLock = 0;
    std::uint16_t scrollLock = 0;

    bool operator==(const ModifierMasks&) const = default;
};

// keysymsByModifier[i]: the keysyms of the keys that the modifier mapping puts on bit i
// (Shift, Lock, Control, Mod1 to Mod5).
ModifierMasks modifierMasksFor(const std::array<std::vector<std::uint32_t>, 8>& keysymsByModifier);

// Every X modifier state in which a hot key with these Mac modifier bits must be grabbed: its own
// modifiers, under each Num Lock and Scroll Lock state, and under each Caps Lock state too when
// capsLockFree (a hot key recorded without Caps Lock whose Caps Lock twin is not a hot key of its
// own); a hot key recorded with Caps Lock wants it on. Empty when the hot key needs a modifier
// that no X modifier bit carries.
std::vector<std::uint16_t> grabMasksFor(std::uint32_t macModFlags, const ModifierMasks& masks,
                                        bool capsLockFree = false);

// The modifiers of an X key event's state.
ModifierState modifierStateFor(std::uint16_t xState, const ModifierMasks& masks);

} // namespace presto
