#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QStringList>

namespace presto {

// Which of a set of paths have nothing at them, kept up to date while files go and come back:
// the folders that hold them are watched, not the paths themselves, which may not exist.
class PathPresence : public QObject {
    Q_OBJECT

public:
    explicit PathPresence(QObject* parent = nullptr);

    // Replaces the set of paths looked after.
    void watch(const QStringList& paths);
    // As last seen; a path outside the set is looked at now.
    bool isMissing(const QString& path) const;

signals:
    // Some path went missing or came back.
    void changed();

private:
    void recheck();

    QFileSystemWatcher watcher_;
    QStringList paths_;
    QSet<QString> missing_;
};

} // namespace presto
