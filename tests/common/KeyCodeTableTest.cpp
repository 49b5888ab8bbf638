#include "common/KeyCodeTable.h"

#include "common/HotKeyRec.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <map>
#include <utility>
#include <vector>

namespace presto {
namespace {

TEST(KeyCodeTable, PhysicalKeysGiveTheirMacCodes) {
    const std::vector<std::pair<std::uint32_t, std::uint16_t>> expected = {
        {KEY_A, 0},          {KEY_Q, 12},         {KEY_Z, 6},        {KEY_M, 46},
        {KEY_1, 18},         {KEY_2, 19},         {KEY_3, 20},       {KEY_4, 21},
        {KEY_5, 23},         {KEY_6, 22},         {KEY_7, 26},       {KEY_8, 28},
        {KEY_9, 25},         {KEY_0, 29},         {KEY_GRAVE, 0x32}, {KEY_102ND, 0x0A},
        {KEY_F1, 122},       {KEY_F12, 111},      {KEY_F13, 105},    {KEY_F17, 64},
        {KEY_F20, 90},       {KEY_KP0, 82},       {KEY_KP5, 87},     {KEY_KP9, 92},
        {KEY_KPDOT, 65},     {KEY_KPENTER, 76},   {KEY_KPEQUAL, 81}, {KEY_NUMLOCK, 71},
        {KEY_KPSLASH, 75},   {KEY_KPMINUS, 78},   {KEY_LEFT, 123},   {KEY_RIGHT, 124},
        {KEY_DOWN, 125},     {KEY_UP, 126},       {KEY_HOME, 115},   {KEY_END, 119},
        {KEY_PAGEUP, 116},   {KEY_PAGEDOWN, 121}, {KEY_ENTER, 36},   {KEY_TAB, 48},
        {KEY_SPACE, 49},     {KEY_ESC, 53},       {KEY_INSERT, 114}, {KEY_HELP, 114},
        {KEY_BACKSPACE, 51}, {KEY_DELETE, 117},
    };
    for (const auto& [evdev, mac] : expected)
        EXPECT_EQ(macKeyCodeForEvdev(evdev), mac) << "evdev " << evdev;
}

TEST(KeyCodeTable, EveryKeyWithAGlyphCanBePressed) {
    // The special keys that get a label of their own in the hot key display.
    const std::uint16_t labelled[] = {122, 120, 99,  118, 96, 97, 98, 100, 101, 109, 103, 111, 105,
                                      107, 113, 51,  119, 71, 49, 53, 114, 115, 117, 116, 121, 126,
                                      125, 124, 123, 82,  83, 84, 85, 86,  87,  88,  89,  91,  92,
                                      65,  81,  75,  67,  78, 69, 76, 95,  36,  48};
    ASSERT_EQ(std::size(labelled), 49u);
    for (std::uint16_t mac : labelled) {
        auto evdev = evdevForMacKeyCode(mac);
        ASSERT_TRUE(evdev.has_value()) << "no key gives Mac code " << mac;
        EXPECT_EQ(macKeyCodeForEvdev(*evdev), mac);
    }
}

TEST(KeyCodeTable, ReverseLookupLeadsBackToTheSameMacCode) {
    // Keys that share a Mac code with a key coming earlier in the table lead back to that key.
    const std::map<std::uint32_t, std::uint32_t> secondKeys = {
        {KEY_SYSRQ, KEY_F13},     {KEY_SCROLLLOCK, KEY_F14}, {KEY_PAUSE, KEY_F15},
        {KEY_CLEAR, KEY_NUMLOCK}, {KEY_HELP, KEY_INSERT},
    };
    int mapped = 0;
    for (std::uint32_t evdev = 0; evdev <= KEY_MAX; ++evdev) {
        auto mac = macKeyCodeForEvdev(evdev);
        if (!mac)
            continue;
        ++mapped;
        auto back = evdevForMacKeyCode(*mac);
        ASSERT_TRUE(back.has_value()) << "evdev " << evdev;
        auto second = secondKeys.find(evdev);
        EXPECT_EQ(*back, second == secondKeys.end() ? evdev : second->second) << "evdev " << evdev;
        EXPECT_EQ(macKeyCodeForEvdev(*back), mac) << "evdev " << evdev;
    }
    // Letters, digits, punctuation, F1-F20, keypad, navigation and modifiers at the least.
    EXPECT_GE(mapped, 104);
}

TEST(KeyCodeTable, UnknownCodesHaveNoCounterpart) {
    EXPECT_EQ(macKeyCodeForEvdev(KEY_RESERVED), std::nullopt);
    EXPECT_EQ(macKeyCodeForEvdev(KEY_POWER), std::nullopt);
    EXPECT_EQ(macKeyCodeForEvdev(0xFFFFFFFF), std::nullopt);
    EXPECT_EQ(evdevForMacKeyCode(0x34), std::nullopt);
    EXPECT_EQ(evdevForMacKeyCode(200), std::nullopt);
    EXPECT_EQ(evdevForMacKeyCode(0xFFFF), std::nullopt);
}

TEST(KeyCodeTable, FunctionAndKeypadKeysAreTold) {
    auto mac = [](std::uint32_t evdev) { return macKeyCodeForEvdev(evdev).value_or(0xFFFF); };
    for (std::uint32_t evdev :
         {KEY_F1, KEY_F5, KEY_F10, KEY_F12, KEY_F13, KEY_F16, KEY_F20, KEY_LEFT, KEY_RIGHT, KEY_UP,
          KEY_DOWN, KEY_HOME, KEY_END, KEY_PAGEUP, KEY_PAGEDOWN, KEY_DELETE, KEY_INSERT}) {
        EXPECT_TRUE(isFunctionKey(mac(evdev))) << "evdev " << evdev;
        EXPECT_FALSE(isKeypadKey(mac(evdev))) << "evdev " << evdev;
    }
    for (std::uint32_t evdev :
         {KEY_KP0, KEY_KP7, KEY_KP8, KEY_KP9, KEY_KPDOT, KEY_KPENTER, KEY_KPPLUS, KEY_KPMINUS,
          KEY_KPASTERISK, KEY_KPSLASH, KEY_KPEQUAL, KEY_KPCOMMA, KEY_NUMLOCK}) {
        EXPECT_TRUE(isKeypadKey(mac(evdev))) << "evdev " << evdev;
        EXPECT_FALSE(isFunctionKey(mac(evdev))) << "evdev " << evdev;
    }
    for (std::uint32_t evdev : {KEY_A, KEY_8, KEY_ENTER, KEY_BACKSPACE, KEY_ESC, KEY_SPACE, KEY_TAB,
                                KEY_MINUS, KEY_EQUAL, KEY_LEFTCTRL}) {
        EXPECT_FALSE(isFunctionKey(mac(evdev))) << "evdev " << evdev;
        EXPECT_FALSE(isKeypadKey(mac(evdev))) << "evdev " << evdev;
    }
}

TEST(KeyCodeTable, ModifiersBecomeMacBits) {
    const std::uint16_t letterA = 0;
    EXPECT_EQ(macModifierFlags({}, letterA), 0u);
    EXPECT_EQ(macModifierFlags({.control = true}, letterA), 0x40000u);
    EXPECT_EQ(macModifierFlags({.alt = true}, letterA), 0x80000u);
    EXPECT_EQ(macModifierFlags({.super = true}, letterA), 0x100000u);
    EXPECT_EQ(macModifierFlags({.shift = true}, letterA), 0x20000u);
    EXPECT_EQ(macModifierFlags({.capsLock = true}, letterA), 0x10000u);
    EXPECT_EQ(macModifierFlags({.numLock = true}, letterA), 0x200000u);
    EXPECT_EQ(macModifierFlags({.super = true, .shift = true}, letterA), 0x120000u);

    const std::uint16_t keypad5 = 87;
    const std::uint16_t f1 = 122;
    const std::uint16_t left = 123;
    EXPECT_EQ(macModifierFlags({}, keypad5), 0x200000u);
    EXPECT_EQ(macModifierFlags({}, f1), 0x800000u);
    EXPECT_EQ(macModifierFlags({.control = true}, left), 0x840000u);
    EXPECT_EQ(macModifierFlags({.numLock = true}, f1), 0xA00000u);
}

TEST(KeyCodeTable, NumLockAndFunctionBitsDoNotChangeAHotKey) {
    const ModifierState all{true, true, true, true, true, false};
    const ModifierState allWithNumLock{true, true, true, true, true, true};
    const std::uint32_t modifiers =
        kControlBit | kOptionBit | kCommandBit | kShiftBit | kCapsLockBit;
    for (std::uint16_t key : {std::uint16_t{0}, std::uint16_t{87}, std::uint16_t{122},
                              std::uint16_t{126}, std::uint16_t{71}}) {
        EXPECT_EQ(clearIgnoredModFlags(macModifierFlags(all, key)), modifiers) << "key " << key;
        EXPECT_EQ(clearIgnoredModFlags(macModifierFlags(allWithNumLock, key)), modifiers)
            << "key " << key;
    }

    HotKeyRec stored{
        kKeyDownEventType, macModifierFlags({.super = true}, 122), 122, 0, 0, kKindLaunch, 1, 0, 0};
    HotKeyRec pressed = stored;
    pressed.modFlags = macModifierFlags({.super = true, .numLock = true}, 122);
    EXPECT_TRUE(isSameHotKey(stored, pressed));
}

} // namespace
} // namespace presto
