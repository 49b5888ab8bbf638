#pragma once

#include "tests/support/TempWorld.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace presto::test {

enum class DesktopKind {
    Kde,                // KWin with KDE's portal
    KdeWithXWayland,    // the same with KWin's XWayland server for X11 programs
    Gnome,              // GNOME Shell with gsd-media-keys and GNOME's portal
    GnomeWithKdePortal, // the same with KDE's portal installed too
};

// A real desktop without a screen, for one test: its compositor, portal and shortcut services in
// the world's home and runtime folder, on a private session bus and an empty private system bus,
// so nothing it does reaches the machine's own session or power. Keys are pressed on it as a
// keyboard would: KWin's fake-input protocol, Mutter's remote-desktop keyboard.
class HeadlessDesktop {
public:
    // What is missing to run it here, to say when skipping; empty when nothing is.
    static std::string missing(DesktopKind kind);

    // Starts it and waits until keys can be pressed; throws std::runtime_error (with the
    // desktop's output) when it does not come up.
    HeadlessDesktop(DesktopKind kind, const TempWorld& world);
    // Ends every process of its session.
    ~HeadlessDesktop();
    HeadlessDesktop(const HeadlessDesktop&) = delete;
    HeadlessDesktop& operator=(const HeadlessDesktop&) = delete;

    // "NAME=value" entries that put a program into this session: its bus, displays, session type
    // and desktop name.
    const std::vector<std::string>& environment() const { return environment_; }
    // Presses the keys (evdev codes) in order and lets go of them in reverse order.
    void press(std::initializer_list<std::uint32_t> keys);
    // One key down or up, sent at once; sync() waits until the desktop has taken everything.
    void key(std::uint32_t evdev, bool pressed);
    void sync();
    // Whether Caps Lock is on, where the desktop says; nothing where it does not.
    std::optional<bool> capsLockOn();
    // The desktop's own output, for failure messages.
    std::string log() const;

    class Keyboard;

private:
    // Starts the session once; false, with what it said, when it does not come up.
    bool launch(std::vector<std::string> args, std::vector<std::string> env,
                const std::string& ready, std::string& failure);
    void end();

    std::string folder_;
    pid_t pid_ = -1;
    std::vector<std::string> environment_;
    std::unique_ptr<Keyboard> keyboard_;
};

} // namespace presto::test
