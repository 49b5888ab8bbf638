#pragma once

#include "capture/KeySource.h"
#include "capture/Modifiers.h"
#include "capture/SourceChoice.h"
#include "common/HotKeyRec.h"

#include <array>
#include <bitset>
#include <compare>
#include <cstdint>
#include <functional>
#include <set>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace presto {

// The agent's X connection: passive grabs of the hot keys on the root window by physical key, and
// turning the grabbed key presses into hot key records. Nothing but grabbed keys ever reaches it.
class XKeyboard : public KeySource {
public:
    // Connects to the named display, or $DISPLAY for null.
    XKeyboard(const char* displayName, Listener listener);
    ~XKeyboard() override;
    XKeyboard(const XKeyboard&) = delete;
    XKeyboard& operator=(const XKeyboard&) = delete;

    // False once the connection has failed or the server has gone.
    std::string name() const override { return name_; }
    // Through XWayland the grabs see only X11 windows; the name says so.
    void setName(std::string name) { name_ = std::move(name); }
    bool connected() const override;
    int fd() const override;

    // Grabs exactly these hot keys, releasing grabs of keys no longer among them, and reports each
    // one that cannot be grabbed.
    void setHotKeys(std::vector<HotKeyRec> hotKeys) override;
    // Tries again the grabs that another program held; they may have been let go since.
    void retryRefusedGrabs() override;
    // Handles every event received so far: a press of a grabbed key goes to onPress, a changed
    // keyboard or modifier mapping renews the grabs. Auto-repeated presses are dropped: a held key
    // repeats as release-press pairs that carry the same time.
    void dispatchEvents(const PressHandler& onPress) override;
    void flush() override;

    const ModifierMasks& modifierMasks() const { return masks_; }

private:
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t mask;
        auto operator<=>(const Grab&) const = default;
    };

    void loadModifierMasks();
    void renewGrabs(bool isRetry);
    // The table also holds this hot key with Caps Lock; it then takes the presses under Caps Lock.
    bool hasCapsLockTwin(const HotKeyRec& rec) const;
    HotKeyRec recordForPress(std::uint8_t keycode, std::uint16_t state);

    xcb_connection_t* connection_ = nullptr;
    _XCBKeySymbols* keysyms_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t minKeycode_ = 8;
    std::uint8_t maxKeycode_ = 255;
    ModifierMasks masks_;
    Listener listener_;
    std::string name_ = sourceTitle(SourceKind::X11);
    std::vector<HotKeyRec> hotKeys_;
    std::set<Grab> held_;
    std::set<std::size_t> refused_; // hot keys of which a grab was refused at the last attempt
    std::set<std::size_t> told_;    // hot keys of this table told as not working
    int grabbed_ = 0;
    std::array<std::uint32_t, 256> releasedAt_{};
    std::bitset<256> released_;
};

} // namespace presto
