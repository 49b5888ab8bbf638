#include "common/PrefKEXT.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace presto {
namespace {

HotKeyRec hotKey(std::uint32_t keyCode, std::uint32_t modFlags, std::uint8_t finderItemNo = 0) {
    return {kKeyDownEventType, modFlags, keyCode, 0, 0, kKindFinder, 0, finderItemNo, 0};
}

// The "GETPREF" reply for these records.
std::vector<std::uint8_t> replyOf(const std::vector<HotKeyRec>& recs) {
    std::vector<std::uint8_t> bytes(recs.size() * PrefKEXTRec::kSize);
    for (std::size_t i = 0; i < recs.size(); ++i)
        PrefKEXTRec::forHotKey(recs[i]).toBytes(bytes.data() + i * PrefKEXTRec::kSize);
    return bytes;
}

PrefKEXTSyncRec syncOf(std::int32_t interval, const char* stamp) {
    PrefKEXTSyncRec sync;
    sync.interval = interval;
    sync.setTimeStamp(stamp);
    return sync;
}

TEST(PrefKEXTTable, FilledSlotsAreContiguousAndOnlyABufferSetsTheCount) {
    PrefKEXT kext;
    HotKeyRec a = hotKey(1, kOptionBit), b = hotKey(2, kControlBit);
    kext.setPrefKEXTRec(PrefKEXTRec::forHotKey(a), 0);
    kext.setPrefKEXTRec(PrefKEXTRec::forHotKey(b), 1);
    kext.setPrefKEXTRec(PrefKEXTRec::forHotKey(a), 100);
    EXPECT_EQ(kext.count(), 0);
    EXPECT_EQ(kext.getPrefKEXTRec(0), std::nullopt);
    auto second = PrefKEXTRec::forHotKey(b).toBytes();
    EXPECT_TRUE(std::equal(second.begin(), second.end(), kext.tableBytes() + 48));

    PrefKEXT received;
    received.setPrefKEXTBuf(kext.tableBytes(), 2);
    EXPECT_EQ(received.count(), 2);
    EXPECT_EQ(received.getPrefKEXTRec(1), PrefKEXTRec::forHotKey(b));
    received.resetPrefKEXT();
    EXPECT_EQ(received.count(), 0);
    EXPECT_EQ(received.getPrefKEXTRec(0), std::nullopt);
}

TEST(PrefKEXTTable, TakesAReplyOverWholeAndBoundsItsSlots) {
    PrefKEXT table;
    auto reply = replyOf({hotKey(0, kCommandBit), hotKey(1, kShiftBit), hotKey(2, 0)});
    table.setPrefKEXTBuf(reply.data(), 3);
    ASSERT_EQ(table.count(), 3);
    ASSERT_NE(table.getPrefKEXTRec(2), std::nullopt);
    EXPECT_EQ(table.getPrefKEXTRec(2)->first.keyCode, 2u);
    EXPECT_EQ(table.getPrefKEXTRec(3), std::nullopt);
    EXPECT_EQ(table.getPrefKEXTRec(-1), std::nullopt);

    // An empty reply (service off) leaves nothing to capture.
    table.setPrefKEXTBuf(reply.data(), 0);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.getPrefKEXTRec(0), std::nullopt);
}

TEST(PrefKEXTTable, ACountAboveOneHundredOrBelowZeroChangesNothing) {
    PrefKEXT table;
    auto one = replyOf({hotKey(7, kControlBit)});
    table.setPrefKEXTBuf(one.data(), 1);
    std::vector<std::uint8_t> big(101 * PrefKEXTRec::kSize, 0);
    table.setPrefKEXTBuf(big.data(), 101);
    table.setPrefKEXTBuf(big.data(), -1);
    ASSERT_EQ(table.count(), 1);
    EXPECT_EQ(table.getPrefKEXTRec(0)->first.keyCode, 7u);

    std::vector<HotKeyRec> full;
    for (std::uint32_t i = 0; i < 100; ++i)
        full.push_back(hotKey(i, kCommandBit));
    auto fullReply = replyOf(full);
    table.setPrefKEXTBuf(fullReply.data(), 100);
    EXPECT_EQ(table.count(), 100);
    EXPECT_EQ(table.getPrefKEXTRec(99)->first.keyCode, 99u);
}

TEST(PrefKEXTLookup, FindsAPressByTheHotKeyIdentity) {
    PrefKEXT table;
    auto reply = replyOf({hotKey(0, kCommandBit, 1), hotKey(0, kCommandBit | kCapsLockBit, 2),
                          hotKey(0, kCommandBit, 3)});
    table.setPrefKEXTBuf(reply.data(), 3);

    HotKeyRec press = hotKey(0, kCommandBit | kNumericPadBit | kFunctionBit);
    press.kind = kKindLaunch;
    press.charCode = 'a';
    auto found = table.srcPrefKEXTRec(press);
    ASSERT_NE(found, std::nullopt);
    EXPECT_EQ(found->first.finderItemNo, 1) << "the first of two equal entries wins";

    auto caps = table.srcPrefKEXTRec(hotKey(0, kCommandBit | kCapsLockBit));
    ASSERT_NE(caps, std::nullopt);
    EXPECT_EQ(caps->first.finderItemNo, 2);

    EXPECT_EQ(table.srcPrefKEXTRec(hotKey(0, kCommandBit | kShiftBit)), std::nullopt);
    EXPECT_EQ(table.srcPrefKEXTRec(hotKey(1, kCommandBit)), std::nullopt);
    HotKeyRec keyUp = hotKey(0, kCommandBit);
    keyUp.eventType = 11;
    EXPECT_EQ(table.srcPrefKEXTRec(keyUp), std::nullopt);
}

TEST(PrefKEXTLookup, EntriesBeyondTheCountAreNotFound) {
    PrefKEXT table;
    auto reply = replyOf({hotKey(0, kCommandBit), hotKey(5, kCommandBit)});
    table.setPrefKEXTBuf(reply.data(), 2);
    table.setPrefKEXTBuf(reply.data(), 1);
    EXPECT_EQ(table.srcPrefKEXTRec(hotKey(5, kCommandBit)), std::nullopt);
}

TEST(PrefKEXTSync, AnEmptyTextKeepsTheStampButTakesTheInterval) {
    PrefKEXT kext;
    kext.setPrefKEXTSyncRec(syncOf(5, "1765141234"));
    const std::uint8_t expected[16] = {5,   0,   0,   0,   '1', '7', '6', '5',
                                       '1', '4', '1', '2', '3', '4', 0,   0};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), kext.syncBytes()));

    kext.setPrefKEXTSyncRec(syncOf(9, ""));
    EXPECT_EQ(kext.syncRec().interval, 9);
    EXPECT_EQ(kext.syncBytes()[0], 9);
    EXPECT_EQ(kext.syncRec().timeStampText(), "1765141234");
}

TEST(PrefKEXTSync, ComparesTheTimeStampTextOnly) {
    PrefKEXT table;
    EXPECT_TRUE(table.isEqualSyncTime(syncOf(5, "")));
    table.setPrefKEXTSyncRec(syncOf(5, "1765141234"));
    EXPECT_TRUE(table.isEqualSyncTime(syncOf(1, "1765141234")));
    EXPECT_FALSE(table.isEqualSyncTime(syncOf(5, "1765141235")));
    EXPECT_FALSE(table.isEqualSyncTime(syncOf(5, "176514123")));
}

TEST(PrefKEXTSync, AnUnterminatedStampIsKeptWholeAndReadWithinItsField) {
    std::uint8_t wire[PrefKEXTSyncRec::kSize] = {1, 0, 0, 0};
    for (int i = 4; i < 16; ++i)
        wire[i] = '9';
    PrefKEXT table;
    table.setPrefKEXTSyncRec(PrefKEXTSyncRec::fromBytes(wire));
    EXPECT_EQ(table.syncRec().timeStampText(), std::string(12, '9'));
    EXPECT_TRUE(table.isEqualSyncTime(PrefKEXTSyncRec::fromBytes(wire)));
}

} // namespace
} // namespace presto
