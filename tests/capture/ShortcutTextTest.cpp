#include "capture/ShortcutText.h"

#include "common/KeyCodeTable.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace presto {
namespace {

HotKeyRec onKey(std::uint32_t evdev, std::uint32_t modFlags) {
    return {kKeyDownEventType, modFlags, *macKeyCodeForEvdev(evdev), 0, 0, kKindLaunch, 1, 0, 0};
}

TEST(ShortcutTextTest, TriggersAndAcceleratorsNameTheModifiersAndTheKeysym) {
    const HotKeyRec superF5 = onKey(KEY_F5, kCommandBit | kFunctionBit);
    const HotKeyRec controlAltG = onKey(KEY_G, kControlBit | kOptionBit);
    const HotKeyRec everything =
        onKey(KEY_PAGEUP, kControlBit | kOptionBit | kShiftBit | kCommandBit | kFunctionBit);
    EXPECT_EQ(xdgTrigger(superF5), "LOGO+F5");
    EXPECT_EQ(xdgTrigger(controlAltG), "CTRL+ALT+g");
    EXPECT_EQ(xdgTrigger(everything), "CTRL+ALT+SHIFT+LOGO+Page_Up");
    EXPECT_EQ(gnomeAccelerator(superF5), "<Super>F5");
    EXPECT_EQ(gnomeAccelerator(controlAltG), "<Primary><Alt>g");
    EXPECT_EQ(gnomeAccelerator(everything), "<Primary><Shift><Alt><Super>Page_Up");
    EXPECT_EQ(xdgTrigger(onKey(KEY_KP5, kNumericPadBit)), "KP_5");
    EXPECT_EQ(gnomeAccelerator(onKey(KEY_DOT, kControlBit)), "<Primary>period");
}

TEST(ShortcutTextTest, WhatTheDesktopCannotBeToldHasNoText) {
    // Caps Lock is part of a hot key here but no desktop shortcut can require it.
    EXPECT_FALSE(xdgTrigger(onKey(KEY_A, kCapsLockBit | kCommandBit)));
    EXPECT_FALSE(gnomeAccelerator(onKey(KEY_A, kCapsLockBit)));
    EXPECT_FALSE(xdgTrigger(onKey(KEY_LEFTSHIFT, kShiftBit)));
    HotKeyRec unknown = onKey(KEY_A, 0);
    unknown.keyCode = 0x7F; // no key has it
    EXPECT_FALSE(gnomeAccelerator(unknown));
}

TEST(ShortcutTextTest, IdsFollowTheHotKeyIdentity) {
    const HotKeyRec a = onKey(KEY_F5, kCommandBit);
    HotKeyRec sameWithIgnoredBits = a;
    sameWithIgnoredBits.modFlags |= kFunctionBit | kNumericPadBit;
    sameWithIgnoredBits.charCode = 'x';
    EXPECT_EQ(shortcutId(a), shortcutId(sameWithIgnoredBits));
    EXPECT_EQ(shortcutId(a), "hk-96-100000");
    EXPECT_NE(shortcutId(a), shortcutId(onKey(KEY_F5, kCommandBit | kShiftBit)));
    EXPECT_NE(shortcutId(a), shortcutId(onKey(KEY_F6, kCommandBit)));
}

TEST(ShortcutTextTest, TriggersCompareAcrossSpellings) {
    EXPECT_TRUE(sameTrigger("CTRL+ALT+g", "Ctrl+Alt+G"));
    EXPECT_TRUE(sameTrigger("LOGO+F5", "Meta+F5"));
    EXPECT_TRUE(sameTrigger("LOGO+F5", "Super + F5"));
    EXPECT_TRUE(sameTrigger("CTRL+Page_Up", "Ctrl+PgUp"));
    EXPECT_FALSE(sameTrigger("CTRL+ALT+g", "Ctrl+Alt+H"));
    EXPECT_FALSE(sameTrigger("CTRL+ALT+g", "Ctrl+G"));
}

} // namespace
} // namespace presto
