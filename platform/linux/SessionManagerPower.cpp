#include "platform/linux/SessionManagerPower.h"

#include "platform/linux/LazyGio.h"

#include <cerrno>
#include <cstdlib>
#include <gio/gio.h>
#include <optional>
#include <signal.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <vector>

namespace presto {
namespace {

using Action = SessionPower::Action;

// Only these GIO entry points are used; GLib itself is linked.
struct GDBus {
    decltype(&g_dbus_connection_new_for_address_sync) connect;
    decltype(&g_dbus_connection_call_sync) call;
    decltype(&g_dbus_connection_close_sync) close;
    decltype(&g_dbus_error_get_remote_error) remoteError;
    decltype(&g_dbus_error_strip_remote_error) stripRemoteError;
    decltype(&g_cancellable_new) newCancellable;
    decltype(&g_cancellable_cancel) cancel;
    decltype(&g_object_unref) unref;

    bool bind(void* library) {
        return bindSymbol(library, "g_dbus_connection_new_for_address_sync", connect) &&
               bindSymbol(library, "g_dbus_connection_call_sync", call) &&
               bindSymbol(library, "g_dbus_connection_close_sync", close) &&
               bindSymbol(library, "g_dbus_error_get_remote_error", remoteError) &&
               bindSymbol(library, "g_dbus_error_strip_remote_error", stripRemoteError) &&
               bindSymbol(library, "g_cancellable_new", newCancellable) &&
               bindSymbol(library, "g_cancellable_cancel", cancel) &&
               bindSymbol(library, "g_object_unref", unref);
    }
};

enum class Arguments {
    None,
    Interactive, // (true): allow saving, or let polkit ask
    Ksmserver,   // confirm, then reboot or halt, in the default mode
};

struct Method {
    const char* service;
    const char* path;
    const char* interface;
    const char* restart;
    const char* shutDown;
    Arguments arguments;
    bool startOnDemand; // a service the bus starts when it is called
};

struct SessionManager {
    const char* runs; // a name owned on the session bus while this desktop's session runs
    std::vector<Method> methods; // each tried when the one before is not there
};

const SessionManager kSessionManagers[] = {
    {"org.gnome.SessionManager",
     {{"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
       "Reboot", "Shutdown", Arguments::None, false}}},
    {"org.kde.ksmserver",
     {{"org.kde.LogoutPrompt", "/LogoutPrompt", "org.kde.LogoutPrompt", "promptReboot",
       "promptShutDown", Arguments::None, true},
      {"org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface", "logout", "logout",
       Arguments::Ksmserver, false}}},
    {"org.xfce.SessionManager",
     {{"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager", "Restart",
       "Shutdown", Arguments::Interactive, false}}},
};

const Method kLogind{"org.freedesktop.login1",
                     "/org/freedesktop/login1",
                     "org.freedesktop.login1.Manager",
                     "Reboot",
                     "PowerOff",
                     Arguments::Interactive,
                     true};

// A session manager answers at once and shows its question later; polkit may wait for the user.
constexpr int kSessionManagerTimeoutMs = 60'000;
constexpr int kLogindTimeoutMs = 10 * 60'000;

GVariant* argumentsFor(const Method& method, Action action) {
    switch (method.arguments) {
    case Arguments::Interactive:
        return g_variant_new("(b)", TRUE);
    case Arguments::Ksmserver:
        return g_variant_new("(iii)", 1, action == Action::Restart ? 1 : 2, -1);
    case Arguments::None:
        break;
    }
    return nullptr;
}

// Errors that say the service, or this way of asking it, is not there.
bool meansNotThere(std::string_view error) {
    constexpr std::string_view kPrefix = "org.freedesktop.DBus.Error.";
    if (!error.starts_with(kPrefix))
        return false;
    error.remove_prefix(kPrefix.size());
    for (std::string_view name : {"ServiceUnknown", "NameHasNoOwner", "UnknownMethod",
                                  "UnknownObject", "UnknownInterface", "InvalidArgs"})
        if (error == name)
            return true;
    return error.starts_with("Spawn.");
}

enum class Answer { Done, NotThere, Refused };

// One connection to a bus, for one request.
class Connection {
public:
    Connection(const GDBus& g, const std::string& address, GCancellable* cancellable) : g_(g) {
        if (address.empty())
            return;
        GError* error = nullptr;
        connection_ = g_.connect(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, cancellable, &error);
        if (error)
            g_error_free(error);
    }
    ~Connection() {
        if (!connection_)
            return;
        g_.close(connection_, nullptr, nullptr);
        g_.unref(connection_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    explicit operator bool() const { return connection_ != nullptr; }

    bool hasOwner(const char* name, GCancellable* cancellable) {
        GVariant* reply =
            g_.call(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name),
                    G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, -1, cancellable, nullptr);
        gboolean owned = FALSE;
        if (reply) {
            g_variant_get(reply, "(b)", &owned);
            g_variant_unref(reply);
        }
        return owned;
    }

    Answer call(const Method& method, Action action, int timeoutMs, GCancellable* cancellable,
                std::string& why) {
        unsigned flags = G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION;
        if (!method.startOnDemand)
            flags |= G_DBUS_CALL_FLAGS_NO_AUTO_START;
        GError* error = nullptr;
        GVariant* reply =
            g_.call(connection_, method.service, method.path, method.interface,
                    action == Action::Restart ? method.restart : method.shutDown,
                    argumentsFor(method, action), nullptr, static_cast<GDBusCallFlags>(flags),
                    timeoutMs, cancellable, &error);
        if (reply) {
            g_variant_unref(reply);
            return Answer::Done;
        }
        gchar* remote = g_.remoteError(error);
        const bool notThere = remote && meansNotThere(remote);
        g_.stripRemoteError(error);
        why = error->message;
        g_free(remote);
        g_error_free(error);
        return notThere ? Answer::NotThere : Answer::Refused;
    }

private:
    const GDBus& g_;
    GDBusConnection* connection_ = nullptr;
};

std::string envOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

SessionManagerPower::SessionManagerPower(SessionPower& sleep, Buses buses, Log log)
    : sleep_(sleep), buses_(std::move(buses)), log_(std::move(log)) {}

SessionManagerPower::~SessionManagerPower() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
        if (cancellable_)
            lazyGioTable<GDBus>()->cancel(cancellable_);
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    if (cancellable_)
        lazyGioTable<GDBus>()->unref(cancellable_);
}

SessionManagerPower::Buses SessionManagerPower::busesFromEnvironment() {
    Buses buses{envOrEmpty("DBUS_SESSION_BUS_ADDRESS"), envOrEmpty("DBUS_SYSTEM_BUS_ADDRESS")};
    if (buses.session.empty()) {
        const std::string runtime = envOrEmpty("XDG_RUNTIME_DIR");
        struct stat st {};
        if (runtime.starts_with('/') && stat((runtime + "/bus").c_str(), &st) == 0 &&
            S_ISSOCK(st.st_mode))
            buses.session = "unix:path=" + runtime + "/bus";
    }
    if (buses.system.empty())
        buses.system = "unix:path=/run/dbus/system_bus_socket";
    return buses;
}

int SessionManagerPower::request(Action action) {
    if (action == Action::Sleep)
        return sleep_.request(action);
    const GDBus* g = lazyGioTable<GDBus>();
    if (!g)
        return ENOSYS;
    {
        std::lock_guard lock(mutex_);
        // Presses beyond a few while the user is still being asked add nothing.
        if (pending_.size() >= kMaxPending)
            return EBUSY;
        if (!cancellable_)
            cancellable_ = g->newCancellable();
        pending_.push_back(action);
        if (!worker_.joinable()) {
            try {
                worker_ = std::thread([this] { run(); });
            } catch (const std::system_error& error) {
                pending_.clear();
                return error.code().value();
            }
        }
    }
    wake_.notify_one();
    return 0;
}

void SessionManagerPower::run() {
    // Signals are for the daemon's main thread.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (;;) {
        Action action;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (stopping_)
                return;
            action = pending_.front();
            pending_.pop_front();
        }
        ask(action);
    }
}

void SessionManagerPower::ask(Action action) {
    const GDBus& g = *lazyGioTable<GDBus>();
    std::string outcome;
    {
        Connection session(g, buses_.session, cancellable_);
        for (const SessionManager& manager : kSessionManagers) {
            if (!session || !outcome.empty() || !session.hasOwner(manager.runs, cancellable_))
                continue;
            for (const Method& method : manager.methods) {
                std::string why;
                Answer answer =
                    session.call(method, action, kSessionManagerTimeoutMs, cancellable_, why);
                if (answer == Answer::Done)
                    outcome = std::string("asked ") + method.service;
                else if (answer == Answer::Refused)
                    outcome = std::string(method.service) + " did not: " + why;
                if (answer != Answer::NotThere)
                    break;
            }
        }
    }
    if (outcome.empty()) {
        Connection system(g, buses_.system, cancellable_);
        std::string why = "the system bus cannot be reached";
        Answer answer = system ? system.call(kLogind, action, kLogindTimeoutMs, cancellable_, why)
                               : Answer::Refused;
        outcome =
            answer == Answer::Done
                ? std::string("no session manager; asked ") + kLogind.service
                : std::string("no session manager, and ") + kLogind.service + " did not: " + why;
    }
    std::lock_guard lock(mutex_);
    if (log_ && !stopping_)
        log_(std::string(action == Action::Restart ? "restart" : "shut down") + ": " + outcome);
}

} // namespace presto
