#include "tests/capture/XHarness.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

extern char** environ;

namespace presto::test {

using namespace std::chrono_literals;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(step);
    }
}

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& x : extra)
            replaced |= x.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& extraEnv,
            const std::string& outputPath, int fd3, bool ownGroup) {
    std::vector<std::string> env = mergedEnvironment(extraEnv);
    auto argv = pointers(args);
    auto envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string out = outputPath.empty() ? "/dev/null" : outputPath;
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (fd3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0)
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(rc));
    return pid;
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string findXvfb() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        std::string path = std::string(dir) + "/Xvfb";
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args,
                           const std::vector<std::string>& extraEnv, const std::string& outputPath,
                           int fd3, bool ownGroup)
    : pid_(spawn(args, extraEnv, outputPath, fd3, ownGroup)), ownGroup_(ownGroup) {}

ChildProcess::~ChildProcess() {
    if (!status_) {
        signal(SIGTERM);
        if (!waitForExit(30s)) {
            signal(SIGKILL);
            waitForExit(30s);
        }
    }
    // What the program started in its group and left behind once it had gone (the bus of a
    // dbus-run-session killed before it could end it).
    if (ownGroup_)
        ::kill(-pid_, SIGKILL);
}

bool ChildProcess::running() {
    if (status_)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = exitCodeOf(status);
    return !status_;
}

void ChildProcess::signal(int sig) {
    if (!status_)
        ::kill(ownGroup_ ? -pid_ : pid_, sig);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    waitUntil([this] { return !running(); }, timeout, 2ms);
    return status_;
}

long ChildProcess::cpuTicks() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    // Fields after the command name, which may hold spaces and ends with ')'.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

long ChildProcess::residentKb() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

bool Xvfb::installed() {
    return !findXvfb().empty();
}

Xvfb::Xvfb(const std::string& screen) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    // -displayfd: the server picks a free display and writes its number once it accepts clients.
    try {
        server_.emplace(std::vector<std::string>{findXvfb(), "-displayfd", "3", "-nolisten", "tcp",
                                                 "-noreset", "-screen", "0", screen},
                        std::vector<std::string>{}, std::string{}, fds[1]);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[1]);
    std::string number;
    pollfd pfd{fds[0], POLLIN, 0};
    // A ceiling, not a pause: a machine busy with a build beside the tests can take many seconds.
    while (poll(&pfd, 1, 120'000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        server_.reset();
        throw std::runtime_error("Xvfb did not start");
    }
    display_ = ":" + number;
}

void Xvfb::stop() {
    server_.reset();
}

XClient::XClient(const std::string& display) {
    int screen = 0;
    connection_ = xcb_connect(display.c_str(), &screen);
    if (xcb_connection_has_error(connection_))
        throw std::runtime_error("cannot connect to " + display);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    keysyms_ = xcb_key_symbols_alloc(connection_);
}

XClient::~XClient() {
    xcb_key_symbols_free(keysyms_);
    xcb_disconnect(connection_);
}

std::uint8_t XClient::keycodeFor(std::uint32_t keysym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(keysyms_, keysym);
    std::uint8_t code = codes ? codes[0] : 0;
    std::free(codes);
    return code;
}

std::uint16_t XClient::modifierMaskOf(std::uint8_t keycode) {
    auto* reply =
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr);
    std::uint16_t mask = 0;
    if (reply) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        for (int i = 0; i < 8 * reply->keycodes_per_modifier; ++i)
            if (codes[i] == keycode)
                mask = static_cast<std::uint16_t>(1 << (i / reply->keycodes_per_modifier));
        std::free(reply);
    }
    return mask;
}

void XClient::press(std::uint8_t keycode) {
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void XClient::release(std::uint8_t keycode) {
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void XClient::flush() {
    xcb_flush(connection_);
}

void XClient::tap(std::uint8_t keycode, std::initializer_list<std::uint8_t> held) {
    for (std::uint8_t modifier : held)
        press(modifier);
    press(keycode);
    release(keycode);
    for (std::uint8_t modifier : held)
        release(modifier);
    sync();
}

bool XClient::repeatsWhenHeld(std::uint8_t keycode, std::chrono::milliseconds hold) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    const xcb_window_t window = xcb_generate_id(connection_);
    const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                      &events);
    xcb_map_window(connection_, window);
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    press(keycode);
    sync();
    std::this_thread::sleep_for(hold);
    release(keycode);
    sync();
    int presses = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        presses += (event->response_type & 0x7f) == XCB_KEY_PRESS;
        std::free(event);
    }
    xcb_destroy_window(connection_, window);
    sync();
    return presses > 1;
}

std::uint32_t XClient::showWindow() {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    const xcb_window_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 200, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(connection_, window);
    sync();
    return window;
}

bool XClient::hasFocus(std::uint32_t window) {
    auto* reply = xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
    const bool focused = reply && reply->focus == window;
    std::free(reply);
    return focused;
}

std::uint16_t XClient::modifierState() {
    auto* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    std::uint16_t state = reply ? reply->mask & 0xff : 0;
    std::free(reply);
    return state;
}

void XClient::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

bool XClient::grab(std::uint8_t keycode, std::uint16_t mask) {
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_grab_key_checked(connection_, 1, root_, mask, keycode, XCB_GRAB_MODE_ASYNC,
                                          XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error == nullptr;
}

void XClient::ungrab(std::uint8_t keycode, std::uint16_t mask) {
    xcb_ungrab_key(connection_, keycode, root_, mask);
    sync();
}

bool XClient::canGrab(std::uint8_t keycode, std::uint16_t mask) {
    if (!grab(keycode, mask))
        return false;
    ungrab(keycode, mask);
    return true;
}

void XClient::setKeysyms(std::uint8_t keycode, std::uint32_t unshifted, std::uint32_t shifted) {
    auto* reply = xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, keycode, 1), nullptr);
    if (!reply)
        return;
    std::vector<xcb_keysym_t> syms(reply->keysyms_per_keycode, XCB_NO_SYMBOL);
    syms[0] = unshifted;
    if (syms.size() > 1)
        syms[1] = shifted;
    xcb_change_keyboard_mapping(connection_, 1, keycode, reply->keysyms_per_keycode, syms.data());
    std::free(reply);
    sync();
}

bool XClient::moveModifierKey(std::uint8_t keycode, int modifierBit) {
    auto* reply =
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr);
    if (!reply)
        return false;
    const int per = reply->keycodes_per_modifier;
    std::vector<xcb_keycode_t> codes(xcb_get_modifier_mapping_keycodes(reply),
                                     xcb_get_modifier_mapping_keycodes(reply) + 8 * per);
    std::free(reply);
    for (auto& code : codes)
        if (code == keycode)
            code = 0;
    bool placed = false;
    for (int i = 0; i < per && !placed; ++i)
        if (codes[modifierBit * per + i] == 0) {
            codes[modifierBit * per + i] = keycode;
            placed = true;
        }
    if (!placed)
        return false;
    auto* set = xcb_set_modifier_mapping_reply(
        connection_,
        xcb_set_modifier_mapping(connection_, static_cast<std::uint8_t>(per), codes.data()),
        nullptr);
    const bool ok = set && set->status == XCB_MAPPING_STATUS_SUCCESS;
    std::free(set);
    return ok;
}

} // namespace presto::test
