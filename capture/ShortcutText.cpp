#include "capture/ShortcutText.h"

#include "common/KeyCodeTable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <linux/input-event-codes.h>
#include <set>
#include <sstream>

namespace presto {
namespace {

struct KeyName {
    std::uint32_t evdev;
    const char* keysym;
};

constexpr KeyName kKeyNames[] = {
    {KEY_A, "a"},
    {KEY_B, "b"},
    {KEY_C, "c"},
    {KEY_D, "d"},
    {KEY_E, "e"},
    {KEY_F, "f"},
    {KEY_G, "g"},
    {KEY_H, "h"},
    {KEY_I, "i"},
    {KEY_J, "j"},
    {KEY_K, "k"},
    {KEY_L, "l"},
    {KEY_M, "m"},
    {KEY_N, "n"},
    {KEY_O, "o"},
    {KEY_P, "p"},
    {KEY_Q, "q"},
    {KEY_R, "r"},
    {KEY_S, "s"},
    {KEY_T, "t"},
    {KEY_U, "u"},
    {KEY_V, "v"},
    {KEY_W, "w"},
    {KEY_X, "x"},
    {KEY_Y, "y"},
    {KEY_Z, "z"},
    {KEY_1, "1"},
    {KEY_2, "2"},
    {KEY_3, "3"},
    {KEY_4, "4"},
    {KEY_5, "5"},
    {KEY_6, "6"},
    {KEY_7, "7"},
    {KEY_8, "8"},
    {KEY_9, "9"},
    {KEY_0, "0"},
    {KEY_MINUS, "minus"},
    {KEY_EQUAL, "equal"},
    {KEY_LEFTBRACE, "bracketleft"},
    {KEY_RIGHTBRACE, "bracketright"},
    {KEY_APOSTROPHE, "apostrophe"},
    {KEY_SEMICOLON, "semicolon"},
    {KEY_BACKSLASH, "backslash"},
    {KEY_COMMA, "comma"},
    {KEY_SLASH, "slash"},
    {KEY_DOT, "period"},
    {KEY_GRAVE, "grave"},
    {KEY_102ND, "less"},
    {KEY_ENTER, "Return"},
    {KEY_TAB, "Tab"},
    {KEY_SPACE, "space"},
    {KEY_BACKSPACE, "BackSpace"},
    {KEY_ESC, "Escape"},
    {KEY_INSERT, "Insert"},
    {KEY_HOME, "Home"},
    {KEY_PAGEUP, "Page_Up"},
    {KEY_DELETE, "Delete"},
    {KEY_END, "End"},
    {KEY_PAGEDOWN, "Page_Down"},
    {KEY_LEFT, "Left"},
    {KEY_RIGHT, "Right"},
    {KEY_DOWN, "Down"},
    {KEY_UP, "Up"},
    {KEY_F1, "F1"},
    {KEY_F2, "F2"},
    {KEY_F3, "F3"},
    {KEY_F4, "F4"},
    {KEY_F5, "F5"},
    {KEY_F6, "F6"},
    {KEY_F7, "F7"},
    {KEY_F8, "F8"},
    {KEY_F9, "F9"},
    {KEY_F10, "F10"},
    {KEY_F11, "F11"},
    {KEY_F12, "F12"},
    {KEY_F13, "F13"},
    {KEY_F14, "F14"},
    {KEY_F15, "F15"},
    {KEY_F16, "F16"},
    {KEY_F17, "F17"},
    {KEY_F18, "F18"},
    {KEY_F19, "F19"},
    {KEY_F20, "F20"},
    {KEY_KP0, "KP_0"},
    {KEY_KP1, "KP_1"},
    {KEY_KP2, "KP_2"},
    {KEY_KP3, "KP_3"},
    {KEY_KP4, "KP_4"},
    {KEY_KP5, "KP_5"},
    {KEY_KP6, "KP_6"},
    {KEY_KP7, "KP_7"},
    {KEY_KP8, "KP_8"},
    {KEY_KP9, "KP_9"},
    {KEY_KPDOT, "KP_Decimal"},
    {KEY_KPASTERISK, "KP_Multiply"},
    {KEY_KPPLUS, "KP_Add"},
    {KEY_NUMLOCK, "Num_Lock"},
    {KEY_KPSLASH, "KP_Divide"},
    {KEY_KPENTER, "KP_Enter"},
    {KEY_KPMINUS, "KP_Subtract"},
    {KEY_KPEQUAL, "KP_Equal"},
    {KEY_KPCOMMA, "KP_Separator"},
    {KEY_COMPOSE, "Menu"},
    {KEY_SYSRQ, "Print"},
    {KEY_SCROLLLOCK, "Scroll_Lock"},
    {KEY_PAUSE, "Pause"},
    {KEY_HELP, "Help"},
};

std::optional<std::string> keyName(const HotKeyRec& rec) {
    if (rec.modFlags & kCapsLockBit)
        return std::nullopt;
    auto evdev = evdevForMacKeyCode(static_cast<std::uint16_t>(rec.keyCode));
    if (!evdev)
        return std::nullopt;
    for (const KeyName& name : kKeyNames)
        if (name.evdev == *evdev)
            return std::string(name.keysym);
    return std::nullopt;
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::optional<std::string> xdgTrigger(const HotKeyRec& rec) {
    auto key = keyName(rec);
    if (!key)
        return std::nullopt;
    std::string trigger;
    if (rec.modFlags & kControlBit)
        trigger += "CTRL+";
    if (rec.modFlags & kOptionBit)
        trigger += "ALT+";
    if (rec.modFlags & kShiftBit)
        trigger += "SHIFT+";
    if (rec.modFlags & kCommandBit)
        trigger += "LOGO+";
    return trigger + *key;
}

std::optional<std::string> gnomeAccelerator(const HotKeyRec& rec) {
    auto key = keyName(rec);
    if (!key)
        return std::nullopt;
    std::string accelerator;
    if (rec.modFlags & kControlBit)
        accelerator += "<Primary>";
    if (rec.modFlags & kShiftBit)
        accelerator += "<Shift>";
    if (rec.modFlags & kOptionBit)
        accelerator += "<Alt>";
    if (rec.modFlags & kCommandBit)
        accelerator += "<Super>";
    return accelerator + *key;
}

std::string shortcutId(const HotKeyRec& rec) {
    char id[40];
    std::snprintf(id, sizeof id, "hk-%u-%x", static_cast<unsigned>(rec.keyCode),
                  static_cast<unsigned>(clearIgnoredModFlags(rec.modFlags)));
    return id;
}

bool sameTrigger(const std::string& a, const std::string& b) {
    // A set of upper-case parts with the modifiers' several spellings made one.
    const auto parts = [](const std::string& text) {
        std::set<std::string> parts;
        std::istringstream in(text);
        for (std::string part; std::getline(in, part, '+');) {
            part.erase(std::remove_if(part.begin(), part.end(),
                                      [](unsigned char c) { return std::isspace(c); }),
                       part.end());
            part = upper(part);
            if (part == "CONTROL" || part == "PRIMARY")
                part = "CTRL";
            else if (part == "META" || part == "SUPER" || part == "WIN")
                part = "LOGO";
            else if (part == "PGUP" || part == "PAGEUP" || part == "PRIOR")
                part = "PAGE_UP";
            else if (part == "PGDOWN" || part == "PAGEDOWN" || part == "NEXT")
                part = "PAGE_DOWN";
            else if (part == "ESC")
                part = "ESCAPE";
            else if (part == "ENTER")
                part = "RETURN";
            if (!part.empty())
                parts.insert(part);
        }
        return parts;
    };
    return parts(a) == parts(b);
}

} // namespace presto
