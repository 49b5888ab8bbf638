#pragma once

#include "config/model/HotKey.h"

#include <memory>
#include <vector>

namespace presto {

// A hot key that puts a saved clipboard snapshot back. The snapshot's title is its file name,
// which keeps titles unique; whoever sets pbDataPath sets pbTitle to its last component.
class HotKeyPbItem : public HotKey {
public:
    HotKeyPbItem() = default;
    explicit HotKeyPbItem(const HotKeyRec& rec) : HotKey(rec) {}

    const QString& pbDataPath() const { return pbDataPath_; }
    void setPbDataPath(const QString& path) { pbDataPath_ = path; }
    const QString& pbTitle() const { return pbTitle_; }
    void setPbTitle(const QString& title) { pbTitle_ = title; }
    // The snapshot file's name.
    QString pbDataName() const;

private:
    QString pbDataPath_;
    QString pbTitle_;
};

using HotKeyPbItemList = std::vector<std::unique_ptr<HotKeyPbItem>>;

} // namespace presto
