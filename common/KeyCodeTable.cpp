#include "common/KeyCodeTable.h"

#include "common/HotKeyRec.h"

#include <linux/input-event-codes.h>

namespace presto {
namespace {

struct KeyEntry {
    std::uint32_t evdev;
    std::uint16_t mac;
};

// Mac codes are those of the ANSI layout; a key sits where it physically is, whatever the
// layout maps to it. Order matters for the reverse lookup: where several keys share a Mac code,
// the key a PC keyboard has comes first.
constexpr KeyEntry kKeys[] = {
    // Letters.
    {KEY_A, 0x00},
    {KEY_S, 0x01},
    {KEY_D, 0x02},
    {KEY_F, 0x03},
    {KEY_H, 0x04},
    {KEY_G, 0x05},
    {KEY_Z, 0x06},
    {KEY_X, 0x07},
    {KEY_C, 0x08},
    {KEY_V, 0x09},
    {KEY_B, 0x0B},
    {KEY_Q, 0x0C},
    {KEY_W, 0x0D},
    {KEY_E, 0x0E},
    {KEY_R, 0x0F},
    {KEY_Y, 0x10},
    {KEY_T, 0x11},
    {KEY_O, 0x1F},
    {KEY_U, 0x20},
    {KEY_I, 0x22},
    {KEY_P, 0x23},
    {KEY_L, 0x25},
    {KEY_J, 0x26},
    {KEY_K, 0x28},
    {KEY_N, 0x2D},
    {KEY_M, 0x2E},
    // Digits of the main row.
    {KEY_1, 0x12},
    {KEY_2, 0x13},
    {KEY_3, 0x14},
    {KEY_4, 0x15},
    {KEY_6, 0x16},
    {KEY_5, 0x17},
    {KEY_9, 0x19},
    {KEY_7, 0x1A},
    {KEY_8, 0x1C},
    {KEY_0, 0x1D},
    // Punctuation.
    {KEY_EQUAL, 0x18},
    {KEY_MINUS, 0x1B},
    {KEY_RIGHTBRACE, 0x1E},
    {KEY_LEFTBRACE, 0x21},
    {KEY_APOSTROPHE, 0x27},
    {KEY_SEMICOLON, 0x29},
    {KEY_BACKSLASH, 0x2A},
    {KEY_COMMA, 0x2B},
    {KEY_SLASH, 0x2C},
    {KEY_DOT, 0x2F},
    {KEY_GRAVE, 0x32},
    {KEY_102ND, 0x0A},
    // Japanese keys, where the Apple JIS keyboard has them.
    {KEY_YEN, 0x5D},
    {KEY_RO, 0x5E},
    {KEY_HANGEUL, 0x68},
    {KEY_HANJA, 0x66},
    // Editing and navigation.
    {KEY_ENTER, 0x24},
    {KEY_TAB, 0x30},
    {KEY_SPACE, 0x31},
    {KEY_BACKSPACE, 0x33},
    {KEY_ESC, 0x35},
    {KEY_INSERT, 0x72},
    {KEY_HOME, 0x73},
    {KEY_PAGEUP, 0x74},
    {KEY_DELETE, 0x75},
    {KEY_END, 0x77},
    {KEY_PAGEDOWN, 0x79},
    {KEY_LEFT, 0x7B},
    {KEY_RIGHT, 0x7C},
    {KEY_DOWN, 0x7D},
    {KEY_UP, 0x7E},
    // Function keys.
    {KEY_F1, 0x7A},
    {KEY_F2, 0x78},
    {KEY_F3, 0x63},
    {KEY_F4, 0x76},
    {KEY_F5, 0x60},
    {KEY_F6, 0x61},
    {KEY_F7, 0x62},
    {KEY_F8, 0x64},
    {KEY_F9, 0x65},
    {KEY_F10, 0x6D},
    {KEY_F11, 0x67},
    {KEY_F12, 0x6F},
    {KEY_F13, 0x69},
    {KEY_F14, 0x6B},
    {KEY_F15, 0x71},
    {KEY_F16, 0x6A},
    {KEY_F17, 0x40},
    {KEY_F18, 0x4F},
    {KEY_F19, 0x50},
    {KEY_F20, 0x5A},
    // Keypad. Num Lock sits where the Mac keypad has Clear.
    {KEY_KP0, 0x52},
    {KEY_KP1, 0x53},
    {KEY_KP2, 0x54},
    {KEY_KP3, 0x55},
    {KEY_KP4, 0x56},
    {KEY_KP5, 0x57},
    {KEY_KP6, 0x58},
    {KEY_KP7, 0x59},
    {KEY_KP8, 0x5B},
    {KEY_KP9, 0x5C},
    {KEY_KPDOT, 0x41},
    {KEY_KPASTERISK, 0x43},
    {KEY_KPPLUS, 0x45},
    {KEY_NUMLOCK, 0x47},
    {KEY_KPSLASH, 0x4B},
    {KEY_KPENTER, 0x4C},
    {KEY_KPMINUS, 0x4E},
    {KEY_KPEQUAL, 0x51},
    {KEY_KPCOMMA, 0x5F},
    // Modifiers and the menu key.
    {KEY_RIGHTMETA, 0x36},
    {KEY_LEFTMETA, 0x37},
    {KEY_LEFTSHIFT, 0x38},
    {KEY_CAPSLOCK, 0x39},
    {KEY_LEFTALT, 0x3A},
    {KEY_LEFTCTRL, 0x3B},
    {KEY_RIGHTSHIFT, 0x3C},
    {KEY_RIGHTALT, 0x3D},
    {KEY_RIGHTCTRL, 0x3E},
    {KEY_COMPOSE, 0x6E},
    // Second keys for a Mac code: a Mac reads Print Screen, Scroll Lock and Pause of a PC
    // keyboard as F13 to F15.
    {KEY_SYSRQ, 0x69},
    {KEY_SCROLLLOCK, 0x6B},
    {KEY_PAUSE, 0x71},
    {KEY_CLEAR, 0x47},
    {KEY_HELP, 0x72},
};

constexpr bool eachKeyOnce() {
    for (const KeyEntry& a : kKeys) {
        int seen = 0;
        for (const KeyEntry& b : kKeys)
            seen += a.evdev == b.evdev ? 1 : 0;
        if (seen != 1)
            return false;
    }
    return true;
}
static_assert(eachKeyOnce(), "a physical key has one Mac code");

constexpr std::uint16_t kFunctionKeys[] = {
    0x7A, 0x78, 0x63, 0x76, 0x60, 0x61, 0x62, 0x64, 0x65, 0x6D,
    0x67, 0x6F, 0x69, 0x6B, 0x71, 0x6A, 0x40, 0x4F, 0x50, 0x5A, // F1 to F20
    0x7B, 0x7C, 0x7D, 0x7E,                                     // arrows
    0x73, 0x77, 0x74, 0x79, 0x75, 0x72, // Home, End, Page Up/Down, Forward Delete, Help
};

constexpr std::uint16_t kKeypadKeys[] = {
    0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5B, 0x5C, // 0 to 9
    0x41, 0x43, 0x45, 0x47, 0x4B, 0x4C, 0x4E, 0x51, 0x5F,
};

template <std::size_t N>
constexpr bool contains(const std::uint16_t (&codes)[N], std::uint16_t code) {
    for (std::uint16_t c : codes) {
        if (c == code)
            return true;
    }
    return false;
}

} // namespace

std::optional<std::uint16_t> macKeyCodeForEvdev(std::uint32_t evdevCode) {
    for (const KeyEntry& entry : kKeys) {
        if (entry.evdev == evdevCode)
            return entry.mac;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> evdevForMacKeyCode(std::uint16_t macKeyCode) {
    for (const KeyEntry& entry : kKeys) {
        if (entry.mac == macKeyCode)
            return entry.evdev;
    }
    return std::nullopt;
}

bool isFunctionKey(std::uint16_t macKeyCode) {
    return contains(kFunctionKeys, macKeyCode);
}

bool isKeypadKey(std::uint16_t macKeyCode) {
    return contains(kKeypadKeys, macKeyCode);
}

std::uint32_t macModifierFlags(const ModifierState& state, std::uint16_t macKeyCode) {
    std::uint32_t flags = 0;
    if (state.capsLock)
        flags |= kCapsLockBit;
    if (state.shift)
        flags |= kShiftBit;
    if (state.control)
        flags |= kControlBit;
    if (state.alt)
        flags |= kOptionBit;
    if (state.super)
        flags |= kCommandBit;
    if (state.numLock || isKeypadKey(macKeyCode))
        flags |= kNumericPadBit;
    if (isFunctionKey(macKeyCode))
        flags |= kFunctionBit;
    return flags;
}

} // namespace presto
