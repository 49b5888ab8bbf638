#pragma once

#include <cstdint>
#include <optional>

// One table from the physical key (evdev code, the X11 key code minus 8) to the Mac virtual key
// code that records hold, shared by the configuration application and the key-capture agent, so
// a hot key stays the same whatever the keyboard layout.
namespace presto {

std::optional<std::uint16_t> macKeyCodeForEvdev(std::uint32_t evdevCode);
// The physical key a record's key code stands for; the first one in the table when several keys
// share a Mac code.
std::optional<std::uint32_t> evdevForMacKeyCode(std::uint16_t macKeyCode);

// Keys for which the Mac sets the function-key bit (F keys, arrows, navigation keys).
bool isFunctionKey(std::uint16_t macKeyCode);
bool isKeypadKey(std::uint16_t macKeyCode);

struct ModifierState {
    bool control = false;
    bool alt = false;
    bool super = false;
    bool shift = false;
    bool capsLock = false;
    bool numLock = false;
};

// The Mac modifier bits of a key event: Control, Option (Alt), Command (Super), Shift, Caps Lock;
// Num Lock or a keypad key sets the numeric-pad bit and function keys the function-key bit.
std::uint32_t macModifierFlags(const ModifierState& state, std::uint16_t macKeyCode);

} // namespace presto
