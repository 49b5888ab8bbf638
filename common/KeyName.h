#pragma once

#include "common/HotKeyRec.h"

#include <cstdint>
#include <string>
#include <vector>

// How a hot key is written to the user, as GNOME and KDE write shortcuts: "Ctrl+Alt+T",
// "Super+F5", "Ctrl+Shift+Page Up". Records keep the Mac key codes and modifier bits; this is
// the one place that turns them into the names a Linux user reads.
namespace presto {

// Where each part stands in linuxKeyParts: the modifiers in the order they are written, then
// the key.
enum LinuxKeyPart { CtrlPart, AltPart, SuperPart, ShiftPart, CapsLockPart, KeyPart, KeyPartCount };

// The six parts of a record, an empty string for a modifier it does not hold: "Ctrl", "Alt",
// "Super", "Shift", "Caps Lock", then linuxKeyLabel. All empty for a record of no key press.
std::vector<std::string> linuxKeyParts(const HotKeyRec& rec);
// The key alone: the character it types, upper-cased ("T", "Ö", "!"), or the name of a key that
// types none ("F5", "Return", "Keypad 5"); for a key whose character is not known, the key that
// stands there on a US keyboard. Empty when the record names no key that can be written.
std::string linuxKeyLabel(const HotKeyRec& rec);
// The parts it holds joined by "+"; empty when the key has no label.
std::string linuxKeyName(const HotKeyRec& rec);

} // namespace presto
