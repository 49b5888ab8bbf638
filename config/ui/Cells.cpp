#include "config/ui/Cells.h"

#include "common/KeyName.h"
#include "config/model/HotKey.h"
#include "config/ui/KeysStatus.h"

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
    QStringList parts;
    for (const std::string& part : linuxKeyParts(hotKey.hotKeyRec()))
        parts.append(QString::fromStdString(part));
    return parts;
}

QString linuxKeyName(const HotKey& hotKey) {
    return QString::fromStdString(presto::linuxKeyName(hotKey.hotKeyRec()));
}

QVariant hotKeyData(const HotKey& hotKey, int role, const KeysStatus* status) {
    if (role == kHotKeyPartsRole)
        return hotKeyParts(hotKey);
    if (role == Qt::DisplayRole)
        return linuxKeyName(hotKey);
    if (role == kKeyProblemRole || role == Qt::ToolTipRole) {
        const QString name = linuxKeyName(hotKey);
        const auto problem =
            status && !name.isEmpty() ? status->problemOf(hotKey.hotKeyRec()) : std::nullopt;
        if (problem)
            return KeysStatus::describe(*problem, name);
        if (role == Qt::ToolTipRole && !name.isEmpty())
            return name;
    }
    return {};
}

QIcon warningIcon() {
    return QIcon::fromTheme(QStringLiteral("dialog-warning"),
                            QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
}

QRect HotKeyCell::markRect(const QRect& frame) {
    return QRect(frame.right() + 1 - kLeftMargin - kMarkSize,
                 frame.y() + (frame.height() - kMarkSize) / 2, kMarkSize, kMarkSize);
}

int HotKeyCell::columnWidth(const QFont& font) {
    // A long combination that is still a common one: Ctrl+Alt+Shift+Page Down.
    HotKeyRec sample;
    sample.eventType = kKeyDownEventType;
    sample.modFlags = kControlBit | kOptionBit | kShiftBit;
    sample.keyCode = 0x79;
    const int text =
        QFontMetrics(font).horizontalAdvance(QString::fromStdString(presto::linuxKeyName(sample)));
    return kLeftMargin + text + kLeftMargin + kMarkSize + kLeftMargin;
}

void HotKeyCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    painter->save();
    const QStyleOptionViewItem opt = drawBackground(painter, option, index);
    setTextPen(painter, opt);
    QStringList parts = index.data(kHotKeyPartsRole).toStringList();
    parts.removeAll(QString());
    const QRect frame = option.rect;
    const bool marked = !index.data(kKeyProblemRole).toString().isEmpty();
    int right = frame.right() + 1 - kLeftMargin;
    if (marked) {
        const QRect mark = markRect(frame);
        warningIcon().paint(painter, mark);
        right = mark.left() - kLeftMargin;
    }
    const QRect textRect(frame.x() + kLeftMargin, frame.y(), right - frame.x() - kLeftMargin,
                         frame.height());
    if (!parts.isEmpty() && textRect.width() > 0) {
        const QString text = QFontMetrics(painter->font())
                                 .elidedText(parts.join(u'+'), Qt::ElideRight, textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    painter->restore();
}

QSize HotKeyCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QSize base = QStyledItemDelegate::sizeHint(option, index);
    return QSize(columnWidth(option.font), std::max(base.height(), kMarkSize));
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
