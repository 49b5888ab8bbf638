#include "config/model/ItemPathName.h"

namespace presto {

QString lastPathComponent(const QString& path) {
    qsizetype end = path.size();
    if (end == 0)
        return QString();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    if (end == 1 && path.at(0) == u'/')
        return QStringLiteral("/");
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

ItemPathName::ItemPathName(const QString& path) {
    setItemPath(path);
}

void ItemPathName::setItemPath(const QString& path) {
    itemPath_ = path;
    itemName_ = lastPathComponent(path);
}

} // namespace presto
