#include "config/ui/KeyInput.h"

#include "common/HotKeyRec.h"

#include <gtest/gtest.h>

namespace presto {
namespace {

// X key codes are evdev codes + 8.
NativeKeyPress press(quint32 evdev, Qt::KeyboardModifiers modifiers, int key,
                     const QString& text = {}, quint32 nativeModifiers = 0) {
    return NativeKeyPress{evdev + 8, nativeModifiers, modifiers, key, text};
}

TEST(KeyInput, ModifiersBecomeMacBitsAndTheKeyItsMacCode) {
    const auto event = keyEventFromPress(
        press(30, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier,
              Qt::Key_A, QStringLiteral("\x01")));
    ASSERT_TRUE(event);
    EXPECT_EQ(event->keyCode, 0x00);
    EXPECT_EQ(clearIgnoredModFlags(event->modifierFlags),
              kControlBit | kOptionBit | kCommandBit | kShiftBit);
    EXPECT_EQ(event->characters, QStringLiteral("\x01"));
    // Shift stays in the character a Mac reports ignoring modifiers, Control does not.
    EXPECT_EQ(event->charactersIgnoringModifiers, QStringLiteral("A"));

    const auto plain = keyEventFromPress(press(30, Qt::ControlModifier, Qt::Key_A));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->charactersIgnoringModifiers, QStringLiteral("a"));
}

TEST(KeyInput, CapsLockComesFromTheNativeStateAndFunctionKeysCarryTheirBit) {
    const auto caps =
        keyEventFromPress(press(34, Qt::NoModifier, Qt::Key_G, QStringLiteral("G"), kXLockMask));
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->keyCode, 0x05);
    EXPECT_EQ(clearIgnoredModFlags(caps->modifierFlags), kCapsLockBit);
    EXPECT_EQ(caps->charactersIgnoringModifiers, QStringLiteral("G"));

    const auto f10 = keyEventFromPress(press(68, Qt::NoModifier, Qt::Key_F10));
    ASSERT_TRUE(f10);
    EXPECT_EQ(f10->keyCode, 0x6D);
    EXPECT_NE(f10->modifierFlags & kFunctionBit, 0u);
    EXPECT_EQ(clearIgnoredModFlags(f10->modifierFlags), 0u);
}

TEST(KeyInput, AModifierAloneOrAKeyOutsideTheTableIsNoPress) {
    EXPECT_FALSE(keyEventFromPress(press(42, Qt::ShiftModifier, Qt::Key_Shift)));   // Shift
    EXPECT_FALSE(keyEventFromPress(press(58, Qt::NoModifier, Qt::Key_CapsLock)));   // Caps Lock
    EXPECT_FALSE(keyEventFromPress(press(125, Qt::MetaModifier, Qt::Key_Super_L))); // Super
    EXPECT_FALSE(keyEventFromPress(press(240, Qt::NoModifier, Qt::Key_unknown)));   // unknown
    EXPECT_FALSE(keyEventFromPress(NativeKeyPress{0, 0, Qt::NoModifier, Qt::Key_A, {}})); // none
}

} // namespace
} // namespace presto
