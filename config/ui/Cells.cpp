#include "config/ui/Cells.h"

#include "config/model/HotKey.h"

#include <QApplication>
#include <QPainter>

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
    return {};
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
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, parts.at(slot));
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
