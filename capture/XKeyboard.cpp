#include "capture/XKeyboard.h"

#include "capture/KeyText.h"
#include "common/KeyCodeTable.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace presto {
namespace {

constexpr std::uint32_t kXKeycodeOffset = 8; // X key code = evdev code + 8
constexpr int kModifierCount = 8;
constexpr int kKeysymColumns = 4;

} // namespace

XKeyboard::XKeyboard(const char* displayName, Listener listener) : listener_(std::move(listener)) {
    int screenNumber = 0;
    connection_ = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(connection_))
        return;
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    minKeycode_ = setup->min_keycode;
    maxKeycode_ = setup->max_keycode;
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    root_ = screens.data->root;
    keysyms_ = xcb_key_symbols_alloc(connection_);
    loadModifierMasks();
}

XKeyboard::~XKeyboard() {
    if (connected() && !held_.empty()) {
        xcb_ungrab_key(connection_, XCB_GRAB_ANY, root_, XCB_MOD_MASK_ANY);
        xcb_flush(connection_);
    }
    if (keysyms_)
        xcb_key_symbols_free(keysyms_);
    xcb_disconnect(connection_);
}

bool XKeyboard::connected() const {
    return xcb_connection_has_error(connection_) == 0;
}

int XKeyboard::fd() const {
    return xcb_get_file_descriptor(connection_);
}

void XKeyboard::flush() {
    xcb_flush(connection_);
}

void XKeyboard::loadModifierMasks() {
    auto* reply =
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr);
    if (!reply)
        return;
    std::array<std::vector<std::uint32_t>, kModifierCount> keysyms;
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int mod = 0; mod < kModifierCount; ++mod)
        for (int i = 0; i < perModifier; ++i) {
            xcb_keycode_t keycode = keycodes[mod * perModifier + i];
            if (keycode == 0)
                continue;
            for (int col = 0; col < kKeysymColumns; ++col)
                if (xcb_keysym_t sym = xcb_key_symbols_get_keysym(keysyms_, keycode, col))
                    keysyms[mod].push_back(sym);
        }
    std::free(reply);
    masks_ = modifierMasksFor(keysyms);
}

void XKeyboard::setHotKeys(std::vector<HotKeyRec> hotKeys) {
    hotKeys_ = std::move(hotKeys);
    refused_.clear();
    told_.clear();
    renewGrabs(false);
}

void XKeyboard::retryRefusedGrabs() {
    if (!refused_.empty())
        renewGrabs(true);
}

bool XKeyboard::hasCapsLockTwin(const HotKeyRec& rec) const {
    HotKeyRec twin = rec;
    twin.modFlags |= kCapsLockBit;
    return std::any_of(hotKeys_.begin(), hotKeys_.end(),
                       [&](const HotKeyRec& other) { return isSameHotKey(other, twin); });
}

void XKeyboard::renewGrabs(bool isRetry) {
    if (!connected())
        return;
    std::map<Grab, std::size_t> wanted;
    std::vector<std::pair<std::size_t, GrabProblem>> problems;
    for (std::size_t i = 0; i < hotKeys_.size(); ++i) {
        const HotKeyRec& rec = hotKeys_[i];
        auto evdev = evdevForMacKeyCode(static_cast<std::uint16_t>(rec.keyCode));
        if (!evdev || *evdev + kXKeycodeOffset < minKeycode_ ||
            *evdev + kXKeycodeOffset > maxKeycode_) {
            problems.emplace_back(i, GrabProblem::NoSuchKey);
            continue;
        }
        auto masks = grabMasksFor(rec.modFlags, masks_, !hasCapsLockTwin(rec));
        if (masks.empty()) {
            problems.emplace_back(i, GrabProblem::NoSuchModifier);
            continue;
        }
        const auto keycode = static_cast<std::uint8_t>(*evdev + kXKeycodeOffset);
        for (std::uint16_t mask : masks)
            wanted.emplace(Grab{keycode, mask}, i);
    }

    for (auto it = held_.begin(); it != held_.end();) {
        if (wanted.count(*it)) {
            ++it;
            continue;
        }
        xcb_ungrab_key(connection_, it->keycode, root_, it->mask);
        it = held_.erase(it);
    }

    // Send every grab first and collect the answers after, so the renewal costs one round trip.
    std::vector<std::pair<std::size_t, xcb_void_cookie_t>> asked;
    std::vector<Grab> askedGrabs;
    for (const auto& [grab, index] : wanted)
        if (!held_.count(grab)) {
            asked.emplace_back(index,
                               xcb_grab_key_checked(connection_, 1, root_, grab.mask, grab.keycode,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            askedGrabs.push_back(grab);
        }
    std::set<std::size_t> refused;
    for (std::size_t k = 0; k < asked.size(); ++k) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, asked[k].second)) {
            refused.insert(asked[k].first);
            std::free(error);
        } else {
            held_.insert(askedGrabs[k]);
        }
    }

    const int grabbed = static_cast<int>(hotKeys_.size() - problems.size() - refused.size());
    const bool changed = !isRetry || grabbed != grabbed_;
    for (std::size_t i : refused)
        if (!refused_.count(i))
            problems.emplace_back(i, GrabProblem::HeldElsewhere);
    refused_ = std::move(refused);
    grabbed_ = grabbed;
    // Released grabs are let go before anyone hears of the renewal: a flush only sends them, a
    // round trip means the server has done them.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));

    if (listener_.problem)
        for (auto& [i, problem] : problems)
            if (!isRetry || problem == GrabProblem::HeldElsewhere)
                listener_.problem(hotKeys_[i], problem);
    // Keys told as not working that work now: let go by another program, or a new keymap.
    std::set<std::size_t> failing = refused_;
    for (auto& [i, problem] : problems)
        failing.insert(i);
    for (std::size_t i : told_)
        if (!failing.count(i) && listener_.working)
            listener_.working(hotKeys_[i]);
    told_ = std::move(failing);
    if (changed && listener_.renewed)
        listener_.renewed(grabbed, static_cast<int>(hotKeys_.size()));
}

HotKeyRec XKeyboard::recordForPress(std::uint8_t keycode, std::uint16_t state) {
    HotKeyRec rec;
    rec.eventType = kKeyDownEventType;
    rec.kind = kKindLaunch;
    auto mac = macKeyCodeForEvdev(keycode - kXKeycodeOffset);
    if (!mac)
        return rec;
    const ModifierState modifiers = modifierStateFor(state, masks_);
    rec.keyCode = *mac;
    rec.modFlags = macModifierFlags(modifiers, *mac);
    const KeyCharacters chars =
        keyCharacters(xcb_key_symbols_get_keysym(keysyms_, keycode, 0),
                      xcb_key_symbols_get_keysym(keysyms_, keycode, 1), modifiers);
    rec.charCode = chars.withModifiers;
    rec.charCodeIgMod = chars.ignoringModifiers;
    return rec;
}

void XKeyboard::dispatchEvents(const PressHandler& onPress) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            // While a hot key is down the whole keyboard is ours; other keys are not looked at.
            const Grab combination{press->detail, static_cast<std::uint16_t>(press->state & 0xff)};
            const bool repeat =
                released_.test(press->detail) && releasedAt_[press->detail] == press->time;
            if (held_.count(combination) && !repeat)
                onPress(recordForPress(press->detail, press->state));
            break;
        }
        case XCB_KEY_RELEASE: {
            auto* release = reinterpret_cast<xcb_key_release_event_t*>(event);
            released_.set(release->detail);
            releasedAt_[release->detail] = release->time;
            break;
        }
        case XCB_MAPPING_NOTIFY: {
            auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
            if (mapping->request == XCB_MAPPING_POINTER)
                break;
            xcb_refresh_keyboard_mapping(keysyms_, mapping);
            loadModifierMasks();
            renewGrabs(false);
            break;
        }
        default:
            break;
        }
        std::free(event);
    }
}

} // namespace presto
