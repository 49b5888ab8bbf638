#include "daemon/PrefData.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/TempWorld.h"

#include <gtest/gtest.h>

namespace presto {
namespace {

using test::TempWorld;

class PrefDataTest : public ::testing::Test {
protected:
    TempWorld world;
    const Locations& loc = world.locations();
    std::string item = world.writeFile("items/a.txt", "a");
    std::string other = world.writeFile("items/b.txt", "b");
};

TEST_F(PrefDataTest, FinderEntryHasNoReferencesAndLaunchEntryHasOne) {
    test::writeDataFile(loc, {{test::hotKey(1, kCommandBit, kKindFinder, 0, 21), {}},
                              {test::hotKey(2, kCommandBit), {item}}});
    PrefData data(loc.dataFilePath());
    ASSERT_EQ(data.getPrefDataCount(), 2);
    EXPECT_EQ(data.getHotKeyRec(0)->finderItemNo, 21);
    EXPECT_TRUE(data.getHotKeyItemRec(0)->references.empty());
    ASSERT_EQ(data.getHotKeyItemRec(1)->references.size(), kFileRefSize);
    EXPECT_EQ(wholeReferences(*data.getHotKeyItemRec(1)).front(), test::refTo(loc, item));
    EXPECT_EQ(data.getHotKeyRec(2), nullptr);
    EXPECT_EQ(data.getHotKeyItemRec(-1), nullptr);
}

TEST_F(PrefDataTest, CutReferenceBlockKeepsWhatWasThereButNoPartialReference) {
    auto bytes = encodeDataFile({{test::hotKey(3, 0, kKindGroup, 2), {item, other}}},
                                FileReferences(loc.referencesDir()));
    bytes.resize(bytes.size() - 30);
    test::writeBytes(loc.dataFilePath(), bytes);
    PrefData data(loc.dataFilePath());
    ASSERT_EQ(data.getPrefDataCount(), 1);
    EXPECT_EQ(data.getHotKeyItemRec(0)->references.size(), 130u);
    ASSERT_EQ(wholeReferences(*data.getHotKeyItemRec(0)).size(), 1u);
}

TEST_F(PrefDataTest, LookupClearsOnlyThePressedIgnoredBitsAndFindsTheFirstOfTwins) {
    test::writeDataFile(loc, {{test::hotKey(7, kCommandBit, kKindFinder, 0, 1), {}},
                              {test::hotKey(7, kCommandBit, kKindFinder, 0, 2), {}},
                              {test::hotKey(7, kCommandBit | kShiftBit, kKindFinder, 0, 3), {}}});
    PrefData data(loc.dataFilePath());
    auto find = [&](std::uint32_t modFlags) -> int {
        const auto* entry = data.srcHotKeyItemRec(test::hotKey(7, modFlags));
        return entry ? entry->rec.finderItemNo : 0;
    };
    EXPECT_EQ(find(kCommandBit), 1);
    EXPECT_EQ(find(kCommandBit | kNumericPadBit | kFunctionBit | 0x0100), 1);
    EXPECT_EQ(find(kCommandBit | kShiftBit), 3);
    EXPECT_EQ(find(kCommandBit | kCapsLockBit), 0);
    EXPECT_EQ(data.srcHotKeyItemRec(test::hotKey(8, kCommandBit)), nullptr);
}

} // namespace
} // namespace presto
