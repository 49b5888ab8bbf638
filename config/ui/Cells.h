#pragma once

#include <QStringList>
#include <QStyledItemDelegate>

class QPainter;

namespace presto {

class HotKey;

// Data roles the table models fill for the two cells.
inline constexpr int kHotKeyPartsRole = Qt::UserRole + 1;    // QStringList: the six display parts
inline constexpr int kOtherItemCountRole = Qt::UserRole + 2; // int: further paths of the row

// The six display parts of a hot key, Command, Option, Control, Shift, Caps Lock and key, in the
// order the cell draws them.
QStringList hotKeyParts(const HotKey& hotKey);
// What a column of hot keys answers in the role: the parts for the cell, the combination as text,
// and its Linux name as the tooltip.
QVariant hotKeyData(const HotKey& hotKey, int role);
// The combination as Linux desktops write it: "Ctrl+Alt+G", "Super+F5", "Shift+Esc".
QString linuxKeyName(const HotKey& hotKey);

// Draws a key label. The control pictures among the labels (U+241B for Esc, U+2420 for Space)
// are in none of the fonts a stock desktop has, so they are drawn here as the symbol shows them:
// the letters of the name, small, on a diagonal.
void drawKeyLabel(QPainter* painter, const QRect& rect, Qt::Alignment alignment,
                  const QString& label);
bool isDrawnGlyph(const QString& label);

// A cell that draws its own content over the style's row background and selection.
class PlainCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    QStyleOptionViewItem drawBackground(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const;
};

// Draws a hot key as its six parts in fixed 20 x 20 slots, 24 apart from x + 4 and centred
// vertically in the row, so the same modifier always stands in the same column whatever else is
// held. A longer label such as "F10" is cut at its slot rather than pushing the others.
class HotKeyCell : public PlainCell {
public:
    using PlainCell::PlainCell;

    static constexpr int kSlotSize = 20;
    static constexpr int kSlotPitch = 24;
    static constexpr int kLeftMargin = 4;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QRect slotRect(const QRect& frame, int slot);
};

// Draws a 16 x 16 icon at x + 4, the name after it and, for a launch hot key with further paths,
// the badge "+ n" at the right edge, 8 points per character wide, drawn over a long name; all
// three centred vertically in the row.
class ItemCell : public PlainCell {
public:
    using PlainCell::PlainCell;

    static constexpr int kIconSize = 16;
    static constexpr int kMargin = 4;
    static constexpr int kBadgeCharWidth = 8;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

} // namespace presto
