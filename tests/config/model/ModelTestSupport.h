#pragma once

#include "common/HotKeyRec.h"
#include "config/model/DataStore.h"
#include "config/model/KeyEvent.h"
#include "tests/support/ScriptedAlerts.h"
#include "tests/support/TempWorld.h"

#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace presto::test {

inline QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

// A stored key-down record of one combination.
inline HotKeyRec keyRec(std::uint32_t modFlags, std::uint32_t keyCode, char kind = kKindLaunch,
                        std::uint32_t charCode = 0) {
    HotKeyRec rec;
    rec.eventType = kKeyDownEventType;
    rec.modFlags = modFlags;
    rec.keyCode = keyCode;
    rec.charCode = charCode;
    rec.charCodeIgMod = charCode;
    rec.kind = kind;
    return rec;
}

inline KeyEvent keyEvent(std::uint32_t flags, std::uint16_t keyCode, const QString& characters,
                         const QString& ignoringModifiers) {
    return KeyEvent{flags, characters, ignoringModifiers, keyCode};
}

// A data store in a temporary world of its own: no data file to load, no alert expected.
struct FreshStore {
    TempWorld world;
    ScriptedAlerts alerts;
    DataStore store{world.locations(), alerts};
};

} // namespace presto::test
