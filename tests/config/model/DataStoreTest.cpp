#include "config/model/DataStore.h"

#include "ModelTestSupport.h"
#include "config/model/ItemPathName.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace presto {
namespace {

using test::keyEvent;
using test::keyRec;

std::unique_ptr<HotKeyItem> launchItem(const HotKeyRec& rec, const QStringList& paths) {
    auto item = std::make_unique<HotKeyItem>();
    item->setHotKeyRecItems(rec, paths);
    return item;
}

std::unique_ptr<HotKeyItem> launchItem(const QString& path) {
    return launchItem(keyRec(kCommandBit, 0), {path});
}

std::unique_ptr<HotKeyPbItem> pbItem(const HotKeyRec& rec, const QString& path) {
    HotKeyRec pbRec = rec;
    pbRec.kind = kKindPasteboard;
    pbRec.itemCount = 1;
    auto item = std::make_unique<HotKeyPbItem>(pbRec);
    item->setPbDataPath(path);
    item->setPbTitle(lastPathComponent(path));
    return item;
}

std::unique_ptr<HotKeyPbItem> pbItem(const QString& title) {
    return pbItem(keyRec(kControlBit, 1), "/pb/" + title);
}

QStringList launchOrder(const DataStore& store) {
    QStringList order;
    for (const auto& item : store.hotKeyItems())
        order.append(item->itemPath().value_or("?"));
    return order;
}

QStringList pbOrder(const DataStore& store) {
    QStringList order;
    for (const auto& item : store.hotKeyPbItems())
        order.append(item->pbTitle());
    return order;
}

TEST(DataStoreLists, StartWithEmptyListsAndTheWholeCatalogue) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    EXPECT_EQ(store.countHotKeyItem(), 0);
    EXPECT_EQ(store.countHotKeyPbItem(), 0);
    EXPECT_EQ(store.countHotKeyFinderFunction(), 13);
    EXPECT_EQ(store.hotKeyFinderFunction(12)->finderFunction().functionNo(), 29);
    EXPECT_EQ(store.countHotKey(), 0);
    EXPECT_EQ(store.versionNo(), std::nullopt);
    EXPECT_EQ(store.signature(), std::nullopt);
}

TEST(DataStoreLists, MovesTakeTheDropRowCountedBeforeTheMove) {
    struct Case {
        qsizetype from, to;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {0, 2, {"B", "A", "C"}}, {2, 0, {"C", "A", "B"}}, {0, 3, {"B", "C", "A"}},
        {1, 1, {"A", "B", "C"}}, {1, 2, {"A", "B", "C"}}, {2, 1, {"A", "C", "B"}},
    };
    for (const Case& c : cases) {
        test::FreshStore fresh;
        DataStore& store = fresh.store;
        for (const char* name : {"A", "B", "C"}) {
            store.addHotKeyItem(launchItem(name));
            store.addHotKeyPbItem(pbItem(name));
        }
        EXPECT_TRUE(store.moveItem(c.from, c.to));
        EXPECT_TRUE(store.moveHotKeyPbItem(c.from, c.to));
        EXPECT_EQ(launchOrder(store), c.expected) << c.from << " -> " << c.to;
        EXPECT_EQ(pbOrder(store), c.expected) << c.from << " -> " << c.to;
    }
}

TEST(DataStoreLists, OutOfRangeIndexesChangeNothing) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    store.addHotKeyItem(launchItem("A"));
    store.addHotKeyPbItem(pbItem("A"));
    EXPECT_FALSE(store.moveItem(1, 0));
    EXPECT_FALSE(store.moveItem(0, 2));
    EXPECT_FALSE(store.moveHotKeyPbItem(0, -1));
    EXPECT_FALSE(store.insertHotKeyItem(launchItem("B"), 2));
    EXPECT_FALSE(store.replaceHotKeyPbItem(pbItem("B"), 1));
    EXPECT_FALSE(store.exChangeItem(0, 1));
    EXPECT_FALSE(store.removeHotKeyPbItem(1));
    EXPECT_FALSE(store.removeHotKeyPbItemData(-1));
    EXPECT_FALSE(store.replaceHotKeyFinderFunction(std::make_unique<HotKeyFinderFunction>(), 13));
    EXPECT_EQ(store.hotKeyItem(1), nullptr);
    EXPECT_EQ(store.hotKeyPbItem(-1), nullptr);
    EXPECT_EQ(store.hotKeyFinderFunction(13), nullptr);
    EXPECT_EQ(launchOrder(store), QStringList({"A"}));
    EXPECT_EQ(pbOrder(store), QStringList({"A"}));
}

TEST(DataStoreLists, InsertReplaceExchangeAndRemove) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    store.addHotKeyItem(launchItem("A"));
    store.addHotKeyItem(launchItem("C"));
    EXPECT_TRUE(store.insertHotKeyItem(launchItem("B"), 1));
    EXPECT_TRUE(store.insertHotKeyItem(launchItem("D"), 3));
    EXPECT_EQ(launchOrder(store), QStringList({"A", "B", "C", "D"}));
    EXPECT_TRUE(store.exChangeItem(0, 3));
    EXPECT_TRUE(store.replaceHotKeyItem(launchItem("X"), 1));
    EXPECT_TRUE(store.removeHotKeyItem(2));
    EXPECT_EQ(launchOrder(store), QStringList({"D", "X", "A"}));

    store.addHotKeyPbItem(pbItem("a"));
    store.addHotKeyPbItem(pbItem("b"));
    EXPECT_TRUE(store.insertHotKeyPbItem(pbItem("c"), 0));
    EXPECT_TRUE(store.exChangeHotKeyPbItem(1, 2));
    EXPECT_TRUE(store.replaceHotKeyPbItem(pbItem("d"), 0));
    EXPECT_EQ(pbOrder(store), QStringList({"d", "b", "a"}));
    EXPECT_TRUE(store.removeHotKeyPbItem(0));
    EXPECT_EQ(pbOrder(store), QStringList({"b", "a"}));

    HotKeyItemList replacement;
    replacement.push_back(launchItem("Z"));
    store.setHotKeyItems(std::move(replacement));
    EXPECT_EQ(launchOrder(store), QStringList({"Z"}));
}

TEST(DataStoreLists, RemovingAPasteboardHotKeyDeletesItsSnapshotEvenIfAlreadyGone) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    const QString note = QString::fromStdString(fresh.world.writeFile("PasteboardData/Note", "x"));
    const QString memo = QString::fromStdString(fresh.world.writeFile("PasteboardData/Memo", "y"));
    store.addHotKeyPbItem(pbItem(keyRec(kControlBit, 1), note));
    store.addHotKeyPbItem(pbItem(keyRec(kControlBit, 2), memo));
    store.addHotKeyPbItem(pbItem(keyRec(kControlBit, 3), note + "-gone"));

    EXPECT_TRUE(store.removeHotKeyPbItemData(0));
    EXPECT_FALSE(std::filesystem::exists(note.toStdString()));
    EXPECT_TRUE(std::filesystem::exists(memo.toStdString()));
    EXPECT_TRUE(store.removeHotKeyPbItemData(1));
    EXPECT_EQ(pbOrder(store), QStringList({"Memo"}));
}

// Launch hot keys 0-4 on Command+1..5 (4 is Command+F1), the catalogue with a few assignments,
// pasteboard hot keys on Control+1..2.
class DataStoreDuplicates : public ::testing::Test {
protected:
    DataStoreDuplicates() {
        for (std::uint32_t code : {18u, 19u, 20u, 21u}) {
            store.addHotKeyItem(
                launchItem(keyRec(kCommandBit, code), {QStringLiteral("/l/%1").arg(code)}));
        }
        store.addHotKeyItem(launchItem(keyRec(kCommandBit, 122, kKindLaunch, 0xF704), {"/l/F1"}));
        store.addHotKeyPbItem(pbItem(keyRec(kControlBit, 18), "/pb/one"));
        store.addHotKeyPbItem(pbItem(keyRec(kControlBit, 19), "/pb/two"));
    }

    void assignFinder(qsizetype index, std::uint32_t modFlags, std::uint32_t keyCode) {
        store.hotKeyFinderFunction(index)->assignHotKeyRec(keyRec(modFlags, keyCode));
    }

    test::FreshStore fresh;
    DataStore& store = fresh.store;
};

TEST_F(DataStoreDuplicates, ReportsTheListAndPositionOfTheHit) {
    EXPECT_EQ(store.isDupHotKeyRec(keyRec(kCommandBit, 122, kKindGroup, 'x')), 4);
    EXPECT_EQ(store.isDupKey(10, kCommandBit, 18), 0);

    assignFinder(6, kOptionBit | kShiftBit, 5);
    EXPECT_EQ(store.isDupHotKeyRec(keyRec(kOptionBit | kShiftBit, 5)), 1006);
    EXPECT_EQ(store.isDupHotKeyRec(keyRec(kControlBit, 19)), 2001);
    EXPECT_EQ(store.isDupHotKeyRec(keyRec(kControlBit, 20)), -1);
    EXPECT_EQ(store.isDupKey(11, kCommandBit, 18), -1);
}

TEST_F(DataStoreDuplicates, TheFirstListWins) {
    assignFinder(0, kCommandBit, 18);
    EXPECT_EQ(store.isDupKey(10, kCommandBit, 18), 0);
    assignFinder(1, kControlBit, 19);
    EXPECT_EQ(store.isDupKey(10, kControlBit, 19), 1001);
}

TEST_F(DataStoreDuplicates, NeverAssignedAndResetFinderFunctionsNeverMatch) {
    // A key without a function number has never been assigned, whatever its other fields say.
    HotKeyFinderFunction& neverAssigned = *store.hotKeyFinderFunction(2);
    neverAssigned.setEventType(10);
    neverAssigned.setModFlags(kOptionBit);
    neverAssigned.setKeyCode(7);
    EXPECT_EQ(store.isDupKey(10, kOptionBit, 7), -1);

    assignFinder(5, kOptionBit, 8);
    EXPECT_EQ(store.isDupKey(10, kOptionBit, 8), 1005);
    store.hotKeyFinderFunction(5)->resetHotKey();
    EXPECT_EQ(store.isDupKey(10, kOptionBit, 8), -1);
    EXPECT_EQ(store.isDupKey(10, 0, 0), -1);
}

TEST_F(DataStoreDuplicates, CapsLockMakesTwoKeysDifferent) {
    EXPECT_EQ(store.isDupHotKeyRec(keyRec(kCommandBit | kCapsLockBit, 122)), -1);
    EXPECT_EQ(store.isDupKey(10, kCommandBit | kCapsLockBit, 18), -1);
    EXPECT_EQ(store.isDupKey(10, kCommandBit | kShiftBit, 18), -1);
}

TEST_F(DataStoreDuplicates, EventAndHotKeyVariantsMaskLikeARecordMadeFromThem) {
    EXPECT_EQ(store.isDupKeyEvent(keyEvent(kCommandBit | kFunctionBit | 0x0108, 122, "", "")), 4);
    EXPECT_EQ(store.isDupKeyEvent(keyEvent(kCommandBit | kCapsLockBit, 122, "", "")), -1);
    EXPECT_EQ(store.isDupKeyEvent(keyEvent(kControlBit | kNumericPadBit, 18, "1", "1")), 2000);

    HotKey captured;
    captured.setEvent(keyEvent(kCommandBit | kFunctionBit, 122, "", ""));
    EXPECT_EQ(store.isDupHotKey(captured), 4);
    EXPECT_EQ(store.isDupHotKey(HotKey()), -1);
}

TEST(DataStoreCounts, CountHotKeyAddsLaunchAssignedFinderAndPasteboard) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    store.addHotKeyItem(launchItem("A"));
    store.addHotKeyItem(launchItem("B"));
    for (qsizetype index : {0, 3, 12})
        store.hotKeyFinderFunction(index)->assignHotKeyRec(keyRec(kOptionBit, 1));
    store.addHotKeyPbItem(pbItem("P"));
    EXPECT_EQ(store.countHotKey(), 6);

    store.hotKeyFinderFunction(3)->resetHotKey();
    EXPECT_EQ(store.countHotKey(), 5);
    store.removeHotKeyItem(0);
    EXPECT_EQ(store.countHotKey(), 4);
}

TEST(DataStoreCounts, MaxItemCountIsTheLargestGroup) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    EXPECT_EQ(store.maxItemCount(), 0);
    store.addHotKeyItem(launchItem(keyRec(0, 1), {"/a"}));
    store.addHotKeyItem(launchItem(keyRec(0, 2), {"/a", "/b", "/c"}));
    store.addHotKeyItem(launchItem(keyRec(0, 3), {"/a", "/b"}));
    EXPECT_EQ(store.maxItemCount(), 3);
    store.hotKeyItem(0)->setItemPaths(QStringList(255, "/same"));
    EXPECT_EQ(store.maxItemCount(), 255);
}

TEST(DataStoreChecks, IsDupItemFindsSinglePathsButNotGroupMembers) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    store.addHotKeyItem(launchItem(keyRec(0, 1), {"/Apps/Mail.app"}));
    store.addHotKeyItem(launchItem(keyRec(0, 2), {"/Apps/Music.app", "/Apps/Notes.app"}));
    EXPECT_TRUE(store.isDupItem("/Apps/Mail.app"));
    EXPECT_FALSE(store.isDupItem("/apps/mail.app"));
    EXPECT_FALSE(store.isDupItem("/Apps/Notes.app"));
    EXPECT_FALSE(store.isDupItem("/Apps/Music.app"));

    store.hotKeyItem(1)->removeItemPath(0);
    EXPECT_TRUE(store.isDupItem("/Apps/Notes.app"));
}

TEST(DataStoreChecks, IsDupPbItemComparesTheSnapshotFileName) {
    test::FreshStore fresh;
    DataStore& store = fresh.store;
    store.addHotKeyPbItem(pbItem(keyRec(0, 1), "/data/PasteboardData/Note"));
    EXPECT_EQ(store.hotKeyPbItem(0)->pbDataName(), "Note");
    EXPECT_EQ(store.hotKeyPbItem(0)->pbDataName(), store.hotKeyPbItem(0)->pbTitle());
    EXPECT_TRUE(store.isDupPbItem("Note"));
    EXPECT_FALSE(store.isDupPbItem("note"));
    EXPECT_FALSE(store.isDupPbItem("PasteboardData"));

    // The file name decides, not a title that has drifted from it.
    store.hotKeyPbItem(0)->setPbTitle("Other");
    EXPECT_TRUE(store.isDupPbItem("Note"));
    EXPECT_FALSE(store.isDupPbItem("Other"));
}

} // namespace
} // namespace presto
