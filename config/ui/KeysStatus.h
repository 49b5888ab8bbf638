#pragma once

#include "common/HotKeyRec.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <optional>
#include <vector>

namespace presto {

// The hot keys that the key-capture agent could not make work, as it last wrote them to its
// status file ("key=<keyCode> <modFlags> <reason>" lines), read again each time the agent
// replaces the file. Without the file no agent runs, and nothing is said of any hot key.
class KeysStatus : public QObject {
    Q_OBJECT

public:
    enum class Problem {
        Held,          // another program has the combination
        NoKey,         // the keyboard has no such key
        NoModifier,    // no modifier key of the keyboard gives one of its modifiers
        Unexpressible, // the desktop cannot be told the combination
        Refused,       // the desktop said no
        Unconfirmed,   // waits for the user to confirm it in the desktop's settings
        Unoffered,     // the key source cannot bind shortcuts at all
    };

    explicit KeysStatus(QString statusPath, QObject* parent = nullptr);

    // What is wrong with the hot key, matched by the hot key identity; none when it works or
    // nothing is known of it.
    std::optional<Problem> problemOf(const HotKeyRec& rec) const;
    // What the user reads of it: "Ctrl+Alt+T is taken by another program".
    static QString describe(Problem problem, const QString& keyName);

    // Reads the file again now; changed() follows when that changes what is known.
    void reload();

signals:
    void changed();

private:
    struct Entry {
        std::uint32_t keyCode;
        std::uint32_t modFlags;
        Problem problem;
    };

    void watchFolders();

    QString path_;
    QFileSystemWatcher watcher_;
    std::vector<Entry> entries_;
};

} // namespace presto
