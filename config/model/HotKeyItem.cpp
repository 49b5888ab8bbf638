#include "config/model/HotKeyItem.h"

#include "config/model/ItemPathName.h"

#include <algorithm>

namespace presto {

bool HotKeyItem::setItemPaths(const QStringList& paths) {
    if (paths.size() > kMaxItemPaths)
        return false;
    itemPaths_ = paths;
    pathsChanged();
    return true;
}

bool HotKeyItem::addItemPath(const QString& path) {
    if (!fits(1))
        return false;
    itemPaths_.append(path);
    pathsChanged();
    return true;
}

bool HotKeyItem::removeItemPath(qsizetype index) {
    if (index < 0 || index >= itemPaths_.size())
        return false;
    itemPaths_.removeAt(index);
    pathsChanged();
    return true;
}

bool HotKeyItem::insertItemPaths(const QStringList& paths, qsizetype index) {
    if (index < 0 || index > itemPaths_.size() || !fits(paths.size()))
        return false;
    for (const QString& path : paths)
        itemPaths_.insert(index, path);
    pathsChanged();
    return true;
}

void HotKeyItem::resetItemCount() {
    const auto count = static_cast<int>(itemPaths_.size());
    setItemCount(count);
    setKind(count < 2 ? kKindLaunch : kKindGroup);
}

void HotKeyItem::pathsChanged() {
    resetItemCount();
    itemPath_ = itemPaths_.isEmpty() ? std::nullopt : std::optional<QString>(itemPaths_.first());
}

std::optional<QString> HotKeyItem::itemPath(qsizetype index) const {
    if (index < 0 || index >= itemPaths_.size())
        return std::nullopt;
    return itemPaths_.at(index);
}

std::optional<QString> HotKeyItem::itemName(qsizetype index) const {
    if (auto path = itemPath(index))
        return lastPathComponent(*path);
    return std::nullopt;
}

bool HotKeyItem::checkItemPath(const QString& path) const {
    return itemPaths_.contains(path, Qt::CaseSensitive);
}

bool HotKeyItem::setHotKeyRecItems(const HotKeyRec& rec, const QStringList& paths) {
    if (!fits(paths.size()))
        return false;
    setHotKeyRec(rec);
    for (const QString& path : paths)
        addItemPath(path);
    setHotKey();
    return true;
}

bool HotKeyItem::setHotKeyRecItem(const HotKeyRec& rec, const QString& path) {
    return setHotKeyRecItems(rec, QStringList{path});
}

bool HotKeyItem::setEventItems(const KeyEvent& event, const QStringList& paths) {
    if (!fits(paths.size()))
        return false;
    setEvent(event);
    for (const QString& path : paths)
        addItemPath(path);
    setHotKey();
    return true;
}

bool HotKeyItem::setEventItem(const KeyEvent& event, const QString& path) {
    return setEventItems(event, QStringList{path});
}

int HotKeyItem::checkItemCount(qsizetype count, const std::optional<QString>& retryButton,
                               AlertPresenter& alerts) {
    if (count <= kMaxItemPaths)
        return 1;
    AlertRequest request;
    request.style = AlertStyle::Critical;
    request.title = tr("Too many items");
    request.message = tr("A hot key can launch at most %1 items, and this would make it %2.")
                          .arg(kMaxItemPaths)
                          .arg(count);
    request.buttons = {tr("OK")};
    if (retryButton)
        request.buttons.append(*retryButton);
    return (alerts.run(request) == 1 && retryButton.has_value()) ? -1 : 0;
}

int HotKeyItem::multiEntry(const QStringList& paths, int row,
                           const std::optional<QString>& retryButton, AlertPresenter& alerts) {
    QStringList present;
    QStringList fresh;
    // A path dropped twice in one set is added, or reported, once.
    QStringList distinct = paths;
    distinct.removeDuplicates();
    for (const QString& path : distinct)
        (checkItemPath(path) ? present : fresh).append(path);

    // Before the duplicates are reported, so the user never confirms an addition that cannot be
    // stored.
    if (int fitting = checkItemCount(itemPaths_.size() + fresh.size(), retryButton, alerts);
        fitting != 1)
        return fitting;

    if (!present.isEmpty()) {
        // Names are appended, never used as a format: a "%" in a file name stays as it is.
        AlertRequest request;
        request.style = AlertStyle::Informational;
        request.title = (present.size() == 1 ? tr("This item is already on the list")
                                             : tr("These items are already on the list")) +
                        u'\n';
        for (const QString& path : present)
            request.title += lastPathComponent(path) + u'\n';
        if (!fresh.isEmpty()) {
            request.message = (fresh.size() == 1 ? tr("This item will be added")
                                                 : tr("These items will be added")) +
                              u'\n';
            for (const QString& path : fresh)
                request.message += lastPathComponent(path) + u'\n';
        }
        request.buttons = {tr("OK"), tr("Cancel")};
        if (retryButton)
            request.buttons.append(*retryButton);
        const int answer = alerts.run(request);
        if (answer == 2 && retryButton)
            return -1;
        if (answer != 0)
            return 0;
    }

    if (row < 0) {
        for (const QString& path : fresh)
            addItemPath(path);
    } else {
        // A row past the end appends rather than losing the paths the user just confirmed.
        insertItemPaths(fresh, std::min<qsizetype>(row, itemPaths_.size()));
    }
    return 1;
}

} // namespace presto
