#pragma once

#include "config/model/AlertPresenter.h"
#include "config/model/HotKey.h"

#include <QCoreApplication>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace presto {

// A hot key that launches one or more files, folders or applications. Every change of the path
// list recounts the record: itemCount is the number of paths, kind 'L' below two paths and 'G'
// from two on, itemPath the first path. A path stays in the list when its file goes away: only
// the user removes it (the data store keeps it saved, the tables mark it).
//
// The record counts its paths in one byte, so a list never holds more than kMaxItemPaths: an
// operation that would pass it changes nothing and answers false.
class HotKeyItem : public HotKey {
    Q_DECLARE_TR_FUNCTIONS(HotKeyItem)

public:
    static constexpr qsizetype kMaxItemPaths = 255;

    HotKeyItem() = default;
    // Takes the record as it is; the paths come afterwards.
    explicit HotKeyItem(const HotKeyRec& rec) : HotKey(rec) {}

    bool setItemPaths(const QStringList& paths);
    bool addItemPath(const QString& path);
    bool removeItemPath(qsizetype index);
    // Each path in turn goes to the same index, so several end up there in reverse order.
    bool insertItemPaths(const QStringList& paths, qsizetype index);
    void resetItemCount();

    const QStringList& itemPaths() const { return itemPaths_; }
    const std::optional<QString>& itemPath() const { return itemPath_; }
    void setItemPath(const std::optional<QString>& path) { itemPath_ = path; }
    std::optional<QString> itemPath(qsizetype index) const;
    std::optional<QString> itemName(qsizetype index) const;
    // Exact, case-sensitive comparison.
    bool checkItemPath(const QString& path) const;

    // A new launch hot key: the record, then the paths appended to the list. Once a path is
    // added, the record's own kind and itemCount give way to the recount.
    bool setHotKeyRecItems(const HotKeyRec& rec, const QStringList& paths);
    bool setHotKeyRecItem(const HotKeyRec& rec, const QString& path);
    bool setEventItems(const KeyEvent& event, const QStringList& paths);
    bool setEventItem(const KeyEvent& event, const QString& path);

    // Adds the paths not yet listed, after telling the user about those already listed; a path
    // given more than once counts once. A row of 0 or more inserts there, a negative row appends.
    // Answers 1 when the paths were added (or no dialog was needed), 0 on Cancel and -1 on the
    // retry button; only 1 changes the list.
    int multiEntry(const QStringList& paths, int row, const std::optional<QString>& retryButton,
                   AlertPresenter& alerts);

    // Whether a list of `count` paths fits in one record. When it does not, the user is told and
    // the answer is 0, or -1 when they chose the retry button; 1 when it fits.
    static int checkItemCount(qsizetype count, const std::optional<QString>& retryButton,
                              AlertPresenter& alerts);

private:
    bool fits(qsizetype added) const { return itemPaths_.size() + added <= kMaxItemPaths; }
    void pathsChanged();

    QStringList itemPaths_;
    std::optional<QString> itemPath_;
};

using HotKeyItemList = std::vector<std::unique_ptr<HotKeyItem>>;

} // namespace presto
