#include "config/ui/HeldKeyProbe.h"

#include "capture/Modifiers.h"
#include "common/KeyCodeTable.h"
#include "config/ui/KeysStatus.h"

#include <QGuiApplication>
#include <array>
#include <cstdlib>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace presto {

namespace {

constexpr std::uint32_t kXKeycodeOffset = 8;
constexpr int kModifierCount = 8;
constexpr int kKeysymColumns = 4;

class XGrabProbe : public HeldKeyProbe {
public:
    explicit XGrabProbe(xcb_connection_t* connection) : connection_(connection) {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        minKeycode_ = setup->min_keycode;
        maxKeycode_ = setup->max_keycode;
        root_ = xcb_setup_roots_iterator(setup).data->root;
    }

    bool isHeld(const HotKeyRec& rec) override {
        if (xcb_connection_has_error(connection_))
            return false;
        const auto evdev = evdevForMacKeyCode(static_cast<std::uint16_t>(rec.keyCode));
        if (!evdev || *evdev + kXKeycodeOffset < minKeycode_ ||
            *evdev + kXKeycodeOffset > maxKeycode_)
            return false;
        const auto keycode = static_cast<xcb_keycode_t>(*evdev + kXKeycodeOffset);
        // Every state the key-capture agent would grab: one taken is a hot key that fails
        // whenever that lock is on.
        bool held = false;
        for (std::uint16_t mask : grabMasksFor(rec.modFlags, modifierMasks())) {
            const xcb_void_cookie_t cookie = xcb_grab_key_checked(
                connection_, 1, root_, mask, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                held = error->error_code == XCB_ACCESS;
                std::free(error);
                if (held)
                    break;
                continue;
            }
            xcb_ungrab_key(connection_, keycode, root_, mask);
        }
        xcb_flush(connection_);
        return held;
    }

private:
    // Read each time: a keymap change moves Alt and Super between the modifier bits.
    ModifierMasks modifierMasks() {
        ModifierMasks masks;
        xcb_get_modifier_mapping_reply_t* reply = xcb_get_modifier_mapping_reply(
            connection_, xcb_get_modifier_mapping(connection_), nullptr);
        if (!reply)
            return masks;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        std::array<std::vector<std::uint32_t>, kModifierCount> keysyms;
        const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int mod = 0; symbols && mod < kModifierCount; ++mod) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t keycode = keycodes[mod * perModifier + i];
                for (int col = 0; keycode != 0 && col < kKeysymColumns; ++col) {
                    if (xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols, keycode, col))
                        keysyms[static_cast<std::size_t>(mod)].push_back(sym);
                }
            }
        }
        if (symbols)
            xcb_key_symbols_free(symbols);
        std::free(reply);
        return modifierMasksFor(keysyms);
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    std::uint32_t minKeycode_ = 8;
    std::uint32_t maxKeycode_ = 255;
};

class KeysStatusProbe : public HeldKeyProbe {
public:
    explicit KeysStatusProbe(const KeysStatus& status) : status_(status) {}

    bool isHeld(const HotKeyRec& rec) override {
        return status_.problemOf(rec) == KeysStatus::Problem::Held;
    }

private:
    const KeysStatus& status_;
};

} // namespace

std::unique_ptr<HeldKeyProbe> makeXGrabProbe() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    return std::make_unique<XGrabProbe>(x11->connection());
}

std::unique_ptr<HeldKeyProbe> makeKeysStatusProbe(const KeysStatus& status) {
    return std::make_unique<KeysStatusProbe>(status);
}

} // namespace presto
