#include "common/KeyName.h"

#include <glib.h>
#include <iterator>
#include <string_view>

namespace presto {

namespace {

struct NamedKey {
    std::uint16_t macKeyCode;
    const char* name;
};

// Keys that type nothing printable, by the names the desktops' shortcut settings use.
constexpr NamedKey kNamedKeys[] = {
    {0x24, "Return"},   {0x30, "Tab"},      {0x31, "Space"},        {0x33, "Backspace"},
    {0x35, "Esc"},      {0x72, "Insert"},   {0x73, "Home"},         {0x74, "Page Up"},
    {0x75, "Delete"},   {0x77, "End"},      {0x79, "Page Down"},    {0x7B, "Left"},
    {0x7C, "Right"},    {0x7D, "Down"},     {0x7E, "Up"},           {0x7A, "F1"},
    {0x78, "F2"},       {0x63, "F3"},       {0x76, "F4"},           {0x60, "F5"},
    {0x61, "F6"},       {0x62, "F7"},       {0x64, "F8"},           {0x65, "F9"},
    {0x6D, "F10"},      {0x67, "F11"},      {0x6F, "F12"},          {0x69, "F13"},
    {0x6B, "F14"},      {0x71, "F15"},      {0x6A, "F16"},          {0x40, "F17"},
    {0x4F, "F18"},      {0x50, "F19"},      {0x5A, "F20"},          {0x52, "Keypad 0"},
    {0x53, "Keypad 1"}, {0x54, "Keypad 2"}, {0x55, "Keypad 3"},     {0x56, "Keypad 4"},
    {0x57, "Keypad 5"}, {0x58, "Keypad 6"}, {0x59, "Keypad 7"},     {0x5B, "Keypad 8"},
    {0x5C, "Keypad 9"}, {0x41, "Keypad ."}, {0x43, "Keypad *"},     {0x45, "Keypad +"},
    {0x47, "Num Lock"}, {0x4B, "Keypad /"}, {0x4C, "Keypad Enter"}, {0x4E, "Keypad -"},
    {0x51, "Keypad ="}, {0x5F, "Keypad ,"}, {0x6E, "Menu"},         {0x36, "Super"},
    {0x37, "Super"},    {0x38, "Shift"},    {0x39, "Caps Lock"},    {0x3A, "Alt"},
    {0x3B, "Ctrl"},     {0x3C, "Shift"},    {0x3D, "Alt"},          {0x3E, "Ctrl"},
};

// What the keys of the main block type on a US keyboard, by Mac key code 0x00 to 0x32; a space
// where the key is named above instead.
constexpr std::string_view kUsCharacters = "ASDFHGZXCV<BQWERYT123465=97-80]OU[IP LJ'K;\\,/NM.  `";
static_assert(kUsCharacters.size() == 0x33);

struct ModifierName {
    std::uint32_t bit;
    const char* name;
};

// In LinuxKeyPart order.
constexpr ModifierName kModifierNames[] = {
    {kControlBit, "Ctrl"}, {kOptionBit, "Alt"},         {kCommandBit, "Super"},
    {kShiftBit, "Shift"},  {kCapsLockBit, "Caps Lock"},
};
static_assert(std::size(kModifierNames) == KeyPart);

// The character a record says its key types, upper-cased; empty for none that can be shown
// (a control character, half of a surrogate pair).
std::string typedCharacter(std::uint32_t unit) {
    const auto c = static_cast<gunichar>(unit & 0xFFFF);
    if (c <= 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF) || !g_unichar_isgraph(c))
        return {};
    char utf8[6];
    const gint length = g_unichar_to_utf8(g_unichar_toupper(c), utf8);
    return std::string(utf8, static_cast<std::size_t>(length));
}

} // namespace

std::vector<std::string> linuxKeyParts(const HotKeyRec& rec) {
    // A Finder function without a key holds an empty record.
    if (rec.eventType != kKeyDownEventType)
        return std::vector<std::string>(KeyPartCount);
    std::vector<std::string> parts;
    for (const ModifierName& modifier : kModifierNames)
        parts.emplace_back((rec.modFlags & modifier.bit) ? modifier.name : "");
    parts.push_back(linuxKeyLabel(rec));
    return parts;
}

std::string linuxKeyLabel(const HotKeyRec& rec) {
    for (const NamedKey& key : kNamedKeys) {
        if (key.macKeyCode == rec.keyCode)
            return key.name;
    }
    if (std::string typed = typedCharacter(rec.charCodeIgMod); !typed.empty())
        return typed;
    // Recorded on a layout whose character is not known here: the physical key's US name.
    if (rec.keyCode < kUsCharacters.size() && kUsCharacters[rec.keyCode] != ' ')
        return std::string(1, kUsCharacters[rec.keyCode]);
    return {};
}

std::string linuxKeyName(const HotKeyRec& rec) {
    const std::vector<std::string> parts = linuxKeyParts(rec);
    if (parts[KeyPart].empty())
        return {};
    std::string name;
    for (const std::string& part : parts) {
        if (part.empty())
            continue;
        if (!name.empty())
            name += '+';
        name += part;
    }
    return name;
}

} // namespace presto
