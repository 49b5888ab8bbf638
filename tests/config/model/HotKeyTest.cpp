#include "config/model/HotKey.h"

#include "ModelTestSupport.h"
#include "config/model/UtfString.h"

#include <gtest/gtest.h>
#include <set>

namespace presto {
namespace {

using test::keyEvent;
using test::keyRec;
using test::utf8;

const QString kCmd = utf8("\u2318");
const QString kOpt = utf8("\u2325");
const QString kCtr = utf8("\u2303");
const QString kSft = utf8("\u21E7");
const QString kCap = utf8("\u21EA");

HotKey fromEvent(const KeyEvent& event) {
    HotKey hotKey;
    hotKey.setEvent(event);
    return hotKey;
}

QString keyLabel(std::uint16_t keyCode, const QString& characters) {
    return fromEvent(keyEvent(0, keyCode, characters, characters)).keyString();
}

TEST(HotKeyFromEvent, CommandShiftAKeepsUpperBitsAndShowsTwoGlyphsAndA) {
    HotKey hotKey =
        fromEvent(keyEvent(kCommandBit | kShiftBit | 0x01000000 | 0x0000010A, 0, "A", "a"));
    EXPECT_EQ(hotKey.eventType(), 10u);
    EXPECT_EQ(hotKey.modFlags(), 0x01120000u);
    EXPECT_EQ(hotKey.keyCode(), 0u);
    EXPECT_EQ(hotKey.charCode(), std::uint32_t{'A'});
    EXPECT_EQ(hotKey.charCodeIgMod(), std::uint32_t{'a'});
    EXPECT_EQ(hotKey.kind(), kKindLaunch);
    EXPECT_EQ(hotKey.itemCount(), 0);
    EXPECT_EQ(hotKey.finderItemNo(), 0);
    EXPECT_EQ(hotKey.cmdString(), kCmd);
    EXPECT_EQ(hotKey.sftString(), kSft);
    EXPECT_EQ(hotKey.optString(), "");
    EXPECT_EQ(hotKey.ctrString(), "");
    EXPECT_EQ(hotKey.capString(), "");
    EXPECT_EQ(hotKey.keyString(), "A");
    EXPECT_EQ(hotKey.hotKey(), kCmd + "   " + kSft + "  A");
}

TEST(HotKeyFromEvent, NumericPadHelpAndFunctionBitsNeverReachModFlags) {
    HotKey plain = fromEvent(keyEvent(kControlBit, 122, "\uF704", "\uF704"));
    HotKey withFn = fromEvent(keyEvent(kControlBit | kFunctionBit, 122, "\uF704", "\uF704"));
    HotKey withAll = fromEvent(
        keyEvent(kControlBit | kFunctionBit | kNumericPadBit | kHelpBit | 0xFFFF, 122, "", ""));
    EXPECT_EQ(plain.modFlags(), kControlBit);
    EXPECT_EQ(withFn.modFlags(), plain.modFlags());
    EXPECT_EQ(withAll.modFlags(), plain.modFlags());
    EXPECT_EQ(plain.keyString(), "F1");
    EXPECT_EQ(withFn.keyString(), "F1");
    EXPECT_EQ(withFn.hotKey(), plain.hotKey());
}

TEST(HotKeyFromEvent, EmptyCharactersGiveCodeZeroEachOnItsOwn) {
    HotKey none = fromEvent(keyEvent(0, 0, "", ""));
    EXPECT_EQ(none.charCode(), 0u);
    EXPECT_EQ(none.charCodeIgMod(), 0u);
    EXPECT_EQ(none.keyString(), "");

    HotKey onlyIgnoring = fromEvent(keyEvent(kOptionBit, 7, "", "x"));
    EXPECT_EQ(onlyIgnoring.charCode(), 0u);
    EXPECT_EQ(onlyIgnoring.charCodeIgMod(), std::uint32_t{'x'});
    EXPECT_EQ(onlyIgnoring.keyString(), "X");

    // A special key needs no characters for its label.
    EXPECT_EQ(keyLabel(53, ""), utf8("\u241B"));
}

TEST(HotKeyFromEvent, TakesTheFirstUtf16UnitOfTheCharacters) {
    HotKey hotKey = fromEvent(keyEvent(0, 0, utf8("\U0001F600x"), utf8("\u00E9x")));
    EXPECT_EQ(hotKey.charCode(), 0xD83Du);
    EXPECT_EQ(hotKey.charCodeIgMod(), 0xE9u);
}

TEST(HotKeyDisplay, SpecialKeysShowTheirLabelWhateverTheCharacters) {
    EXPECT_EQ(keyLabel(36, "\r"), utf8("\u21A9"));
    EXPECT_EQ(keyLabel(36, "x"), utf8("\u21A9"));
    EXPECT_EQ(keyLabel(114, ""), "?");
    EXPECT_EQ(keyLabel(87, "5"), "[5]");
    EXPECT_EQ(keyLabel(23, "5"), "5");
    EXPECT_EQ(keyLabel(48, "\t"), utf8("\u21E5"));
}

TEST(HotKeyDisplay, OrdinaryKeysShowTheLowByteAsUpperCaseAscii) {
    EXPECT_EQ(keyLabel(0, "a"), "A");
    EXPECT_EQ(keyLabel(41, ";"), ";");
    EXPECT_EQ(keyLabel(8, utf8("\u0441")), "A"); // Cyrillic es: low byte 0x41
    EXPECT_EQ(keyLabel(8, utf8("\u00E9")), "");  // low byte beyond ASCII
    EXPECT_EQ(keyLabel(8, utf8("\u0100")), "");  // low byte 0
}

TEST(HotKeyDisplay, JoinsTheSixPartsInModifierOrder) {
    HotKey commandA = fromEvent(keyEvent(kCommandBit, 0, "a", "a"));
    EXPECT_EQ(commandA.hotKey(), kCmd + "     A");

    HotKey all = fromEvent(
        keyEvent(kCommandBit | kOptionBit | kControlBit | kShiftBit | kCapsLockBit, 49, " ", " "));
    EXPECT_EQ(all.hotKey(), QStringList({kCmd, kOpt, kCtr, kSft, kCap, utf8("\u2420")}).join(' '));
}

TEST(HotKeyDisplay, FieldSettersLeaveTheDisplayUntilSetHotKey) {
    HotKey hotKey = fromEvent(keyEvent(0, 0, "a", "a"));
    hotKey.setModFlags(kOptionBit);
    hotKey.setKeyCode(36);
    EXPECT_EQ(hotKey.optString(), "");
    EXPECT_EQ(hotKey.keyString(), "A");
    hotKey.setHotKey();
    EXPECT_EQ(hotKey.optString(), kOpt);
    EXPECT_EQ(hotKey.keyString(), utf8("\u21A9"));
}

TEST(HotKeyRecord, RoundTripsTheSameTwentyFourBytesWithFillerZero) {
    HotKeyRec rec{10, kCommandBit | kShiftBit | 0x02000000, 0x7E, 0xF700, 0x61, kKindGroup, 3, 24,
                  0};
    EXPECT_EQ(HotKey(rec).hotKeyRec().toBytes(), rec.toBytes());

    HotKeyRec withFiller = rec;
    withFiller.filler = 0x5A;
    EXPECT_EQ(HotKey(withFiller).hotKeyRec().toBytes(), rec.toBytes());
}

TEST(HotKeyRecord, FreshHotKeyHasEveryFieldAbsentAndAZeroRecord) {
    HotKey hotKey;
    EXPECT_FALSE(hotKey.eventType());
    EXPECT_FALSE(hotKey.modFlags());
    EXPECT_FALSE(hotKey.keyCode());
    EXPECT_FALSE(hotKey.charCode());
    EXPECT_FALSE(hotKey.charCodeIgMod());
    EXPECT_FALSE(hotKey.kind());
    EXPECT_FALSE(hotKey.itemCount());
    EXPECT_FALSE(hotKey.finderItemNo());
    EXPECT_EQ(hotKey.hotKeyRec(), HotKeyRec{});

    // A zero record is not the same as none: every field is then present.
    HotKey zero(HotKeyRec{});
    EXPECT_EQ(zero.finderItemNo(), 0);
    EXPECT_EQ(zero.eventType(), 0u);
}

TEST(HotKeyRecord, ItemCountByteFrom128ReadsNegativeButWritesBackTheSameByte) {
    HotKeyRec rec = keyRec(0, 0, kKindGroup);
    rec.itemCount = 200;
    HotKey hotKey(rec);
    EXPECT_EQ(hotKey.itemCount(), -56);
    EXPECT_EQ(hotKey.hotKeyRec().itemCount, 200);
}

TEST(HotKeySelfVerify, PassesOnlyKeyDownLaunchRecordsWithItems) {
    auto verify = [](std::uint32_t eventType, char kind, std::uint8_t itemCount) {
        HotKeyRec rec = keyRec(kCommandBit, 1, kind);
        rec.eventType = eventType;
        rec.itemCount = itemCount;
        HotKey hotKey(rec);
        return hotKey.selfVerify();
    };
    EXPECT_TRUE(verify(10, kKindGroup, 3));
    EXPECT_TRUE(verify(10, kKindLaunch, 1));
    EXPECT_FALSE(verify(10, kKindFinder, 0));
    EXPECT_FALSE(verify(10, kKindPasteboard, 1));
    EXPECT_FALSE(verify(10, kKindLaunch, 0));
    EXPECT_FALSE(verify(11, kKindLaunch, 1));
    HotKey fresh;
    EXPECT_FALSE(fresh.selfVerify());
}

TEST(UtfString, FortyNineSpecialKeysWithDistinctShortLabels) {
    UtfString table;
    EXPECT_EQ(table.maxCount(), 49);
    std::set<QString> labels;
    int found = 0;
    for (std::uint32_t code = 0; code < 0x10000; ++code) {
        if (auto label = table.srcUtfString(code)) {
            ++found;
            labels.insert(*label);
            EXPECT_LE(label->toUtf8().size(), 3) << code;
            EXPECT_FALSE(label->isEmpty()) << code;
        }
    }
    EXPECT_EQ(found, 49);
    EXPECT_EQ(labels.size(), 49u);

    EXPECT_EQ(table.srcUtfString(122), "F1");
    EXPECT_EQ(table.srcUtfString(113), "F15");
    EXPECT_EQ(table.srcUtfString(92), "[9]");
    EXPECT_EQ(table.srcUtfString(95), "[,]");
    EXPECT_EQ(table.srcUtfString(51), utf8("\u232B"));
    EXPECT_EQ(table.srcUtfString(117), utf8("\u2326"));
    EXPECT_FALSE(table.srcUtfString(0));
    EXPECT_FALSE(table.srcUtfString(90)); // between keypad 7 and 8
    EXPECT_FALSE(table.srcUtfString(0x10000 + 36));
}

} // namespace
} // namespace presto
