#include "config/ui/KeysStatus.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace presto {

namespace {

std::optional<KeysStatus::Problem> problemNamed(const QByteArray& word) {
    using Problem = KeysStatus::Problem;
    static const std::pair<const char*, Problem> kWords[] = {
        {"held", Problem::Held},
        {"no-key", Problem::NoKey},
        {"no-modifier", Problem::NoModifier},
        {"unexpressible", Problem::Unexpressible},
        {"refused", Problem::Refused},
        {"unconfirmed", Problem::Unconfirmed},
        {"unoffered", Problem::Unoffered},
    };
    for (const auto& [name, problem] : kWords) {
        if (word == name)
            return problem;
    }
    return std::nullopt;
}

} // namespace

KeysStatus::KeysStatus(QString statusPath, QObject* parent)
    : QObject(parent), path_(std::move(statusPath)) {
    // The agent replaces the file by a rename, which a watch on the file itself would lose.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchFolders();
        reload();
    });
    watchFolders();
    reload();
}

void KeysStatus::watchFolders() {
    // The agent makes its folder when it first starts; until then its parent is watched.
    const QString folder = QFileInfo(path_).path();
    const QString parent = QFileInfo(folder).path();
    const bool folderExists = QFileInfo(folder).isDir();
    const QStringList watched = watcher_.directories();
    if (folderExists && !watched.contains(folder))
        watcher_.addPath(folder);
    if (!folderExists && !watched.contains(parent) && QFileInfo(parent).isDir())
        watcher_.addPath(parent);
    if (folderExists && watched.contains(parent))
        watcher_.removePath(parent);
}

void KeysStatus::reload() {
    std::vector<Entry> entries;
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.startsWith("key="))
                continue;
            const QList<QByteArray> words = line.mid(4).simplified().split(' ');
            if (words.size() < 3)
                continue;
            bool keyOk = false;
            bool flagsOk = false;
            const uint keyCode = words[0].toUInt(&keyOk);
            const uint modFlags = words[1].toUInt(&flagsOk);
            const auto problem = problemNamed(words[2]);
            if (keyOk && flagsOk && problem)
                entries.push_back({keyCode, clearIgnoredModFlags(modFlags), *problem});
        }
    }
    const auto same = [](const Entry& a, const Entry& b) {
        return a.keyCode == b.keyCode && a.modFlags == b.modFlags && a.problem == b.problem;
    };
    if (std::equal(entries.begin(), entries.end(), entries_.begin(), entries_.end(), same))
        return;
    entries_ = std::move(entries);
    emit changed();
}

std::optional<KeysStatus::Problem> KeysStatus::problemOf(const HotKeyRec& rec) const {
    for (const Entry& entry : entries_) {
        if (entry.keyCode == rec.keyCode && entry.modFlags == clearIgnoredModFlags(rec.modFlags))
            return entry.problem;
    }
    return std::nullopt;
}

QString KeysStatus::describe(Problem problem, const QString& keyName) {
    const auto tr = [](const char* text) {
        return QCoreApplication::translate("KeysStatus", text);
    };
    switch (problem) {
    case Problem::Held:
        return tr("%1 is taken by another program").arg(keyName);
    case Problem::NoKey:
        return tr("%1 does not work: this keyboard has no such key").arg(keyName);
    case Problem::NoModifier:
        return tr("%1 does not work: no key of this keyboard gives its modifiers").arg(keyName);
    case Problem::Unexpressible:
        return tr("%1 does not work: the desktop cannot bind this combination").arg(keyName);
    case Problem::Refused:
        return tr("%1 does not work: the desktop refused it").arg(keyName);
    case Problem::Unconfirmed:
        return tr("%1 waits for you to allow it in the desktop's settings").arg(keyName);
    case Problem::Unoffered:
        return tr("%1 does not work: this desktop lets no program set hot keys").arg(keyName);
    }
    return {};
}

} // namespace presto
