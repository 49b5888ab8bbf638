#include "config/ui/KeyInput.h"

#include "common/KeyCodeTable.h"

#include <QKeyEvent>

namespace presto {

namespace {

constexpr quint32 kXKeyCodeOffset = 8;
// Command, Shift, Caps Lock, Option, Control and their right-hand twins.
constexpr std::uint16_t kFirstModifierKey = 0x36;
constexpr std::uint16_t kLastModifierKey = 0x3E;

// What a Mac answers for "characters ignoring modifiers": every modifier but Shift left out.
QString unmodifiedText(const NativeKeyPress& press, bool capsLock) {
    const int key = press.key;
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const bool upper = press.modifiers.testFlag(Qt::ShiftModifier) || capsLock;
        const QChar letter(static_cast<char16_t>(key));
        return upper ? QString(letter) : QString(letter.toLower());
    }
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        return QString(QChar(static_cast<char16_t>(key)));
    // Keys that type nothing printable are shown by their key code's label.
    return press.text;
}

} // namespace

std::optional<KeyEvent> keyEventFromPress(const NativeKeyPress& press) {
    if (press.scanCode < kXKeyCodeOffset)
        return std::nullopt;
    const std::optional<std::uint16_t> macCode =
        macKeyCodeForEvdev(press.scanCode - kXKeyCodeOffset);
    if (!macCode || (*macCode >= kFirstModifierKey && *macCode <= kLastModifierKey))
        return std::nullopt;

    ModifierState state;
    state.control = press.modifiers.testFlag(Qt::ControlModifier);
    state.alt = press.modifiers.testFlag(Qt::AltModifier);
    state.super = press.modifiers.testFlag(Qt::MetaModifier);
    state.shift = press.modifiers.testFlag(Qt::ShiftModifier);
    state.capsLock = (press.nativeModifiers & kXLockMask) != 0;
    state.numLock = (press.nativeModifiers & kXMod2NumLockMask) != 0;

    KeyEvent event;
    event.keyCode = *macCode;
    event.modifierFlags = macModifierFlags(state, *macCode);
    event.characters = press.text;
    event.charactersIgnoringModifiers = unmodifiedText(press, state.capsLock);
    return event;
}

std::optional<KeyEvent> keyEventFromQt(const QKeyEvent& event) {
    NativeKeyPress press;
    press.scanCode = event.nativeScanCode();
    press.nativeModifiers = event.nativeModifiers();
    press.modifiers = event.modifiers();
    press.key = event.key();
    press.text = event.text();
    return keyEventFromPress(press);
}

} // namespace presto
