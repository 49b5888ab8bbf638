#pragma once

#include "config/model/KeyEvent.h"

#include <QString>
#include <Qt>
#include <optional>

class QKeyEvent;

namespace presto {

// A key press as the toolkit reports it, reduced to the raw values the translation needs, so a
// test can make any press without a real keyboard.
struct NativeKeyPress {
    quint32 scanCode = 0;        // X key code: the evdev code + 8 (xcb and Wayland alike)
    quint32 nativeModifiers = 0; // X modifier state; its Lock bit is Caps Lock
    Qt::KeyboardModifiers modifiers;
    int key = 0; // Qt::Key with the Shift level applied
    QString text;
};

inline constexpr quint32 kXLockMask = 0x02;
inline constexpr quint32 kXMod2NumLockMask = 0x10;

// The press in the Mac terms that records hold, through the shared key-code table. None for a
// key the table does not know and for a modifier key pressed alone, which a Mac reports as a
// change of flags rather than as a key press.
std::optional<KeyEvent> keyEventFromPress(const NativeKeyPress& press);
std::optional<KeyEvent> keyEventFromQt(const QKeyEvent& event);

} // namespace presto
