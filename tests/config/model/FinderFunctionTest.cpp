#include "ModelTestSupport.h"
#include "config/model/HotKeyFinderFunctionData.h"

#include <gtest/gtest.h>
#include <vector>

namespace presto {
namespace {

using test::keyRec;

bool unassigned(const HotKeyFinderFunction& function) {
    return !function.eventType() && !function.modFlags() && !function.keyCode() &&
           !function.kind() && !function.itemCount() && !function.finderItemNo();
}

TEST(FinderCatalogue, ThirteenFunctionsInOrderNoneWithAHotKey) {
    HotKeyFinderFunctionData catalogue;
    const std::vector<std::int32_t> numbers = {1, 2, 3, 11, 21, 22, 23, 24, 25, 26, 27, 28, 29};
    const QStringList names = {"Sleep",
                               "Restart",
                               "Shut Down",
                               "Empty Trash",
                               "Move to Trash",
                               "Make New File",
                               "Get Path",
                               "Get File List",
                               "Copy to...",
                               "Move to...",
                               "Copy to... by new name",
                               "Move to... by new name",
                               "Show Permission"};
    ASSERT_EQ(catalogue.getCount(), 13);
    for (qsizetype i = 0; i < catalogue.getCount(); ++i) {
        const HotKeyFinderFunction* function = catalogue.hotKeyFinderFunction(i);
        ASSERT_NE(function, nullptr);
        EXPECT_EQ(function->finderFunction().functionNo(), numbers[static_cast<std::size_t>(i)]);
        EXPECT_EQ(function->finderFunction().functionName(), names[i]);
        EXPECT_TRUE(unassigned(*function)) << i;
    }
    EXPECT_EQ(catalogue.hotKeyFinderFunction(13), nullptr);
    EXPECT_EQ(catalogue.hotKeyFinderFunction(-1), nullptr);
}

TEST(FinderCatalogue, ReplaceHotKeyGivesTheRecordToTheNamedFunctionOnly) {
    HotKeyFinderFunctionData catalogue;
    HotKeyRec rec = keyRec(kCommandBit | kOptionBit, 5, kKindFinder, 'g');
    rec.finderItemNo = 24;
    catalogue.replaceHotKey(rec);

    for (qsizetype i = 0; i < catalogue.getCount(); ++i) {
        const HotKeyFinderFunction& function = *catalogue.hotKeyFinderFunction(i);
        if (i == 7) {
            EXPECT_EQ(function.hotKeyRec(), rec);
            EXPECT_EQ(function.keyString(), "G");
            EXPECT_FALSE(function.optString().isEmpty());
        } else {
            EXPECT_TRUE(unassigned(function)) << i;
        }
    }
    EXPECT_EQ(catalogue.searchHotKeyFinderFunction(24), catalogue.hotKeyFinderFunction(7));
}

TEST(FinderCatalogue, ReplaceHotKeyWithANumberOfNoFunctionChangesNothing) {
    HotKeyFinderFunctionData catalogue;
    for (std::uint8_t number : {0, 4, 12, 30, 255}) {
        HotKeyRec rec = keyRec(kCommandBit, 5, kKindFinder);
        rec.finderItemNo = number;
        catalogue.replaceHotKey(rec);
    }
    for (const auto& function : catalogue.exHotKeyFinderFunctions())
        EXPECT_TRUE(unassigned(*function));
}

TEST(FinderCatalogue, AssigningAndResettingAHotKey) {
    HotKeyFinderFunctionData catalogue;
    HotKeyFinderFunction& emptyTrash = *catalogue.hotKeyFinderFunction(3);
    EXPECT_EQ(catalogue.searchHotKeyFinderFunction(11), nullptr);

    // Control+Option+T as the capture panel makes it: kind 'L', no items.
    HotKeyRec captured = keyRec(kControlBit | kOptionBit, 17, kKindLaunch, 't');
    emptyTrash.assignHotKeyRec(captured);
    EXPECT_EQ(emptyTrash.kind(), kKindFinder);
    EXPECT_EQ(emptyTrash.itemCount(), 0);
    EXPECT_EQ(emptyTrash.finderItemNo(), 11);
    HotKeyRec stored = emptyTrash.hotKeyRec();
    EXPECT_EQ(stored.finderItemNo, 11);
    EXPECT_EQ(stored.kind, kKindFinder);
    EXPECT_TRUE(isSameHotKey(stored, captured));
    EXPECT_EQ(catalogue.searchHotKeyFinderFunction(11), &emptyTrash);

    emptyTrash.resetHotKey();
    EXPECT_EQ(emptyTrash.finderItemNo(), 0); // present, not absent
    EXPECT_EQ(emptyTrash.kind(), 0);
    EXPECT_EQ(emptyTrash.eventType(), 0u);
    EXPECT_EQ(emptyTrash.hotKeyRec(), HotKeyRec{});
    EXPECT_EQ(catalogue.searchHotKeyFinderFunction(11), nullptr);
    EXPECT_EQ(emptyTrash.finderFunction().functionNo(), 11);
}

} // namespace
} // namespace presto
