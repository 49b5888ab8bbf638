#pragma once

#include <QStringList>
#include <QStyledItemDelegate>

class QPainter;

namespace presto {

class HotKey;

class KeysStatus;

// Data roles the table models fill for the two cells.
inline constexpr int kHotKeyPartsRole = Qt::UserRole + 1;    // QStringList: the six display parts
inline constexpr int kOtherItemCountRole = Qt::UserRole + 2; // int: further paths of the row
inline constexpr int kKeyProblemRole = Qt::UserRole + 3;     // QString: why the key does not work

// The six parts of a hot key as Linux desktops write them, in the order they are written: Ctrl,
// Alt, Super, Shift, Caps Lock and the key; an empty string for a modifier not held.
QStringList hotKeyParts(const HotKey& hotKey);
// The combination as Linux desktops write it: "Ctrl+Alt+G", "Super+F5", "Shift+Esc".
QString linuxKeyName(const HotKey& hotKey);
// What a column of hot keys answers in the role: the parts for the cell, the name as text and,
// when the key-capture agent could not make the key work, why, as the mark and the tooltip.
// `status` may be null.
QVariant hotKeyData(const HotKey& hotKey, int role, const KeysStatus* status = nullptr);

// The desktop's warning icon, which marks rows that need the user's attention.
QIcon warningIcon();

// A cell that draws its own content over the style's row background and selection.
class PlainCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    QStyleOptionViewItem drawBackground(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const;
};

// Draws a hot key's parts from x + 4, joined by "+" as the desktops write shortcuts and centred
// vertically in the row, and a row whose key does not work gets the warning icon at the right
// edge. A name too long for the column ends in an ellipsis before the mark.
class HotKeyCell : public PlainCell {
public:
    using PlainCell::PlainCell;

    static constexpr int kLeftMargin = 4;
    static constexpr int kMarkSize = 16;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Wide enough for a long combination and the mark, in the font.
    static int columnWidth(const QFont& font);
    static QRect markRect(const QRect& frame);
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
