#include "capture/KeyText.h"

#include <gtest/gtest.h>

namespace presto {
namespace {

constexpr std::uint32_t kUnicode = 0x01000000;
using Chars = std::pair<int, int>; // with modifiers, ignoring them

TEST(KeysymText, CharactersOfLatinUnicodeAndSpecialKeysyms) {
    EXPECT_EQ(utf16ForKeysym('a'), 'a');
    EXPECT_EQ(utf16ForKeysym(' '), ' ');
    EXPECT_EQ(utf16ForKeysym(0xe9), 0xe9);                 // eacute
    EXPECT_EQ(utf16ForKeysym(kUnicode + 0x20ac), 0x20ac);  // EuroSign
    EXPECT_EQ(utf16ForKeysym(kUnicode + 0x1f600), 0xd83d); // first unit of a pair
    EXPECT_EQ(utf16ForKeysym(0xffbe), 0xf704);             // F1
    EXPECT_EQ(utf16ForKeysym(0xffc9), 0xf70f);             // F12
    EXPECT_EQ(utf16ForKeysym(0xff52), 0xf700);             // Up
    EXPECT_EQ(utf16ForKeysym(0xff0d), 0x0d);               // Return
    EXPECT_EQ(utf16ForKeysym(0xff08), 0x7f);               // BackSpace: Mac "delete"
    EXPECT_EQ(utf16ForKeysym(0xffb7), '7');                // KP_7
}

TEST(KeysymText, KeysymsWithoutAKnownCharacterGiveZero) {
    EXPECT_EQ(utf16ForKeysym(0), 0);
    EXPECT_EQ(utf16ForKeysym(0xffe1), 0); // Shift_L
    EXPECT_EQ(utf16ForKeysym(0x1a1), 0);  // Aogonek, a legacy keysym
    EXPECT_EQ(utf16ForKeysym(kUnicode + 0x110000), 0);
}

TEST(KeyCharacters, ShiftCapsLockAndControlAsTheMacTypesThem) {
    auto chars = [](std::uint32_t lower, std::uint32_t upper, ModifierState s) {
        KeyCharacters c = keyCharacters(lower, upper, s);
        return Chars(c.withModifiers, c.ignoringModifiers);
    };
    EXPECT_EQ(chars('a', 'A', {}), Chars('a', 'a'));
    EXPECT_EQ(chars('a', 'A', {.shift = true}), Chars('A', 'a'));
    EXPECT_EQ(chars('a', 'A', {.capsLock = true}), Chars('A', 'a'));
    EXPECT_EQ(chars('1', '!', {.capsLock = true}), Chars('1', '1'));
    EXPECT_EQ(chars('1', '!', {.shift = true}), Chars('!', '1'));
    EXPECT_EQ(chars('a', 'A', {.control = true}), Chars(1, 'a'));
    EXPECT_EQ(chars('a', 'A', {.super = true, .shift = true}), Chars('A', 'a'));
    // A key with one level: shifted, it types what it types unshifted.
    EXPECT_EQ(chars(0xff0d, 0, {.shift = true}), Chars(0x0d, 0x0d));
    // Keypad keys carry their digit on the level that Num Lock selects.
    EXPECT_EQ(chars(0xff95 /* KP_Home */, 0xffb7 /* KP_7 */, {}), Chars('7', '7'));
}

TEST(HotKeyNames, ModifiersThenTheKey) {
    HotKeyRec rec{kKeyDownEventType, kCommandBit | kShiftBit, 0, 'A', 'a', kKindLaunch, 1, 0, 0};
    EXPECT_EQ(describeHotKey(rec), "Command+Shift+A (Mac key code 0)");
    HotKeyRec f5{kKeyDownEventType,
                 kControlBit | kOptionBit | kCapsLockBit,
                 0x60,
                 0,
                 0xf708,
                 kKindFinder,
                 0,
                 1,
                 0};
    EXPECT_EQ(describeHotKey(f5), "Control+Option+CapsLock+F5 (Mac key code 96)");
    HotKeyRec unknown{kKeyDownEventType, kCommandBit, 0x72, 0, 0, kKindLaunch, 1, 0, 0};
    EXPECT_EQ(describeHotKey(unknown), "Command+key (Mac key code 114)");
}

} // namespace
} // namespace presto
