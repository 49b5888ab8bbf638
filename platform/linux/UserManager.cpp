#include "platform/linux/UserManager.h"

#include "platform/linux/LazyGio.h"
#include "platform/linux/TransientScope.h"

#include <cstdlib>
#include <gio/gio.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace presto {
namespace {

// Only these GDBus entry points are used; GLib itself is linked.
struct GDBus {
    decltype(&g_dbus_connection_new_for_address_sync) connectionNewForAddressSync;
    decltype(&g_dbus_connection_call_sync) connectionCallSync;
    decltype(&g_dbus_connection_is_closed) connectionIsClosed;
    decltype(&g_object_ref) objectRef;
    decltype(&g_object_unref) objectUnref;

    bool bind(void* library) {
        return bindSymbol(library, "g_dbus_connection_new_for_address_sync",
                          connectionNewForAddressSync) &&
               bindSymbol(library, "g_dbus_connection_call_sync", connectionCallSync) &&
               bindSymbol(library, "g_dbus_connection_is_closed", connectionIsClosed) &&
               bindSymbol(library, "g_object_ref", objectRef) &&
               bindSymbol(library, "g_object_unref", objectUnref);
    }
};

// The session bus the user's systemd listens on.
std::string sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return address;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat st {};
        if (stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            return "unix:path=" + socket;
    }
    return {};
}

// A new reference to the shared connection; null when there is no bus.
GDBusConnection* sharedBus(const GDBus& g) {
    static std::mutex mutex;
    static GDBusConnection* bus = nullptr;
    std::lock_guard lock(mutex);
    if (bus && g.connectionIsClosed(bus)) {
        g.objectUnref(bus);
        bus = nullptr;
    }
    if (!bus) {
        const std::string address = sessionBusAddress();
        if (address.empty())
            return nullptr;
        GError* error = nullptr;
        bus = g.connectionNewForAddressSync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (error)
            g_error_free(error);
        if (!bus)
            return nullptr;
    }
    return static_cast<GDBusConnection*>(g.objectRef(bus));
}

} // namespace

GVariant* callUserManager(const char* interface, const char* method, GVariant* parameters,
                          const GVariantType* replyType, int timeoutMs) {
    g_variant_ref_sink(parameters);
    const GDBus* g = lazyGioTable<GDBus>();
    GDBusConnection* bus = g ? sharedBus(*g) : nullptr;
    GVariant* reply = nullptr;
    if (bus) {
        GError* error = nullptr;
        reply = g->connectionCallSync(bus, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                      interface, method, parameters, replyType,
                                      G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, nullptr, &error);
        if (error)
            g_error_free(error);
        g->objectUnref(bus);
    }
    g_variant_unref(parameters);
    return reply;
}

std::optional<std::vector<std::string>> ManagerEnvironment::read() {
    // Asked at every launch, so a slow manager must not hold a hot key up for long.
    GVariant* reply =
        callUserManager("org.freedesktop.DBus.Properties", "Get",
                        g_variant_new("(ss)", "org.freedesktop.systemd1.Manager", "Environment"),
                        G_VARIANT_TYPE("(v)"), 2'000);
    if (!reply)
        return std::nullopt;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::optional<std::vector<std::string>> result;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
        result.emplace();
        gsize count = 0;
        const gchar** entries = g_variant_get_strv(value, &count);
        result->assign(entries, entries + count);
        g_free(entries);
    }
    g_variant_unref(value);
    g_variant_unref(reply);
    return result;
}

SessionEnvironment* systemdSessionEnvironment() {
    static ManagerEnvironment manager;
    static SessionEnvironment* const environment = runsAsDaemonUnit() ? &manager : nullptr;
    return environment;
}

} // namespace presto
