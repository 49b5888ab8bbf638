#include "config/model/DataStore.h"

#include "config/model/HotKeyFinderFunctionData.h"
#include "config/model/ItemPathName.h"

#include <QFile>
#include <algorithm>
#include <utility>

namespace presto {

namespace {

// The launch and pasteboard lists share every operation.

template <typename T> bool validIndex(const std::vector<T>& list, qsizetype index) {
    return index >= 0 && index < static_cast<qsizetype>(list.size());
}

template <typename T> auto at(const std::vector<T>& list, qsizetype index) {
    return validIndex(list, index) ? list[static_cast<std::size_t>(index)].get() : nullptr;
}

template <typename T> void append(std::vector<T>& list, T element) {
    if (element)
        list.push_back(std::move(element));
}

template <typename T> bool insertAt(std::vector<T>& list, T element, qsizetype index) {
    if (!element || index < 0 || index > static_cast<qsizetype>(list.size()))
        return false;
    list.insert(list.begin() + index, std::move(element));
    return true;
}

template <typename T> bool removeAt(std::vector<T>& list, qsizetype index) {
    if (!validIndex(list, index))
        return false;
    list.erase(list.begin() + index);
    return true;
}

template <typename T> bool exchange(std::vector<T>& list, qsizetype a, qsizetype b) {
    if (!validIndex(list, a) || !validIndex(list, b))
        return false;
    std::swap(list[static_cast<std::size_t>(a)], list[static_cast<std::size_t>(b)]);
    return true;
}

template <typename T> bool replaceAt(std::vector<T>& list, T element, qsizetype index) {
    if (!element || !validIndex(list, index))
        return false;
    list[static_cast<std::size_t>(index)] = std::move(element);
    return true;
}

// Taking the element out first and inserting it one place earlier when it came from before the
// drop row is the same as inserting a copy at `to` and then removing the old one.
template <typename T> bool move(std::vector<T>& list, qsizetype from, qsizetype to) {
    if (!validIndex(list, from) || to < 0 || to > static_cast<qsizetype>(list.size()))
        return false;
    T element = std::move(list[static_cast<std::size_t>(from)]);
    list.erase(list.begin() + from);
    list.insert(list.begin() + (from < to ? to - 1 : to), std::move(element));
    return true;
}

bool sameKey(const HotKey& hotKey, std::uint32_t eventType, std::uint32_t modFlags,
             std::uint32_t keyCode) {
    return hotKey.eventType() == eventType && hotKey.modFlags() == modFlags &&
           hotKey.keyCode() == keyCode;
}

} // namespace

DataStore::DataStore(const Locations& locations, AlertPresenter& alerts)
    : alerts_(alerts), prefSocket_(locations.socketPath), references_(locations.referencesDir()),
      hotKeyFinderFunctions_(HotKeyFinderFunctionData().takeHotKeyFinderFunctions()),
      savePath_(QFile::decodeName(QByteArray::fromStdString(locations.dataFilePath()))),
      savePbDataDir_(QFile::decodeName(QByteArray::fromStdString(locations.pasteboardDir()))) {
    loadItemData();
}

void DataStore::addHotKeyItem(std::unique_ptr<HotKeyItem> item) {
    append(hotKeyItems_, std::move(item));
}

bool DataStore::insertHotKeyItem(std::unique_ptr<HotKeyItem> item, qsizetype index) {
    return insertAt(hotKeyItems_, std::move(item), index);
}

HotKeyItem* DataStore::hotKeyItem(qsizetype index) const {
    return at(hotKeyItems_, index);
}

bool DataStore::removeHotKeyItem(qsizetype index) {
    return removeAt(hotKeyItems_, index);
}

bool DataStore::exChangeItem(qsizetype index, qsizetype withIndex) {
    return exchange(hotKeyItems_, index, withIndex);
}

bool DataStore::replaceHotKeyItem(std::unique_ptr<HotKeyItem> item, qsizetype index) {
    return replaceAt(hotKeyItems_, std::move(item), index);
}

bool DataStore::moveItem(qsizetype from, qsizetype to) {
    return move(hotKeyItems_, from, to);
}

HotKeyFinderFunction* DataStore::hotKeyFinderFunction(qsizetype index) const {
    return at(hotKeyFinderFunctions_, index);
}

bool DataStore::replaceHotKeyFinderFunction(std::unique_ptr<HotKeyFinderFunction> function,
                                            qsizetype index) {
    return replaceAt(hotKeyFinderFunctions_, std::move(function), index);
}

void DataStore::addHotKeyPbItem(std::unique_ptr<HotKeyPbItem> item) {
    append(hotKeyPbItems_, std::move(item));
}

bool DataStore::insertHotKeyPbItem(std::unique_ptr<HotKeyPbItem> item, qsizetype index) {
    return insertAt(hotKeyPbItems_, std::move(item), index);
}

HotKeyPbItem* DataStore::hotKeyPbItem(qsizetype index) const {
    return at(hotKeyPbItems_, index);
}

bool DataStore::removeHotKeyPbItem(qsizetype index) {
    return removeAt(hotKeyPbItems_, index);
}

bool DataStore::removeHotKeyPbItemData(qsizetype index) {
    const HotKeyPbItem* item = hotKeyPbItem(index);
    if (!item)
        return false;
    QFile::remove(item->pbDataPath());
    return removeHotKeyPbItem(index);
}

bool DataStore::exChangeHotKeyPbItem(qsizetype index, qsizetype withIndex) {
    return exchange(hotKeyPbItems_, index, withIndex);
}

bool DataStore::replaceHotKeyPbItem(std::unique_ptr<HotKeyPbItem> item, qsizetype index) {
    return replaceAt(hotKeyPbItems_, std::move(item), index);
}

bool DataStore::moveHotKeyPbItem(qsizetype from, qsizetype to) {
    return move(hotKeyPbItems_, from, to);
}

int DataStore::isDupKey(std::uint32_t eventType, std::uint32_t modFlags,
                        std::uint32_t keyCode) const {
    for (std::size_t i = 0; i < hotKeyItems_.size(); ++i) {
        if (sameKey(*hotKeyItems_[i], eventType, modFlags, keyCode))
            return static_cast<int>(i);
    }
    for (std::size_t i = 0; i < hotKeyFinderFunctions_.size(); ++i) {
        const HotKeyFinderFunction& function = *hotKeyFinderFunctions_[i];
        if (function.finderItemNo() && sameKey(function, eventType, modFlags, keyCode))
            return 1000 + static_cast<int>(i);
    }
    for (std::size_t i = 0; i < hotKeyPbItems_.size(); ++i) {
        if (sameKey(*hotKeyPbItems_[i], eventType, modFlags, keyCode))
            return 2000 + static_cast<int>(i);
    }
    return -1;
}

int DataStore::isDupHotKeyRec(const HotKeyRec& rec) const {
    return isDupKey(kKeyDownEventType, rec.modFlags, rec.keyCode);
}

int DataStore::isDupHotKey(const HotKey& hotKey) const {
    return isDupKey(kKeyDownEventType, hotKey.modFlags().value_or(0), hotKey.keyCode().value_or(0));
}

int DataStore::isDupKeyEvent(const KeyEvent& event) const {
    return isDupKey(kKeyDownEventType, clearIgnoredModFlags(event.modifierFlags), event.keyCode);
}

bool DataStore::isDupItem(const QString& path) const {
    for (const auto& item : hotKeyItems_) {
        if (item->kind() != kKindLaunch)
            continue;
        const qsizetype count =
            std::min<qsizetype>(item->itemCount().value_or(0), item->itemPaths().size());
        for (qsizetype i = 0; i < count; ++i) {
            if (item->itemPaths().at(i) == path)
                return true;
        }
    }
    return false;
}

bool DataStore::isDupPbItem(const QString& title) const {
    for (const auto& item : hotKeyPbItems_) {
        if (item->pbDataName() == title)
            return true;
    }
    return false;
}

int DataStore::countHotKey() const {
    int count = static_cast<int>(hotKeyItems_.size() + hotKeyPbItems_.size());
    for (const auto& function : hotKeyFinderFunctions_) {
        if (function->finderItemNo().value_or(0) >= 1)
            ++count;
    }
    return count;
}

int DataStore::maxItemCount() const {
    int most = 0;
    for (const auto& item : hotKeyItems_)
        most = std::max(most, item->itemCount().value_or(0));
    return most;
}

} // namespace presto
