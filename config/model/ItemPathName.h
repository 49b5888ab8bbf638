#pragma once

#include <QString>

namespace presto {

// The last component of a POSIX path: "/a/b.txt" gives "b.txt", "/a/b/" gives "b", "/" gives "/".
QString lastPathComponent(const QString& path);

// A path with the name shown for it; a row of the capture panel and the sub-item drawer.
class ItemPathName {
public:
    ItemPathName() = default;
    explicit ItemPathName(const QString& path);

    const QString& itemPath() const { return itemPath_; }
    // Also renames the item after the path's last component.
    void setItemPath(const QString& path);
    const QString& itemName() const { return itemName_; }
    void setItemName(const QString& name) { itemName_ = name; }

private:
    QString itemPath_;
    QString itemName_;
};

} // namespace presto
