#include "config/ui/Cells.h"

#include "config/model/HotKey.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace presto {

namespace {

void setTextPen(QPainter* painter, const QStyleOptionViewItem& option) {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
}

} // namespace

QStyleOptionViewItem PlainCell::drawBackground(QPainter* painter,
                                               const QStyleOptionViewItem& option,
                                               const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    opt.text.clear();
    opt.icon = QIcon();
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    opt.features &= ~QStyleOptionViewItem::HasDisplay;
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    return opt;
}

QStringList hotKeyParts(const HotKey& hotKey) {
    return {hotKey.cmdString(), hotKey.optString(), hotKey.ctrString(),
            hotKey.sftString(), hotKey.capString(), hotKey.keyString()};
}

QVariant hotKeyData(const HotKey& hotKey, int role) {
    if (role == kHotKeyPartsRole)
        return hotKeyParts(hotKey);
    if (role == Qt::DisplayRole)
        return hotKey.hotKey();
    if (role == Qt::ToolTipRole) {
        const QString name = linuxKeyName(hotKey);
        return name.isEmpty() ? QVariant() : QVariant(name);
    }
    return {};
}

namespace {

QString linuxKeyLabel(std::uint16_t macKeyCode, const QString& label) {
    switch (macKeyCode) {
    case 36:
        return QStringLiteral("Return");
    case 48:
        return QStringLiteral("Tab");
    case 49:
        return QStringLiteral("Space");
    case 51:
        return QStringLiteral("Backspace");
    case 53:
        return QStringLiteral("Esc");
    case 71:
        return QStringLiteral("Num Lock");
    case 76:
        return QStringLiteral("Keypad Enter");
    case 114:
        return QStringLiteral("Insert");
    case 115:
        return QStringLiteral("Home");
    case 116:
        return QStringLiteral("Page Up");
    case 117:
        return QStringLiteral("Delete");
    case 119:
        return QStringLiteral("End");
    case 121:
        return QStringLiteral("Page Down");
    case 123:
        return QStringLiteral("Left");
    case 124:
        return QStringLiteral("Right");
    case 125:
        return QStringLiteral("Down");
    case 126:
        return QStringLiteral("Up");
    default:
        break;
    }
    // Keypad labels read "[5]".
    if (label.size() == 3 && label.startsWith(u'[') && label.endsWith(u']'))
        return QStringLiteral("Keypad ") + label.mid(1, 1);
    return label;
}

} // namespace

QString linuxKeyName(const HotKey& hotKey) {
    const QString key =
        linuxKeyLabel(static_cast<std::uint16_t>(hotKey.keyCode().value_or(0)), hotKey.keyString());
    if (key.isEmpty())
        return {};
    QStringList parts;
    if (!hotKey.ctrString().isEmpty())
        parts << QStringLiteral("Ctrl");
    if (!hotKey.optString().isEmpty())
        parts << QStringLiteral("Alt");
    if (!hotKey.cmdString().isEmpty())
        parts << QStringLiteral("Super");
    if (!hotKey.sftString().isEmpty())
        parts << QStringLiteral("Shift");
    if (!hotKey.capString().isEmpty())
        parts << QStringLiteral("Caps Lock");
    parts << key;
    return parts.join(u'+');
}

bool isDrawnGlyph(const QString& label) {
    return label.size() == 1 && label.at(0).unicode() >= 0x2400 && label.at(0).unicode() <= 0x2426;
}

void drawKeyLabel(QPainter* painter, const QRect& rect, Qt::Alignment alignment,
                  const QString& label) {
    if (!isDrawnGlyph(label)) {
        painter->drawText(rect, static_cast<int>(alignment), label);
        return;
    }
    const QString letters = label.at(0).unicode() == 0x241B   ? QStringLiteral("ESC")
                            : label.at(0).unicode() == 0x2420 ? QStringLiteral("SP")
                                                              : QString();
    if (letters.isEmpty())
        return;
    // A square as tall as the font's line, placed by the alignment like text would be.
    const QFontMetrics metrics(painter->font());
    const int side = std::min(rect.height(), std::max(metrics.height(), 12));
    int left = rect.x();
    if (alignment & Qt::AlignHCenter)
        left = rect.x() + (rect.width() - side) / 2;
    else if (alignment & Qt::AlignRight)
        left = rect.right() + 1 - side;
    const QRect box(left, rect.y() + (rect.height() - side) / 2, side, side);
    QFont small = painter->font();
    small.setBold(true);
    painter->save();
    if (side < 28) {
        // Too small for a diagonal (a table cell): the letters in a row, as large as fit.
        int pixels = std::max(6, side / 2);
        small.setPixelSize(pixels);
        while (pixels > 6 && QFontMetrics(small).horizontalAdvance(letters) > rect.width()) {
            small.setPixelSize(--pixels);
        }
        painter->setFont(small);
        painter->drawText(rect, static_cast<int>(alignment), letters);
        painter->restore();
        return;
    }
    small.setPixelSize(std::max(8, side * 2 / 5));
    painter->setFont(small);
    const int n = static_cast<int>(letters.size());
    const int step = side / n;
    for (int i = 0; i < n; ++i) {
        const QRect cell(box.x() + i * (side - step) / std::max(1, n - 1), box.y() + i * step, step,
                         step);
        painter->drawText(cell.adjusted(-step / 2, 0, step / 2, 0), Qt::AlignCenter, letters.at(i));
    }
    painter->restore();
}

QRect HotKeyCell::slotRect(const QRect& frame, int slot) {
    // In the middle of a row taller than a slot, in line with the other columns.
    const int top = frame.y() + (frame.height() - kSlotSize) / 2;
    return QRect(frame.x() + kLeftMargin + kSlotPitch * slot, top, kSlotSize, kSlotSize);
}

void HotKeyCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    painter->save();
    const QStyleOptionViewItem opt = drawBackground(painter, option, index);
    setTextPen(painter, opt);
    const QStringList parts = index.data(kHotKeyPartsRole).toStringList();
    for (int slot = 0; slot < 6 && slot < parts.size(); ++slot) {
        if (parts.at(slot).isEmpty())
            continue;
        const QRect rect = slotRect(option.rect, slot);
        painter->save();
        painter->setClipRect(rect);
        drawKeyLabel(painter, rect, Qt::AlignLeft | Qt::AlignVCenter, parts.at(slot));
        painter->restore();
    }
    painter->restore();
}

QSize HotKeyCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QSize base = QStyledItemDelegate::sizeHint(option, index);
    return QSize(kLeftMargin + kSlotPitch * 6, std::max(base.height(), kSlotSize));
}

void ItemCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const {
    painter->save();
    const QStyleOptionViewItem opt = drawBackground(painter, option, index);
    const QRect frame = option.rect;

    // Icon, name and badge stand on one line through the middle of the row, as the other
    // columns' texts do, however tall the row is.
    int textStart = frame.x() + kMargin;
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull()) {
        const int iconTop = frame.y() + (frame.height() - kIconSize) / 2;
        icon.paint(painter, QRect(frame.x() + kMargin, iconTop, kIconSize, kIconSize));
        textStart += kIconSize + kMargin;
    }

    setTextPen(painter, opt);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        const QRect textRect(textStart, frame.y(), frame.right() + 1 - textStart, frame.height());
        painter->save();
        painter->setClipRect(textRect);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
        painter->restore();
    }

    const QVariant others = index.data(kOtherItemCountRole);
    bool ok = false;
    const int count = others.toInt(&ok);
    if (ok && count >= 1) {
        const QString badge = QStringLiteral("+ ") + QString::number(count);
        const int width = kBadgeCharWidth * static_cast<int>(badge.size());
        const QRect badgeRect(frame.right() + 1 - width, frame.y(), width, frame.height());
        painter->drawText(badgeRect, Qt::AlignLeft | Qt::AlignVCenter, badge);
    }
    painter->restore();
}

} // namespace presto
