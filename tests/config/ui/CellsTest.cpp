#include "config/ui/Cells.h"

#include "UiTestSupport.h"
#include "config/model/HotKey.h"

#include <QApplication>
#include <QFontMetrics>
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

int lastInkedColumn(const CellImage& image, int before) {
    for (int x = before - 1; x >= 0; --x) {
        if (image.inked(x, x + 1))
            return x;
    }
    return -1;
}

TEST(HotKeyCell, DrawsTheHeldPartsJoinedFromTheLeftMarginWithNoGapForTheOthers) {
    test::application();
    const HotKey superF5(test::keyRec(kCommandBit, 0x60));
    const CellImage image(HotKeyCell{}, hotKeyRow(superF5));
    const int start = image.firstInkedColumn();
    EXPECT_GE(start, 4);
    EXPECT_LE(start, 6);
    // As wide as the name set in one run: absent modifiers leave no slot behind.
    const int width = QFontMetrics(QApplication::font()).horizontalAdvance("Super+F5");
    EXPECT_NEAR(lastInkedColumn(image, kWidth), 4 + width, 3);
}

TEST(HotKeyCell, AKeyThatDoesNotWorkIsMarkedAtTheRightAndALongNameStopsBeforeIt) {
    test::application();
    HotKeyRec rec =
        test::keyRec(kControlBit | kOptionBit | kCommandBit | kShiftBit | kCapsLockBit, 0x4C);
    const QStringList parts = hotKeyParts(HotKey(rec));
    const QRect mark = HotKeyCell::markRect(QRect(0, 0, kWidth, kHeight));
    const CellImage plain(HotKeyCell{},
                          [&](QStandardItem& item) { item.setData(parts, kHotKeyPartsRole); });
    const CellImage marked(HotKeyCell{}, [&](QStandardItem& item) {
        item.setData(parts, kHotKeyPartsRole);
        item.setData(QStringLiteral("held"), kKeyProblemRole);
    });
    EXPECT_TRUE(marked.inked(mark.left(), mark.right() + 1));
    EXPECT_FALSE(marked.inked(mark.left() - 3, mark.left()));
    EXPECT_TRUE(plain.inked(mark.left() - 3, mark.left()));
    EXPECT_FALSE(plain.inked(kWidth - 3, kWidth));
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
    EXPECT_NEAR(middleOf(hotKey, 4, 60), kTallRow / 2.0, 2.5);
}

} // namespace
} // namespace presto
