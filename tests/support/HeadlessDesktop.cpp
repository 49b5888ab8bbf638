#include "tests/support/HeadlessDesktop.h"

#include "tests/support/Leftovers.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gio/gio.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#if PRESTO_KWIN_FAKE_INPUT
#include "fake-input-client-protocol.h"
#include "keystate-client-protocol.h"

#include <wayland-client.h>
#endif

extern char** environ;

namespace fs = std::filesystem;

namespace presto::test {

using namespace std::chrono_literals;

namespace {

// The desktop may come up slowly on a busy machine.
constexpr auto kStartCeiling = 300s;
constexpr int kStartAttempts = 2;
constexpr auto kEndCeiling = 30s;
constexpr int kCallTimeoutMs = 30000;

bool executable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

bool isKde(DesktopKind kind) {
    return kind == DesktopKind::Kde || kind == DesktopKind::KdeWithXWayland;
}

const char* scriptKind(DesktopKind kind) {
    switch (kind) {
    case DesktopKind::Kde:
        return "kde";
    case DesktopKind::KdeWithXWayland:
        return "kde-xwayland";
    case DesktopKind::Gnome:
    case DesktopKind::GnomeWithKdePortal:
        break;
    }
    return "gnome";
}

// Services the session bus may start: the portals, their permission store, GNOME's settings
// store and KDE's shortcut registry. Not the document portal, which mounts a file system in the
// runtime folder, nor anything of the machine's own session.
constexpr const char* kServices[] = {
    "org.freedesktop.portal.Desktop",
    "org.freedesktop.impl.portal.PermissionStore",
    "org.freedesktop.impl.portal.desktop.kde",
    "org.freedesktop.impl.portal.desktop.gnome",
    "org.freedesktop.impl.portal.desktop.gtk",
    "ca.desrt.dconf",
    "org.kde.kglobalaccel",
};

std::vector<std::string> portalsOf(DesktopKind kind) {
    switch (kind) {
    case DesktopKind::Kde:
    case DesktopKind::KdeWithXWayland:
        return {"kde.portal"};
    case DesktopKind::Gnome:
        return {"gnome.portal", "gtk.portal"};
    case DesktopKind::GnomeWithKdePortal:
        return {"gnome.portal", "gtk.portal", "kde.portal"};
    }
    return {};
}

std::string busConfig(const std::string& type, const std::string& listen,
                      const std::string& serviceDir) {
    std::string config = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                         "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                         "busconfig.dtd\">\n<busconfig><type>" +
                         type + "</type><listen>" + listen + "</listen>";
    if (!serviceDir.empty())
        config += "<servicedir>" + serviceDir + "</servicedir>";
    return config + "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string stripped(const std::string& text) {
    return text.substr(0, text.find_last_not_of('\n') + 1);
}

} // namespace

// How keys reach the desktop.
class HeadlessDesktop::Keyboard {
public:
    virtual ~Keyboard() = default;
    virtual void key(std::uint32_t evdev, bool pressed) = 0;
    // Sends what is queued; sync() also waits until the desktop has taken it.
    virtual void flush() {}
    virtual void sync() {}
    virtual std::optional<bool> capsLockOn() { return std::nullopt; }
};

namespace {

#if PRESTO_KWIN_FAKE_INPUT
// KWin's org_kde_kwin_fake_input, which KWIN_WAYLAND_NO_PERMISSION_CHECKS opens to any client,
// and org_kde_kwin_keystate for the lock keys.
class KWinKeyboard : public HeadlessDesktop::Keyboard {
public:
    explicit KWinKeyboard(const std::string& socket) {
        display_ = wl_display_connect(socket.c_str());
        if (!display_)
            throw std::runtime_error("cannot connect to KWin at " + socket);
        registry_ = wl_display_get_registry(display_);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
               std::uint32_t version) {
                auto* self = static_cast<KWinKeyboard*>(data);
                if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
                    version >= 4)
                    self->input_ = static_cast<org_kde_kwin_fake_input*>(
                        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
                if (std::strcmp(interface, org_kde_kwin_keystate_interface.name) == 0) {
                    self->keystateVersion_ = std::min<std::uint32_t>(version, 4);
                    self->keystate_ = static_cast<org_kde_kwin_keystate*>(wl_registry_bind(
                        registry, name, &org_kde_kwin_keystate_interface, self->keystateVersion_));
                }
            },
            [](void*, wl_registry*, std::uint32_t) {}};
        wl_registry_add_listener(registry_, &listener, this);
        wl_display_roundtrip(display_);
        if (!input_)
            throw std::runtime_error("KWin offers no fake input");
        org_kde_kwin_fake_input_authenticate(input_, "Presto tests", "pressing hot keys");
        if (keystate_) {
            static const org_kde_kwin_keystate_listener states = {
                [](void* data, org_kde_kwin_keystate*, std::uint32_t key, std::uint32_t state) {
                    if (key == ORG_KDE_KWIN_KEYSTATE_KEY_CAPSLOCK)
                        static_cast<KWinKeyboard*>(data)->capsLock_ =
                            state != ORG_KDE_KWIN_KEYSTATE_STATE_UNLOCKED;
                }};
            org_kde_kwin_keystate_add_listener(keystate_, &states, this);
        }
        sync();
    }
    ~KWinKeyboard() override {
        if (keystate_ && keystateVersion_ >= 4)
            org_kde_kwin_keystate_destroy(keystate_);
        else if (keystate_)
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(keystate_));
        if (input_)
            org_kde_kwin_fake_input_destroy(input_);
        wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }
    void key(std::uint32_t evdev, bool pressed) override {
        org_kde_kwin_fake_input_keyboard_key(input_, evdev,
                                             pressed ? WL_KEYBOARD_KEY_STATE_PRESSED
                                                     : WL_KEYBOARD_KEY_STATE_RELEASED);
    }
    void flush() override { wl_display_flush(display_); }
    void sync() override {
        if (wl_display_roundtrip(display_) < 0)
            throw std::runtime_error("KWin has gone");
    }
    std::optional<bool> capsLockOn() override {
        if (!keystate_)
            return std::nullopt;
        capsLock_.reset();
        org_kde_kwin_keystate_fetchStates(keystate_);
        sync();
        return capsLock_;
    }

private:
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    org_kde_kwin_fake_input* input_ = nullptr;
    org_kde_kwin_keystate* keystate_ = nullptr;
    std::uint32_t keystateVersion_ = 0;
    std::optional<bool> capsLock_;
};
#endif

// Mutter's org.gnome.Mutter.RemoteDesktop: a session whose virtual keyboard types.
class MutterKeyboard : public HeadlessDesktop::Keyboard {
public:
    explicit MutterKeyboard(const std::string& address) {
        GError* error = nullptr;
        bus_ = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (!bus_)
            fail("cannot reach the session bus", error);
        GVariant* created =
            call("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop",
                 "CreateSession", nullptr, G_VARIANT_TYPE("(o)"));
        const gchar* path = nullptr;
        g_variant_get(created, "(&o)", &path);
        session_ = path;
        g_variant_unref(created);
        g_variant_unref(call(session_.c_str(), kSessionInterface, "Start", nullptr, nullptr));
    }
    ~MutterKeyboard() override {
        if (GVariant* stopped = g_dbus_connection_call_sync(
                bus_, kService, session_.c_str(), kSessionInterface, "Stop", nullptr, nullptr,
                G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr))
            g_variant_unref(stopped);
        g_dbus_connection_close_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
    }
    void key(std::uint32_t evdev, bool pressed) override {
        g_variant_unref(call(session_.c_str(), kSessionInterface, "NotifyKeyboardKeycode",
                             g_variant_new("(ub)", evdev, pressed), nullptr));
    }

private:
    static constexpr char kService[] = "org.gnome.Mutter.RemoteDesktop";
    static constexpr char kSessionInterface[] = "org.gnome.Mutter.RemoteDesktop.Session";

    [[noreturn]] static void fail(const std::string& what, GError* error) {
        const std::string message = what + ": " + (error ? error->message : "");
        g_clear_error(&error);
        throw std::runtime_error(message);
    }
    GVariant* call(const char* path, const char* interface, const char* method,
                   GVariant* parameters, const GVariantType* replyType) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus_, kService, path, interface, method,
                                                      parameters, replyType, G_DBUS_CALL_FLAGS_NONE,
                                                      kCallTimeoutMs, nullptr, &error);
        if (!reply)
            fail(std::string("Mutter's ") + method, error);
        return reply;
    }

    GDBusConnection* bus_ = nullptr;
    std::string session_;
};

} // namespace

std::string HeadlessDesktop::missing(DesktopKind kind) {
    std::vector<std::string> programs = {
        "/usr/bin/dbus-run-session", "/usr/bin/dbus-daemon", "/usr/bin/gdbus",
        "/usr/bin/dbus-update-activation-environment", "/usr/libexec/xdg-desktop-portal"};
    if (isKde(kind)) {
#if !PRESTO_KWIN_FAKE_INPUT
        return "this build has no client of KWin's fake input (libwayland-dev, "
               "plasma-wayland-protocols)";
#endif
        programs.insert(
            programs.end(),
            {"/usr/bin/kwin_wayland", "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"});
        if (kind == DesktopKind::KdeWithXWayland)
            programs.push_back("/usr/bin/Xwayland");
    } else {
        programs.insert(programs.end(), {"/usr/bin/gnome-shell", "/usr/libexec/gsd-media-keys",
                                         "/usr/libexec/xdg-desktop-portal-gnome"});
        if (kind == DesktopKind::GnomeWithKdePortal)
            programs.push_back("/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde");
    }
    std::string missing;
    for (const std::string& program : programs)
        if (!executable(program))
            missing += (missing.empty() ? "" : ", ") + program;
    return missing;
}

HeadlessDesktop::HeadlessDesktop(DesktopKind kind, const TempWorld& world)
    : folder_(fs::path(world.path("desktop/ready")).parent_path().string()) {
    const std::string services = folder_ + "/services";
    const std::string portals = folder_ + "/portals";
    fs::create_directories(services);
    fs::create_directories(portals);
    for (const char* service : kServices) {
        const fs::path file =
            fs::path("/usr/share/dbus-1/services") / (std::string(service) + ".service");
        if (fs::exists(file))
            fs::copy_file(file, fs::path(services) / file.filename());
    }
    for (const std::string& portal : portalsOf(kind)) {
        const fs::path file = fs::path("/usr/share/xdg-desktop-portal/portals") / portal;
        if (fs::exists(file))
            fs::copy_file(file, fs::path(portals) / portal);
    }
    const std::string systemBus = folder_ + "/system_bus";
    world.writeFile("desktop/session.conf", busConfig("session", "unix:dir=" + folder_, services));
    world.writeFile("desktop/system.conf", busConfig("system", "unix:path=" + systemBus, ""));

    const std::string desktopName = isKde(kind) ? "KDE" : "GNOME";
    // The desktop's own environment, inherited by every service its buses start.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "DBUS_SESSION_BUS_ADDRESS" &&
            name != "DBUS_SYSTEM_BUS_ADDRESS" && name != "XDG_CURRENT_DESKTOP" &&
            name != "XDG_SESSION_TYPE" && name != "GSETTINGS_BACKEND" &&
            name != "XDG_DESKTOP_PORTAL_DIR" && name != "XDG_CACHE_HOME" &&
            name != "XDG_STATE_HOME" && name != "QT_QPA_PLATFORM")
            env.push_back(entry);
    }
    const std::vector<std::string> own = {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + systemBus,
                                          "XDG_CURRENT_DESKTOP=" + desktopName,
                                          "XDG_SESSION_TYPE=wayland",
                                          "XDG_DESKTOP_PORTAL_DIR=" + portals,
                                          "XDG_CACHE_HOME=" + world.path("cache"),
                                          "XDG_STATE_HOME=" + world.path("state")};
    env.insert(env.end(), own.begin(), own.end());

    const std::string ready = folder_ + "/ready";
    std::vector<std::string> args = {"/usr/bin/dbus-run-session",
                                     "--config-file=" + folder_ + "/session.conf",
                                     "--",
                                     "/bin/bash",
                                     HEADLESS_DESKTOP_SCRIPT,
                                     scriptKind(kind),
                                     folder_,
                                     ready};
    std::string failure;
    for (int attempt = 1; !launch(args, env, ready, failure); ++attempt) {
        if (attempt == kStartAttempts)
            throw std::runtime_error(failure);
        // Headless GNOME Shell now and then hangs at start; another start goes through.
        std::fprintf(stderr, "%s\nheadless-desktop: starting it once more\n", failure.c_str());
    }
    std::istringstream lines(readFile(ready));
    std::string address, display, x11Display;
    for (std::string line; std::getline(lines, line);) {
        const std::string value = line.substr(line.find('=') + 1);
        if (line.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0)
            address = value;
        if (line.rfind("WAYLAND_DISPLAY=", 0) == 0)
            display = value;
        if (line.rfind("DISPLAY=", 0) == 0)
            x11Display = value;
    }
    environment_ = {
        "DBUS_SESSION_BUS_ADDRESS=" + address, "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + systemBus,
        "WAYLAND_DISPLAY=" + display,          "XDG_SESSION_TYPE=wayland",
        "XDG_CURRENT_DESKTOP=" + desktopName,  "DISPLAY=" + x11Display};
    try {
#if PRESTO_KWIN_FAKE_INPUT
        if (isKde(kind))
            keyboard_ = std::make_unique<KWinKeyboard>(display);
#endif
        if (!isKde(kind))
            keyboard_ = std::make_unique<MutterKeyboard>(address);
    } catch (...) {
        end();
        throw;
    }
}

bool HeadlessDesktop::launch(std::vector<std::string> args, std::vector<std::string> env,
                             const std::string& ready, std::string& failure) {
    std::vector<char*> argv, envp;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string output = folder_ + "/desktop.log";
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // A process group of its own, so that ending it reaches everything the desktop started.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int rc = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0)
        throw std::runtime_error(std::string("cannot start dbus-run-session: ") +
                                 std::strerror(rc));

    const auto deadline = std::chrono::steady_clock::now() + kStartCeiling;
    while (!fs::exists(ready)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure = "the desktop ended at start:\n" + log();
            end(); // what it started before it gave up
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            end();
            failure = "the desktop did not come up:\n" + log();
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

HeadlessDesktop::~HeadlessDesktop() {
    keyboard_.reset();
    end();
}

void HeadlessDesktop::end() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kEndCeiling;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(-pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        // Whatever is left of the group once its leader has gone.
        ::kill(-pid_, SIGKILL);
        pid_ = -1;
    }
    // Services that left the group still carry this desktop's private system bus.
    for (pid_t pid :
         processesWithEnvironment("DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + folder_ + "/system_bus"))
        ::kill(pid, SIGKILL);
}

void HeadlessDesktop::press(std::initializer_list<std::uint32_t> keys) {
    for (std::uint32_t key : keys)
        keyboard_->key(key, true);
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
        keyboard_->key(*key, false);
    keyboard_->sync();
}

void HeadlessDesktop::key(std::uint32_t evdev, bool pressed) {
    keyboard_->key(evdev, pressed);
    keyboard_->flush();
}

void HeadlessDesktop::sync() {
    keyboard_->sync();
}

std::optional<bool> HeadlessDesktop::capsLockOn() {
    return keyboard_->capsLockOn();
}

std::string HeadlessDesktop::log() const {
    return stripped(readFile(folder_ + "/desktop.log"));
}

} // namespace presto::test
