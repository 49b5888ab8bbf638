#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

// Shared by the key-capture tests and the benchmark: a private X server, programs started
// against it, and a client that types on it through XTEST.
namespace presto::test {

// Polls the condition until it holds or the time is up; true when it held.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(5));

// A program started for a test; it is ended (SIGTERM, then SIGKILL) when this goes away.
class ChildProcess {
public:
    // args[0] is the program's path. extraEnv holds "NAME=value" entries that replace or add to
    // this process's environment. Output goes to outputPath, or nowhere when it is empty.
    // fd3, when given, becomes the program's descriptor 3. With ownGroup, the program and what
    // it starts form a process group of their own, which every signal reaches: a bus that
    // dbus-run-session started ends with it.
    explicit ChildProcess(const std::vector<std::string>& args,
                          const std::vector<std::string>& extraEnv = {},
                          const std::string& outputPath = {}, int fd3 = -1, bool ownGroup = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int sig);
    // The exit code (128 + signal for a killed process), or nothing if it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    // User plus system CPU time so far, in clock ticks.
    long cpuTicks() const;
    // Resident memory in kB.
    long residentKb() const;

private:
    pid_t pid_ = -1;
    bool ownGroup_ = false;
    std::optional<int> status_;
};

// A virtual X server on a display number that was free, for this test alone.
class Xvfb {
public:
    static bool installed();
    // Throws std::runtime_error when the server does not come up. `screen`: width x height x depth.
    explicit Xvfb(const std::string& screen = "320x200x24");
    const std::string& display() const { return display_; }
    void stop();

private:
    std::optional<ChildProcess> server_;
    std::string display_;
};

// The test's own connection to the server: types keys through XTEST and looks at grabs.
class XClient {
public:
    static constexpr std::uint16_t kShiftMask = 1, kLockMask = 2, kControlMask = 4;

    explicit XClient(const std::string& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    // The first key code that types the keysym; 0 when none does.
    std::uint8_t keycodeFor(std::uint32_t keysym);
    // The modifier bit of the mapping that holds the key code; 0 when none does.
    std::uint16_t modifierMaskOf(std::uint8_t keycode);

    // Queued; flush() or sync() sends them.
    void press(std::uint8_t keycode);
    void release(std::uint8_t keycode);
    void flush();
    // Presses and releases the key while the modifier keys are held, then waits until the server
    // has taken it all.
    void tap(std::uint8_t keycode, std::initializer_list<std::uint8_t> held = {});
    // Holds the key down for the time on a focused window of this client: true when the server
    // repeated it.
    bool repeatsWhenHeld(std::uint8_t keycode, std::chrono::milliseconds hold);
    // Maps a window of this client for a window manager to show and give the focus.
    std::uint32_t showWindow();
    bool hasFocus(std::uint32_t window);
    // The keyboard's current modifier and lock state.
    std::uint16_t modifierState();
    // Waits for a round trip, so everything sent so far has been handled by the server.
    void sync();

    // True when this client could grab the combination, i.e. nobody else holds it; the grab is
    // released again at once.
    bool canGrab(std::uint8_t keycode, std::uint16_t mask);
    bool grab(std::uint8_t keycode, std::uint16_t mask);
    void ungrab(std::uint8_t keycode, std::uint16_t mask);

    // What a layout change does: the key now types other keysyms.
    void setKeysyms(std::uint8_t keycode, std::uint32_t unshifted, std::uint32_t shifted);
    // Puts the key alone on the given modifier bit (0 to 7), taking it off every other one.
    bool moveModifierKey(std::uint8_t keycode, int modifierBit);

private:
    xcb_connection_t* connection_ = nullptr;
    _XCBKeySymbols* keysyms_ = nullptr;
    std::uint32_t root_ = 0;
};

} // namespace presto::test
