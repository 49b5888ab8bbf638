#include "capture/KeyTable.h"

#include <gtest/gtest.h>
#include <vector>

namespace presto {
namespace {

HotKeyRec hotKey(std::uint32_t keyCode, std::uint32_t modFlags, std::uint8_t finderItemNo = 0) {
    return {kKeyDownEventType, modFlags, keyCode, 0, 0, kKindFinder, 0, finderItemNo, 0};
}

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

TEST(KeyTableBuffer, TakesAReplyOverWholeAndBoundsItsSlots) {
    KeyTable table;
    auto reply = replyOf({hotKey(0, kCommandBit), hotKey(1, kShiftBit), hotKey(2, 0)});
    table.setPrefKEXTBuf(reply.data(), 3);
    ASSERT_EQ(table.count(), 3);
    ASSERT_NE(table.getPrefKEXTRec(2), nullptr);
    EXPECT_EQ(table.getPrefKEXTRec(2)->first.keyCode, 2u);
    EXPECT_EQ(table.getPrefKEXTRec(3), nullptr);
    EXPECT_EQ(table.getPrefKEXTRec(-1), nullptr);

    // An empty reply (service off) leaves nothing to capture.
    table.setPrefKEXTBuf(reply.data(), 0);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.getPrefKEXTRec(0), nullptr);
}

TEST(KeyTableBuffer, ACountAboveOneHundredChangesNothing) {
    KeyTable table;
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

TEST(KeyTableLookup, FindsAPressByTheHotKeyIdentity) {
    KeyTable table;
    auto reply = replyOf({hotKey(0, kCommandBit, 1), hotKey(0, kCommandBit | kCapsLockBit, 2),
                          hotKey(0, kCommandBit, 3)});
    table.setPrefKEXTBuf(reply.data(), 3);

    HotKeyRec press = hotKey(0, kCommandBit | kNumericPadBit | kFunctionBit);
    press.kind = kKindLaunch;
    press.charCode = 'a';
    const PrefKEXTRec* found = table.srcPrefKEXTRec(press);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->first.finderItemNo, 1) << "the first of two equal entries wins";

    const PrefKEXTRec* caps = table.srcPrefKEXTRec(hotKey(0, kCommandBit | kCapsLockBit));
    ASSERT_NE(caps, nullptr);
    EXPECT_EQ(caps->first.finderItemNo, 2);

    EXPECT_EQ(table.srcPrefKEXTRec(hotKey(0, kCommandBit | kShiftBit)), nullptr);
    EXPECT_EQ(table.srcPrefKEXTRec(hotKey(1, kCommandBit)), nullptr);
    HotKeyRec keyUp = hotKey(0, kCommandBit);
    keyUp.eventType = 11;
    EXPECT_EQ(table.srcPrefKEXTRec(keyUp), nullptr);
}

TEST(KeyTableLookup, EntriesBeyondTheCountAreNotFound) {
    KeyTable table;
    auto reply = replyOf({hotKey(0, kCommandBit), hotKey(5, kCommandBit)});
    table.setPrefKEXTBuf(reply.data(), 2);
    table.setPrefKEXTBuf(reply.data(), 1);
    EXPECT_EQ(table.srcPrefKEXTRec(hotKey(5, kCommandBit)), nullptr);
}

TEST(KeyTableSync, ComparesTheTimeStampTextOnly) {
    KeyTable table;
    EXPECT_TRUE(table.isEqualSyncTime(syncOf(5, "")));
    table.setPrefKEXTSyncRec(syncOf(5, "1765141234"));
    EXPECT_TRUE(table.isEqualSyncTime(syncOf(1, "1765141234")));
    EXPECT_FALSE(table.isEqualSyncTime(syncOf(5, "1765141235")));
    EXPECT_FALSE(table.isEqualSyncTime(syncOf(5, "176514123")));
}

TEST(KeyTableSync, AnEmptyTextKeepsTheStampButTakesTheInterval) {
    KeyTable table;
    table.setPrefKEXTSyncRec(syncOf(5, "1765141234"));
    table.setPrefKEXTSyncRec(syncOf(2, ""));
    EXPECT_EQ(table.syncRec().interval, 2);
    EXPECT_EQ(table.syncRec().timeStampText(), "1765141234");
}

TEST(KeyTableSync, AnUnterminatedStampIsReadWithinItsField) {
    std::uint8_t wire[PrefKEXTSyncRec::kSize] = {1, 0, 0, 0};
    for (int i = 4; i < 16; ++i)
        wire[i] = '9';
    KeyTable table;
    table.setPrefKEXTSyncRec(PrefKEXTSyncRec::fromBytes(wire));
    EXPECT_EQ(table.syncRec().timeStampText(), std::string(12, '9'));
    EXPECT_TRUE(table.isEqualSyncTime(PrefKEXTSyncRec::fromBytes(wire)));
}

} // namespace
} // namespace presto
