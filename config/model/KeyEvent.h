#pragma once

#include <QString>
#include <cstdint>

namespace presto {

// A key-down event as the model reads it, in the Mac terms that records hold. The front end
// fills it from its toolkit's event through the shared key-code table.
struct KeyEvent {
    std::uint32_t modifierFlags = 0; // Mac modifier bits, device-dependent ones included
    QString characters;              // with the modifiers applied
    QString charactersIgnoringModifiers;
    std::uint16_t keyCode = 0; // Mac virtual key code
};

} // namespace presto
