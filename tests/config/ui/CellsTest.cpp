#include "config/ui/Cells.h"

#include "UiTestSupport.h"
#include "config/model/HotKey.h"

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <utility>

namespace presto {
namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 20;

// Draws one cell into a white image and tells where it put something dark.
class CellImage {
public:
    CellImage(const QStyledItemDelegate& cell, const std::function<void(QStandardItem&)>& fill,
              int height = kHeight)
        : image_(kWidth, height, QImage::Format_RGB32) {
        test::application();
        image_.fill(Qt::white);
        QStandardItemModel model;
        auto* item = new QStandardItem;
        fill(*item);
        model.appendRow(item);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, kWidth, height);
        option.palette.setColor(QPalette::Text, Qt::black);
        option.palette.setColor(QPalette::Base, Qt::white);
        option.state = QStyle::State_Enabled;
        QPainter painter(&image_);
        cell.paint(&painter, option, model.index(0, 0));
    }

    bool inked(int x0, int x1) const { return inkedRows(x0, x1).has_value(); }
    // The first and last rows with ink between the columns.
    std::optional<std::pair<int, int>> inkedRows(int x0, int x1) const {
        std::optional<std::pair<int, int>> rows;
        for (int y = 0; y < image_.height(); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x1, kWidth); ++x) {
                if (qGray(image_.pixel(x, y)) < 128) {
                    rows = std::pair(rows ? rows->first : y, y);
                    break;
                }
            }
        }
        return rows;
    }
    int firstInkedColumn() const {
        for (int x = 0; x < kWidth; ++x) {
            if (inked(x, x + 1))
                return x;
        }
        return -1;
    }

private:
    QImage image_;
};

std::function<void(QStandardItem&)> itemRow(const QString& text, const QIcon& icon = {},
                                            std::optional<int> otherItems = std::nullopt) {
    return [=](QStandardItem& item) {
        item.setText(text);
        if (!icon.isNull())
            item.setIcon(icon);
        if (otherItems)
            item.setData(*otherItems, kOtherItemCountRole);
    };
}

std::function<void(QStandardItem&)> hotKeyRow(const HotKey& hotKey) {
    const QStringList parts = hotKeyParts(hotKey);
    return [=](QStandardItem& item) { item.setData(parts, kHotKeyPartsRole); };
}

TEST(HotKeyCell, EachPartHasItsFixedSlotAndEmptyPartsLeaveTheirsBlank) {
    HotKey shiftTab(test::keyRec(kShiftBit, 0x30));
    const CellImage image(HotKeyCell{}, hotKeyRow(shiftTab));
    const auto slotInked = [&](int slot) {
        const QRect rect = HotKeyCell::slotRect(QRect(0, 0, kWidth, kHeight), slot);
        return image.inked(rect.left(), rect.right() + 1);
    };
    EXPECT_EQ(shiftTab.sftString(), QString::fromUtf8("\xE2\x87\xA7"));
    EXPECT_EQ(shiftTab.keyString(), QString::fromUtf8("\xE2\x87\xA5"));
    for (int slot : {0, 1, 2, 4})
        EXPECT_FALSE(slotInked(slot)) << "slot " << slot;
    EXPECT_TRUE(slotInked(3));
    EXPECT_TRUE(slotInked(5));
    // Slots stand 24 apart from x + 4, 20 wide: nothing is drawn in the gaps or beyond.
    EXPECT_FALSE(image.inked(0, 4));
    EXPECT_FALSE(image.inked(4 + 24 * 6, kWidth));
}

TEST(HotKeyCell, ALongKeyLabelStaysInItsSlot) {
    HotKey f10(test::keyRec(0, 0x6D));
    const CellImage image(HotKeyCell{}, hotKeyRow(f10));
    EXPECT_TRUE(image.inked(4 + 24 * 5, 4 + 24 * 5 + 20));
    EXPECT_FALSE(image.inked(4 + 24 * 5 + 20, kWidth));
}

TEST(ItemCell, TextStartsFourPointsInWithoutAnIconAndAfterItWithOne) {
    const CellImage bare(ItemCell{}, itemRow(QStringLiteral("IIII")));
    const int start = bare.firstInkedColumn();
    EXPECT_GE(start, 4);
    EXPECT_LE(start, 6);

    QPixmap square(32, 32);
    square.fill(Qt::black);
    const CellImage withIcon(ItemCell{}, itemRow(QStringLiteral("IIII"), QIcon(square)));
    // The icon, scaled to 16 x 16 at x + 4, then a gap of 4 before the text at x + 24.
    EXPECT_FALSE(withIcon.inked(0, 4));
    EXPECT_TRUE(withIcon.inked(4, 20));
    EXPECT_FALSE(withIcon.inked(20, 24));
    EXPECT_TRUE(withIcon.inked(24, 30));
}

TEST(ItemCell, TheBadgeCountsFurtherPathsAtTheRightEdge) {
    // "+ 2" is three characters, so 24 points wide against the right edge.
    const CellImage badge(ItemCell{}, itemRow(QStringLiteral("a"), {}, 2));
    EXPECT_TRUE(badge.inked(kWidth - 24, kWidth));
    EXPECT_FALSE(badge.inked(40, kWidth - 24));

    for (const std::optional<int> none : {std::optional<int>(0), std::optional<int>()}) {
        const CellImage plain(ItemCell{}, itemRow(QStringLiteral("a"), {}, none));
        EXPECT_FALSE(plain.inked(40, kWidth));
    }
}

TEST(CellsInATallRow, DrawOnOneLineThroughItsMiddle) {
    constexpr int kTallRow = 40;
    const auto middleOf = [](const CellImage& image, int x0, int x1) {
        const auto rows = image.inkedRows(x0, x1);
        return rows ? (rows->first + rows->second) / 2.0 : -1.0;
    };
    test::application();
    QPixmap square(32, 32);
    square.fill(Qt::black);
    const CellImage item(ItemCell{}, itemRow(QStringLiteral("IIII"), QIcon(square), 2), kTallRow);
    EXPECT_NEAR(middleOf(item, 4, 20), kTallRow / 2.0, 1.0);
    EXPECT_NEAR(middleOf(item, 24, 60), kTallRow / 2.0, 2.5);
    EXPECT_NEAR(middleOf(item, kWidth - 24, kWidth), kTallRow / 2.0, 2.5);

    const CellImage hotKey(HotKeyCell{}, hotKeyRow(HotKey(test::keyRec(kShiftBit, 0x6D))),
                           kTallRow);
    EXPECT_NEAR(middleOf(hotKey, 4 + 24 * 5, 4 + 24 * 6), kTallRow / 2.0, 2.5);
}

} // namespace
} // namespace presto
