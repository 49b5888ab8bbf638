#include "config/ui/PathPresence.h"

#include <QFileInfo>

namespace presto {

namespace {

bool isAbsent(const QString& path) {
    return !QFileInfo::exists(path);
}

// The folder whose changes tell that the path came or went: its own folder, or the closest one
// above it that still exists.
QString watchedFolderOf(const QString& path) {
    QString folder = QFileInfo(path).path();
    while (!QFileInfo(folder).isDir() && folder != QFileInfo(folder).path())
        folder = QFileInfo(folder).path();
    return folder;
}

} // namespace

PathPresence::PathPresence(QObject* parent) : QObject(parent) {
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { recheck(); });
}

void PathPresence::watch(const QStringList& paths) {
    paths_ = paths;
    paths_.removeDuplicates();
    recheck();
}

bool PathPresence::isMissing(const QString& path) const {
    return paths_.contains(path) ? missing_.contains(path) : isAbsent(path);
}

void PathPresence::recheck() {
    QSet<QString> missing;
    QSet<QString> folders;
    for (const QString& path : paths_) {
        if (isAbsent(path))
            missing.insert(path);
        folders.insert(watchedFolderOf(path));
    }
    // A folder that went away, or a missing path whose folder came back, moves the watch.
    const QStringList watched = watcher_.directories();
    for (const QString& folder : watched) {
        if (!folders.contains(folder))
            watcher_.removePath(folder);
    }
    for (const QString& folder : folders) {
        if (!watched.contains(folder))
            watcher_.addPath(folder);
    }
    if (missing == missing_)
        return;
    missing_ = std::move(missing);
    emit changed();
}

} // namespace presto
