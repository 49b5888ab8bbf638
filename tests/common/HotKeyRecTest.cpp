#include "common/HotKeyRec.h"

#include "common/PrefKEXTRec.h"

#include <gtest/gtest.h>
#include <vector>

namespace presto {
namespace {

TEST(HotKeyRecLayout, FieldsLieAtTheirOffsetsLittleEndian) {
    HotKeyRec rec;
    rec.eventType = 10;
    rec.modFlags = kCommandBit | kShiftBit;
    rec.keyCode = 0x0102;
    rec.charCode = 'A';
    rec.charCodeIgMod = 'a';
    rec.kind = kKindGroup;
    rec.itemCount = 3;
    rec.finderItemNo = 0;
    const std::vector<std::uint8_t> expected = {10,  0, 0, 0, 0,   0, 0x12, 0, 0x02, 0x01, 0, 0,
                                                'A', 0, 0, 0, 'a', 0, 0,    0, 'G',  3,    0, 0};
    auto bytes = rec.toBytes();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), expected);
    EXPECT_EQ(HotKeyRec::fromBytes(bytes), rec);
}

TEST(HotKeyRecIdentity, IgnoresNumericPadHelpFunctionAndDeviceBits) {
    HotKeyRec stored{10, kCommandBit, 12, 'q', 'q', kKindLaunch, 1, 0, 0};
    HotKeyRec pressed = stored;
    pressed.modFlags |= kNumericPadBit | kHelpBit | kFunctionBit | 0x0000FFFF;
    pressed.kind = kKindFinder;
    pressed.charCode = 0;
    EXPECT_TRUE(isSameHotKey(stored, pressed));
}

TEST(HotKeyRecIdentity, CapsLockShiftKeyAndEventTypeMakeADifference) {
    HotKeyRec stored{10, kCommandBit, 12, 0, 0, kKindLaunch, 1, 0, 0};
    auto differs = [&](auto change) {
        HotKeyRec other = stored;
        change(other);
        return !isSameHotKey(stored, other);
    };
    EXPECT_TRUE(differs([](HotKeyRec& r) { r.modFlags |= kCapsLockBit; }));
    EXPECT_TRUE(differs([](HotKeyRec& r) { r.modFlags |= kShiftBit; }));
    EXPECT_TRUE(differs([](HotKeyRec& r) { r.keyCode = 13; }));
    EXPECT_TRUE(differs([](HotKeyRec& r) { r.eventType = 11; }));
    EXPECT_TRUE(differs([](HotKeyRec& r) { r.modFlags |= 0x01000000; }));
}

TEST(PrefKEXTRecLayout, HoldsTheRecordTwice) {
    HotKeyRec rec{10, kOptionBit, 36, 13, 13, kKindFinder, 0, 22, 0};
    auto bytes = PrefKEXTRec::forHotKey(rec).toBytes();
    ASSERT_EQ(bytes.size(), 48u);
    auto half = rec.toBytes();
    EXPECT_TRUE(std::equal(half.begin(), half.end(), bytes.begin()));
    EXPECT_TRUE(std::equal(half.begin(), half.end(), bytes.begin() + 24));
    EXPECT_EQ(PrefKEXTRec::fromBytes(bytes.data()), PrefKEXTRec::forHotKey(rec));
}

TEST(PrefKEXTSyncRecLayout, TenDigitStampAndIntervalFive) {
    PrefKEXTSyncRec sync;
    sync.interval = 5;
    sync.setTimeStamp("1765141234");
    const std::vector<std::uint8_t> expected = {5,   0,   0,   0,   '1', '7', '6', '5',
                                                '1', '4', '1', '2', '3', '4', 0,   0};
    auto bytes = sync.toBytes();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), expected);
    EXPECT_EQ(PrefKEXTSyncRec::fromBytes(bytes.data()).timeStampText(), "1765141234");
}

TEST(PrefKEXTSyncRecLayout, OverlongOrUnterminatedStampStaysInsideTheField) {
    PrefKEXTSyncRec sync;
    sync.setTimeStamp("123456789012345");
    EXPECT_EQ(sync.timeStampText(), "12345678901");
    std::uint8_t raw[16];
    std::fill(std::begin(raw), std::end(raw), '9');
    EXPECT_EQ(PrefKEXTSyncRec::fromBytes(raw).timeStampText(), std::string(12, '9'));
}

} // namespace
} // namespace presto
