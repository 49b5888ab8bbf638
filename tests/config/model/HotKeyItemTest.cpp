#include "config/model/HotKeyItem.h"

#include "ModelTestSupport.h"
#include "config/model/ItemPathName.h"
#include "tests/support/ScriptedAlerts.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace presto {
namespace {

using test::keyEvent;
using test::keyRec;
using test::ScriptedAlerts;

const QString kRetry = QStringLiteral("Retry");

void expectCounted(const HotKeyItem& item, int count) {
    EXPECT_EQ(item.itemCount(), count);
    EXPECT_EQ(item.kind(), count < 2 ? kKindLaunch : kKindGroup);
    if (count == 0)
        EXPECT_EQ(item.itemPath(), std::nullopt);
    else
        EXPECT_EQ(item.itemPath(), item.itemPaths().first());
    EXPECT_EQ(item.itemPaths().size(), count);
}

QStringList manyPaths(int count) {
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(QStringLiteral("/apps/%1").arg(i));
    return paths;
}

TEST(HotKeyItemPaths, EveryListOperationRecountsKindItemCountAndFirstPath) {
    HotKeyItem item(keyRec(kCommandBit, 0, kKindGroup));
    item.addItemPath("/a/A");
    expectCounted(item, 1);
    item.addItemPath("/a/B");
    expectCounted(item, 2);
    EXPECT_TRUE(item.removeItemPath(0));
    expectCounted(item, 1);
    EXPECT_EQ(item.itemPath(), "/a/B");

    // Each path in turn goes to the same index.
    EXPECT_TRUE(item.insertItemPaths({"/a/X", "/a/Y"}, 0));
    EXPECT_EQ(item.itemPaths(), QStringList({"/a/Y", "/a/X", "/a/B"}));
    expectCounted(item, 3);

    EXPECT_TRUE(item.setItemPaths({"/a/P"}));
    expectCounted(item, 1);
    EXPECT_TRUE(item.removeItemPath(0));
    expectCounted(item, 0);

    EXPECT_TRUE(item.insertItemPaths({"/a/Q"}, 0));
    expectCounted(item, 1);
}

TEST(HotKeyItemPaths, OutOfRangeIndexesChangeNothing) {
    HotKeyItem item;
    item.setItemPaths({"/a/A", "/a/B"});
    EXPECT_FALSE(item.removeItemPath(2));
    EXPECT_FALSE(item.removeItemPath(-1));
    EXPECT_FALSE(item.insertItemPaths({"/a/C"}, 3));
    EXPECT_EQ(item.itemPaths(), QStringList({"/a/A", "/a/B"}));
    EXPECT_EQ(item.itemPath(2), std::nullopt);
    EXPECT_EQ(item.itemName(-1), std::nullopt);
}

TEST(HotKeyItemPaths, QueriesByIndexAndExactPathCheck) {
    HotKeyItem item;
    item.setItemPaths({"/Applications/Mail.app", "/home/u/Notes/"});
    EXPECT_EQ(item.itemPath(1), "/home/u/Notes/");
    EXPECT_EQ(item.itemName(0), "Mail.app");
    EXPECT_EQ(item.itemName(1), "Notes");
    EXPECT_TRUE(item.checkItemPath("/Applications/Mail.app"));
    EXPECT_FALSE(item.checkItemPath("/applications/mail.app"));
    EXPECT_FALSE(item.checkItemPath("/Applications/Mail.app/"));
}

TEST(HotKeyItemBuilders, PathsReplaceTheRecordsOwnKindAndCount) {
    HotKeyRec stored = keyRec(kOptionBit, 122, kKindGroup);
    stored.itemCount = 3;
    HotKeyItem single;
    ASSERT_TRUE(single.setHotKeyRecItems(stored, {"/a/A"}));
    expectCounted(single, 1);
    EXPECT_EQ(single.keyString(), "F1");
    EXPECT_EQ(single.hotKeyRec().itemCount, 1);
    EXPECT_EQ(single.hotKeyRec().kind, kKindLaunch);

    HotKeyItem fromEvent;
    ASSERT_TRUE(fromEvent.setEventItems(keyEvent(kCommandBit | kFunctionBit, 36, "\r", "\r"),
                                        {"/a/A", "/a/B"}));
    expectCounted(fromEvent, 2);
    EXPECT_EQ(fromEvent.eventType(), 10u);
    EXPECT_EQ(fromEvent.modFlags(), kCommandBit);
    EXPECT_EQ(fromEvent.keyCode(), 36u);

    // The builders append to whatever the list holds.
    ASSERT_TRUE(fromEvent.setEventItem(keyEvent(0, 0, "a", "a"), "/a/C"));
    EXPECT_EQ(fromEvent.itemPaths(), QStringList({"/a/A", "/a/B", "/a/C"}));
    expectCounted(fromEvent, 3);
}

TEST(HotKeyItemCapacity, NoListGrowsPastWhatTheRecordCanCount) {
    HotKeyItem item(keyRec(kCommandBit, 0));
    ASSERT_TRUE(item.setItemPaths(manyPaths(255)));
    expectCounted(item, 255);
    EXPECT_EQ(item.hotKeyRec().itemCount, 255);

    EXPECT_FALSE(item.addItemPath("/one/more"));
    EXPECT_FALSE(item.insertItemPaths({"/one/more"}, 0));
    EXPECT_FALSE(item.setHotKeyRecItem(keyRec(kOptionBit, 1), "/one/more"));
    EXPECT_FALSE(item.setEventItem(keyEvent(kOptionBit, 1, "s", "s"), "/one/more"));
    EXPECT_FALSE(item.setItemPaths(manyPaths(256)));
    expectCounted(item, 255);
    EXPECT_EQ(item.modFlags(), kCommandBit);
}

TEST(HotKeyItemCapacity, MultiEntryRefusesTheTwoHundredFiftySixthPathWithAnAlert) {
    HotKeyItem item;
    item.setItemPaths(manyPaths(254));
    ScriptedAlerts alerts;
    alerts.answer("OK");
    EXPECT_EQ(item.multiEntry({"/x/1", "/x/2"}, -1, kRetry, alerts), 0);
    alerts.answer(kRetry);
    EXPECT_EQ(item.multiEntry({"/x/1", "/x/2"}, -1, kRetry, alerts), -1);
    expectCounted(item, 254);

    ASSERT_EQ(alerts.requests().size(), 2u);
    const AlertRequest& refusal = alerts.requests()[0];
    EXPECT_EQ(refusal.style, AlertStyle::Critical);
    EXPECT_EQ(refusal.title, "Too many items");
    EXPECT_TRUE(refusal.message.contains("255")) << refusal.message.toStdString();
    EXPECT_EQ(refusal.buttons, QStringList({"OK", kRetry}));

    // Already listed paths do not count against the limit.
    alerts.answer("OK");
    EXPECT_EQ(item.multiEntry({"/apps/0", "/x/1"}, -1, std::nullopt, alerts), 1);
    EXPECT_EQ(alerts.requests().back().title, "This item is already on the list\n0\n");
    expectCounted(item, 255);
    EXPECT_EQ(HotKeyItem::checkItemCount(255, kRetry, alerts), 1);
    EXPECT_EQ(alerts.requests().size(), 3u);
}

TEST(HotKeyItemSelfVerify, KeepsVanishedPathsForTheUserToRemove) {
    test::TempWorld world;
    const QString a = QString::fromStdString(world.writeFile("items/A.txt", "a"));
    const QString b = QString::fromStdString(world.writeFile("items/B", ""));
    const QString c = QString::fromStdString(world.path("items/Folder"));
    std::filesystem::create_directories(c.toStdString());

    HotKeyItem item(keyRec(kCommandBit, 0));
    item.setItemPaths({a, b, c});
    std::filesystem::remove(b.toStdString());
    EXPECT_TRUE(item.selfVerify());
    EXPECT_EQ(item.itemPaths(), QStringList({a, b, c}));
    expectCounted(item, 3);

    std::filesystem::remove(a.toStdString());
    std::filesystem::remove(c.toStdString());
    EXPECT_TRUE(item.selfVerify());
    expectCounted(item, 3);
}

TEST(HotKeyItemSelfVerify, FailingBaseCheckLeavesThePathsAlone) {
    HotKeyRec rec = keyRec(kCommandBit, 0);
    rec.eventType = 0;
    HotKeyItem item(rec);
    item.setItemPaths({"/no/such/path/at/all"});
    EXPECT_FALSE(item.selfVerify());
    EXPECT_EQ(item.itemPaths(), QStringList({"/no/such/path/at/all"}));
}

class HotKeyItemMultiEntry : public ::testing::Test {
protected:
    HotKeyItemMultiEntry() { item.setItemPaths({"/d/A"}); }
    HotKeyItem item;
    ScriptedAlerts alerts;
};

TEST_F(HotKeyItemMultiEntry, ReportsListedAndNewNamesThenAppendsOnOk) {
    alerts.answer("OK");
    EXPECT_EQ(item.multiEntry({"/d/A", "/d/B", "/e/%1 100%.txt"}, -1, kRetry, alerts), 1);
    EXPECT_EQ(item.itemPaths(), QStringList({"/d/A", "/d/B", "/e/%1 100%.txt"}));
    expectCounted(item, 3);

    ASSERT_EQ(alerts.requests().size(), 1u);
    const AlertRequest& shown = alerts.requests()[0];
    EXPECT_EQ(shown.style, AlertStyle::Informational);
    EXPECT_EQ(shown.title, "This item is already on the list\nA\n");
    EXPECT_EQ(shown.message, "These items will be added\nB\n%1 100%.txt\n");
    EXPECT_EQ(shown.buttons, QStringList({"OK", "Cancel", kRetry}));
}

TEST_F(HotKeyItemMultiEntry, SingularAndPluralTexts) {
    item.setItemPaths({"/d/A", "/d/X"});
    alerts.answer("OK");
    EXPECT_EQ(item.multiEntry({"/d/A", "/d/X", "/d/B"}, -1, std::nullopt, alerts), 1);
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, "These items are already on the list\nA\nX\n");
    EXPECT_EQ(alerts.requests()[0].message, "This item will be added\nB\n");
    EXPECT_EQ(alerts.requests()[0].buttons, QStringList({"OK", "Cancel"}));
}

TEST_F(HotKeyItemMultiEntry, OnlyListedPathsShowAnEmptyMessageAndAddNothing) {
    alerts.answer("OK");
    EXPECT_EQ(item.multiEntry({"/d/A"}, -1, kRetry, alerts), 1);
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].message, "");
    EXPECT_EQ(item.itemPaths(), QStringList({"/d/A"}));
}

TEST_F(HotKeyItemMultiEntry, CancelAndRetryLeaveTheListUnchanged) {
    alerts.answer("Cancel");
    EXPECT_EQ(item.multiEntry({"/d/A", "/d/B"}, -1, kRetry, alerts), 0);
    alerts.answer(kRetry);
    EXPECT_EQ(item.multiEntry({"/d/A", "/d/B"}, -1, kRetry, alerts), -1);
    EXPECT_EQ(item.itemPaths(), QStringList({"/d/A"}));
    expectCounted(item, 1);
}

TEST_F(HotKeyItemMultiEntry, WithoutListedPathsAddsSilently) {
    EXPECT_EQ(item.multiEntry({"/d/B", "/d/C"}, -1, kRetry, alerts), 1);
    EXPECT_TRUE(alerts.requests().empty());
    EXPECT_EQ(item.itemPaths(), QStringList({"/d/A", "/d/B", "/d/C"}));
}

TEST_F(HotKeyItemMultiEntry, APathGivenTwiceInOneSetCountsOnce) {
    EXPECT_EQ(item.multiEntry({"/d/B", "/d/C", "/d/B"}, -1, kRetry, alerts), 1);
    EXPECT_TRUE(alerts.requests().empty());
    EXPECT_EQ(item.itemPaths(), QStringList({"/d/A", "/d/B", "/d/C"}));

    alerts.answer("OK");
    EXPECT_EQ(item.multiEntry({"/d/A", "/d/D", "/d/A", "/d/D"}, 0, kRetry, alerts), 1);
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, "This item is already on the list\nA\n");
    EXPECT_EQ(alerts.requests()[0].message, "This item will be added\nD\n");
    EXPECT_EQ(item.itemPaths(), QStringList({"/d/D", "/d/A", "/d/B", "/d/C"}));
    expectCounted(item, 4);
}

TEST_F(HotKeyItemMultiEntry, ARowInsertsEachPathThereSoTheyEndUpReversed) {
    EXPECT_EQ(item.multiEntry({"/d/B", "/d/C"}, 0, kRetry, alerts), 1);
    EXPECT_EQ(item.itemPaths(), QStringList({"/d/C", "/d/B", "/d/A"}));
    EXPECT_EQ(item.multiEntry({"/d/Z"}, 10, kRetry, alerts), 1);
    EXPECT_EQ(item.itemPaths().last(), "/d/Z");
}

TEST(ItemPathName, TheNameFollowsThePathUntilSetOnItsOwn) {
    ItemPathName entry("/Users/me/Report.pdf");
    EXPECT_EQ(entry.itemName(), "Report.pdf");
    entry.setItemPath("/Volumes/Disk/Folder/");
    EXPECT_EQ(entry.itemName(), "Folder");
    entry.setItemName("Shown");
    EXPECT_EQ(entry.itemPath(), "/Volumes/Disk/Folder/");
    EXPECT_EQ(entry.itemName(), "Shown");

    ItemPathName empty;
    EXPECT_TRUE(empty.itemPath().isEmpty());
    EXPECT_TRUE(empty.itemName().isEmpty());
}

TEST(ItemPathName, LastPathComponentOfOddPaths) {
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent("//"), "/");
    EXPECT_EQ(lastPathComponent(""), "");
    EXPECT_EQ(lastPathComponent("plain"), "plain");
    EXPECT_EQ(lastPathComponent("/a//b//"), "b");
}

} // namespace
} // namespace presto
