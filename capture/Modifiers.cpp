#include "capture/Modifiers.h"

#include "common/HotKeyRec.h"

#include <algorithm>

namespace presto {
namespace {

constexpr std::uint16_t kShiftMask = 1 << 0;
constexpr std::uint16_t kLockMask = 1 << 1;
constexpr std::uint16_t kControlMask = 1 << 2;
constexpr int kFirstFreeModifier = 3; // Mod1; Shift, Lock and Control are fixed by the protocol

constexpr std::uint32_t kScrollLock = 0xff14;
constexpr std::uint32_t kNumLock = 0xff7f;
constexpr std::uint32_t kMetaL = 0xffe7;
constexpr std::uint32_t kMetaR = 0xffe8;
constexpr std::uint32_t kAltL = 0xffe9;
constexpr std::uint32_t kAltR = 0xffea;
constexpr std::uint32_t kSuperL = 0xffeb;
constexpr std::uint32_t kSuperR = 0xffec;

constexpr std::uint32_t kMacModifierBits =
    kCapsLockBit | kShiftBit | kControlBit | kOptionBit | kCommandBit;

std::uint16_t maskHolding(const std::array<std::vector<std::uint32_t>, 8>& keysymsByModifier,
                          std::initializer_list<std::uint32_t> wanted) {
    for (int bit = kFirstFreeModifier; bit < 8; ++bit)
        for (std::uint32_t keysym : keysymsByModifier[bit])
            if (std::find(wanted.begin(), wanted.end(), keysym) != wanted.end())
                return static_cast<std::uint16_t>(1 << bit);
    return 0;
}

} // namespace

ModifierMasks modifierMasksFor(const std::array<std::vector<std::uint32_t>, 8>& keysymsByModifier) {
    ModifierMasks masks;
    masks.alt = maskHolding(keysymsByModifier, {kAltL, kAltR});
    // Some keymaps put only Meta on the Alt keys.
    if (masks.alt == 0)
        masks.alt = maskHolding(keysymsByModifier, {kMetaL, kMetaR});
    masks.super = maskHolding(keysymsByModifier, {kSuperL, kSuperR});
    masks.numLock = maskHolding(keysymsByModifier, {kNumLock});
    masks.scrollLock = maskHolding(keysymsByModifier, {kScrollLock});
    return masks;
}

std::vector<std::uint16_t> grabMasksFor(std::uint32_t macModFlags, const ModifierMasks& masks,
                                        bool capsLockFree) {
    const std::uint32_t flags = clearIgnoredModFlags(macModFlags);
    if ((flags & ~kMacModifierBits) != 0)
        return {};
    std::uint16_t base = 0;
    if (flags & kShiftBit)
        base |= kShiftMask;
    if (flags & kCapsLockBit)
        base |= kLockMask;
    if (flags & kControlBit)
        base |= kControlMask;
    if (flags & kOptionBit) {
        if (masks.alt == 0)
            return {};
        base |= masks.alt;
    }
    if (flags & kCommandBit) {
        if (masks.super == 0)
            return {};
        base |= masks.super;
    }

    std::vector<std::uint16_t> locks = {0};
    const std::uint16_t capsLock = capsLockFree && !(flags & kCapsLockBit) ? kLockMask : 0;
    for (std::uint16_t lock : {masks.numLock, masks.scrollLock, capsLock}) {
        // A lock sharing a bit with a wanted modifier cannot be told apart from it.
        if (lock == 0 || (lock & base) != 0)
            continue;
        const std::size_t n = locks.size();
        for (std::size_t i = 0; i < n; ++i)
            locks.push_back(locks[i] | lock);
    }
    std::vector<std::uint16_t> result;
    for (std::uint16_t lock : locks)
        if (std::find(result.begin(), result.end(), base | lock) == result.end())
            result.push_back(base | lock);
    return result;
}

ModifierState modifierStateFor(std::uint16_t xState, const ModifierMasks& masks) {
    auto has = [xState](std::uint16_t mask) { return mask != 0 && (xState & mask) != 0; };
    ModifierState state;
    state.shift = has(kShiftMask);
    state.capsLock = has(kLockMask);
    state.control = has(kControlMask);
    state.alt = has(masks.alt);
    state.super = has(masks.super);
    state.numLock = has(masks.numLock);
    return state;
}

} // namespace presto
