#include "capture/Modifiers.h"

#include "common/HotKeyRec.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace presto {
namespace {

constexpr std::uint16_t kShift = 1, kLock = 2, kControl = 4;
constexpr std::uint16_t kMod1 = 8, kMod2 = 16, kMod3 = 32, kMod4 = 64, kMod5 = 128;
constexpr std::uint16_t kAnyModifier = 0x00ff;

constexpr std::uint32_t kNumLock = 0xff7f, kScrollLock = 0xff14, kCapsLock = 0xffe5;
constexpr std::uint32_t kShiftL = 0xffe1, kControlL = 0xffe3;
constexpr std::uint32_t kAltL = 0xffe9, kMetaL = 0xffe7, kSuperL = 0xffeb, kHyperL = 0xffed;
constexpr std::uint32_t kLevel3 = 0xfe03;

using ModifierKeysyms = std::array<std::vector<std::uint32_t>, 8>;

// What the usual PC keymap of an X server puts on each modifier bit.
ModifierKeysyms pcKeymap() {
    return {{{kShiftL},
             {kCapsLock},
             {kControlL},
             {kAltL, kMetaL},
             {kNumLock},
             {},
             {kSuperL, kHyperL},
             {kLevel3}}};
}

std::vector<std::uint16_t> sorted(std::vector<std::uint16_t> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(ModifierMasks, FoundFromTheModifierMapping) {
    EXPECT_EQ(modifierMasksFor(pcKeymap()), (ModifierMasks{kMod1, kMod4, kMod2, 0}));

    // Another keymap: Num Lock on Mod3, Scroll Lock on Mod5, Alt keys carrying Meta only.
    ModifierKeysyms other{
        {{kShiftL}, {kCapsLock}, {kControlL}, {kMetaL}, {kSuperL}, {kNumLock}, {}, {kScrollLock}}};
    EXPECT_EQ(modifierMasksFor(other), (ModifierMasks{kMod1, kMod2, kMod3, kMod5}));
}

TEST(ModifierMasks, TheFixedBitsNeverCountAsAltOrSuper) {
    ModifierKeysyms odd{{{kShiftL}, {kAltL}, {kSuperL}, {}, {}, {}, {}, {}}};
    EXPECT_EQ(modifierMasksFor(odd), ModifierMasks{});
}

TEST(GrabMasks, EveryNumLockAndScrollLockStateOfTheExactModifiers) {
    const ModifierMasks masks{kMod1, kMod4, kMod2, kMod5};
    const std::uint16_t base = kShift | kMod4;
    EXPECT_EQ(sorted(grabMasksFor(kCommandBit | kShiftBit, masks)),
              sorted({base, base | kMod2, base | kMod5, base | kMod2 | kMod5}));
}

TEST(GrabMasks, CapsLockOnLeavesAHotKeyRecordedWithoutItUnlessItsTwinIsAHotKeyToo) {
    const ModifierMasks masks{kMod1, kMod4, kMod2, 0};
    EXPECT_EQ(sorted(grabMasksFor(kOptionBit, masks, true)),
              sorted({kMod1, kMod1 | kMod2, kMod1 | kLock, kMod1 | kLock | kMod2}));
    for (std::uint16_t m : grabMasksFor(kOptionBit, masks, false))
        EXPECT_EQ(m & kLock, 0) << "the Caps Lock twin takes these presses";
    // Recorded with Caps Lock, it wants Caps Lock on.
    for (bool capsLockFree : {false, true})
        EXPECT_EQ(sorted(grabMasksFor(kOptionBit | kCapsLockBit, masks, capsLockFree)),
                  sorted({kMod1 | kLock, kMod1 | kLock | kMod2}));
}

TEST(GrabMasks, IgnoredBitsOfTheRecordDoNotMatter) {
    const ModifierMasks masks{kMod1, kMod4, kMod2, 0};
    EXPECT_EQ(grabMasksFor(kControlBit | kNumericPadBit | kFunctionBit | 0x1234, masks),
              grabMasksFor(kControlBit, masks));
    EXPECT_EQ(sorted(grabMasksFor(0, masks)), sorted({0, kMod2}));
}

TEST(GrabMasks, AMissingModifierMakesTheHotKeyUngrabbable) {
    EXPECT_TRUE(grabMasksFor(kOptionBit, ModifierMasks{0, kMod4, kMod2, 0}).empty());
    EXPECT_TRUE(grabMasksFor(kCommandBit, ModifierMasks{kMod1, 0, kMod2, 0}).empty());
    EXPECT_TRUE(grabMasksFor(0x01000000, ModifierMasks{kMod1, kMod4, kMod2, 0}).empty());
    // Without a Num Lock bit there is just the one state.
    EXPECT_EQ(grabMasksFor(kShiftBit, ModifierMasks{kMod1, kMod4, 0, 0}),
              std::vector<std::uint16_t>{kShift});
}

TEST(GrabMasks, ALockOnAWantedModifierBitIsNotVaried) {
    // Num Lock sharing Super's bit: the grab must keep the bit, never drop or double it.
    const ModifierMasks masks{kMod1, kMod4, kMod4, 0};
    EXPECT_EQ(grabMasksFor(kCommandBit, masks), std::vector<std::uint16_t>{kMod4});
}

// What the agent grabs and how it reads a grabbed press must agree: every state it grabs reads
// back as the very hot key, with the numeric-pad bit exactly when Num Lock is on.
TEST(EventModifiers, EveryGrabbedStateReadsBackAsItsHotKey) {
    const ModifierMasks masks{kMod1, kMod4, kMod2, kMod5};
    constexpr std::uint16_t kMacA = 0x00;
    for (std::uint32_t flags = 0; flags < 32; ++flags) {
        const std::uint32_t macFlags = flags << 16;
        for (std::uint16_t xState : grabMasksFor(macFlags, masks)) {
            ModifierState state = modifierStateFor(xState, masks);
            std::uint32_t read = macModifierFlags(state, kMacA);
            EXPECT_EQ(clearIgnoredModFlags(read), macFlags) << std::hex << xState;
            EXPECT_EQ((read & kNumericPadBit) != 0, (xState & kMod2) != 0) << std::hex << xState;
        }
    }
}

TEST(EventModifiers, OtherBitsOfTheStateAreNotModifiers) {
    const ModifierMasks masks{kMod1, kMod4, kMod2, 0};
    ModifierState state = modifierStateFor(kMod3 | kMod5 | 0x0100 /* Button1 */, masks);
    EXPECT_EQ(macModifierFlags(state, 0x00), 0u);
    ModifierState all = modifierStateFor(kAnyModifier, ModifierMasks{});
    EXPECT_TRUE(all.shift && all.capsLock && all.control);
    EXPECT_FALSE(all.alt || all.super || all.numLock) << "no bit carries them";
}

} // namespace
} // namespace presto
