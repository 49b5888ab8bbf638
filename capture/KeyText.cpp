#include "capture/KeyText.h"

#include <cstdio>
#include <string>
#include <utility>

namespace presto {
namespace {

struct SpecialKeysym {
    std::uint32_t keysym;
    std::uint16_t utf16;
};

// Mac text of keys that type no ordinary character (NSEvent's function-key range and control
// characters), so records stay what the Mac would have made.
constexpr SpecialKeysym kSpecials[] = {
    {0xff08, 0x7f},   // BackSpace: the Mac's delete key
    {0xff09, 0x09},   // Tab
    {0xfe20, 0x19},   // ISO_Left_Tab: back tab
    {0xff0d, 0x0d},   // Return
    {0xff1b, 0x1b},   // Escape
    {0xffff, 0xf728}, // Delete: forward delete
    {0xff8d, 0x03},   // KP_Enter
    {0xff80, 0x20},   // KP_Space
    {0xffaa, '*'},    {0xffab, '+'}, {0xffac, ','}, {0xffad, '-'},
    {0xffae, '.'},    {0xffaf, '/'}, {0xffbd, '='}, {0xff52, 0xf700}, // Up
    {0xff54, 0xf701},                                                 // Down
    {0xff51, 0xf702},                                                 // Left
    {0xff53, 0xf703},                                                 // Right
    {0xff63, 0xf727},                                                 // Insert
    {0xff50, 0xf729},                                                 // Home
    {0xff57, 0xf72b},                                                 // End
    {0xff55, 0xf72c},                                                 // Prior
    {0xff56, 0xf72d},                                                 // Next
};

constexpr std::uint32_t kKpDigit0 = 0xffb0;
constexpr std::uint32_t kF1 = 0xffbe;
constexpr std::uint32_t kF35 = 0xffe0;
constexpr std::uint16_t kMacF1 = 0xf704;
constexpr std::uint32_t kUnicodeKeysym = 0x01000000;

bool isLetter(std::uint16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c >= 0xc0 && c <= 0xff && c != 0xd7 && c != 0xf7);
}

std::uint16_t withControl(std::uint16_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= '@' && c <= '_'))
        return c & 0x1f;
    return c;
}

// The level's text, or the other level's when this one types nothing (keypad keys carry their
// digits on one level only).
std::uint16_t textOf(std::uint32_t first, std::uint32_t second) {
    std::uint16_t c = utf16ForKeysym(first);
    return c != 0 ? c : utf16ForKeysym(second);
}

std::string keyName(std::uint32_t c) {
    char buffer[8] = {};
    if (c > 0x20 && c < 0x7f) {
        buffer[0] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        return buffer;
    }
    if (c >= kMacF1 && c <= kMacF1 + (kF35 - kF1)) {
        std::snprintf(buffer, sizeof buffer, "F%u", static_cast<unsigned>(c - kMacF1 + 1));
        return buffer;
    }
    const std::pair<std::uint32_t, const char*> names[] = {
        {0x20, "Space"},     {0x0d, "Return"}, {0x09, "Tab"},    {0x1b, "Escape"},
        {0x7f, "Delete"},    {0xf700, "Up"},   {0xf701, "Down"}, {0xf702, "Left"},
        {0xf703, "Right"},   {0xf729, "Home"}, {0xf72b, "End"},  {0xf72c, "PageUp"},
        {0xf72d, "PageDown"}};
    for (const auto& [code, name] : names)
        if (code == c)
            return name;
    return "key";
}

} // namespace

std::uint16_t utf16ForKeysym(std::uint32_t keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
        return static_cast<std::uint16_t>(keysym);
    if (keysym >= kUnicodeKeysym + 0x100 && keysym <= kUnicodeKeysym + 0x10ffff) {
        std::uint32_t ucs = keysym - kUnicodeKeysym;
        if (ucs < 0x10000)
            return static_cast<std::uint16_t>(ucs);
        return static_cast<std::uint16_t>(0xd800 + ((ucs - 0x10000) >> 10));
    }
    if (keysym >= kKpDigit0 && keysym <= kKpDigit0 + 9)
        return static_cast<std::uint16_t>('0' + (keysym - kKpDigit0));
    if (keysym >= kF1 && keysym <= kF35)
        return static_cast<std::uint16_t>(kMacF1 + (keysym - kF1));
    for (const auto& special : kSpecials)
        if (special.keysym == keysym)
            return special.utf16;
    return 0;
}

KeyCharacters keyCharacters(std::uint32_t unshifted, std::uint32_t shifted,
                            const ModifierState& state) {
    KeyCharacters chars;
    chars.ignoringModifiers = textOf(unshifted, shifted);
    const bool upper = state.shift || (state.capsLock && isLetter(chars.ignoringModifiers));
    chars.withModifiers = upper ? textOf(shifted, unshifted) : chars.ignoringModifiers;
    if (state.control)
        chars.withModifiers = withControl(chars.withModifiers);
    return chars;
}

std::string describeHotKey(const HotKeyRec& rec) {
    std::string text;
    const std::pair<std::uint32_t, const char*> names[] = {{kControlBit, "Control+"},
                                                           {kOptionBit, "Option+"},
                                                           {kCommandBit, "Command+"},
                                                           {kShiftBit, "Shift+"},
                                                           {kCapsLockBit, "CapsLock+"}};
    for (const auto& [bit, name] : names)
        if (rec.modFlags & bit)
            text += name;
    text += keyName(rec.charCodeIgMod);
    char code[48];
    std::snprintf(code, sizeof code, " (Mac key code %u)", static_cast<unsigned>(rec.keyCode));
    text += code;
    return text;
}

} // namespace presto
