#include "platform/linux/TransientScope.h"

#include "platform/linux/LazyGio.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <gio/gio.h>
#include <optional>
#include <signal.h>
#include <sys/stat.h>
#include <system_error>

namespace presto {
namespace {

constexpr char kDaemonUnit[] = "com.nimbo.Presto.daemon.service";

// Only these GDBus entry points are used; GLib itself is linked.
struct GDBus {
    decltype(&g_dbus_connection_new_for_address_sync) connectionNewForAddressSync;
    decltype(&g_dbus_connection_call_sync) connectionCallSync;
};

const GDBus* loadedGDBus() {
    static const std::optional<GDBus> loaded = []() -> std::optional<GDBus> {
        void* library = lazyGioLibrary();
        if (!library)
            return std::nullopt;
        GDBus g{};
        if (!bindSymbol(library, "g_dbus_connection_new_for_address_sync",
                        g.connectionNewForAddressSync) ||
            !bindSymbol(library, "g_dbus_connection_call_sync", g.connectionCallSync))
            return std::nullopt;
        return g;
    }();
    return loaded ? &*loaded : nullptr;
}

// The session bus the user's systemd listens on. Never a bus started on demand.
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

GVariant* parameters(const ScopeRequest& request) {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a(sv)"));
    const guint32 pid = static_cast<guint32>(request.pid);
    g_variant_builder_add(&properties, "(sv)", "PIDs",
                          g_variant_new_fixed_array(G_VARIANT_TYPE_UINT32, &pid, 1, sizeof pid));
    // The scope goes away with its last process, failed or not.
    g_variant_builder_add(&properties, "(sv)", "CollectMode",
                          g_variant_new_string("inactive-or-failed"));
    return g_variant_new("(ss@a(sv)@a(sa(sv)))", request.unitName.c_str(), "fail",
                         g_variant_builder_end(&properties),
                         g_variant_new_array(G_VARIANT_TYPE("(sa(sv))"), nullptr, 0));
}

} // namespace

BackgroundScopePlacer::~BackgroundScopePlacer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void BackgroundScopePlacer::place(pid_t pid, const std::string& program) {
    if (pid <= 0)
        return;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({pid, unitName(pid, program)});
        if (!worker_.joinable()) {
            try {
                worker_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                // At the process limit the program stays in the daemon's unit; the next
                // launch tries again.
                pending_.clear();
                return;
            }
        }
    }
    wake_.notify_one();
}

void BackgroundScopePlacer::run() {
    // Signals are for the daemon's main thread.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (;;) {
        ScopeRequest request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (stopping_)
                return;
            request = std::move(pending_.front());
            pending_.pop_front();
        }
        send_(request);
    }
}

std::string BackgroundScopePlacer::unitName(pid_t pid, const std::string& program) {
    std::string name = program.substr(program.find_last_of('/') + 1);
    if (name.ends_with(".desktop"))
        name.resize(name.size() - 8);
    if (name.size() > 100)
        name.resize(100);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != ':')
            c = '_';
    if (name.empty())
        name = "program";
    return "app-presto-" + name + "-" + std::to_string(pid) + ".scope";
}

std::string startTransientScopeParameters(const ScopeRequest& request) {
    GVariant* value = g_variant_ref_sink(parameters(request));
    gchar* text = g_variant_print(value, TRUE);
    std::string result = text;
    g_free(text);
    g_variant_unref(value);
    return result;
}

void startTransientScope(const ScopeRequest& request) {
    const GDBus* g = loadedGDBus();
    const std::string address = sessionBusAddress();
    if (!g || address.empty())
        return;
    // One connection for the life of the worker that sends.
    static thread_local GDBusConnection* bus = nullptr;
    if (!bus) {
        GError* error = nullptr;
        bus = g->connectionNewForAddressSync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (error)
            g_error_free(error);
        if (!bus)
            return;
    }
    GError* error = nullptr;
    GVariant* reply = g->connectionCallSync(
        bus, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
        "org.freedesktop.systemd1.Manager", "StartTransientUnit", parameters(request),
        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 10'000, nullptr, &error);
    if (reply)
        g_variant_unref(reply);
    if (error)
        g_error_free(error);
}

bool runsAsDaemonUnit(const std::string& cgroupFile) {
    std::ifstream in(cgroupFile);
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with("0::") && line.ends_with(std::string("/") + kDaemonUnit))
            return true;
    return false;
}

ScopePlacer* systemdScopePlacer() {
    // Never destroyed: its worker may be sending while the process exits.
    static ScopePlacer* placer =
        runsAsDaemonUnit() ? new BackgroundScopePlacer(&startTransientScope) : nullptr;
    return placer;
}

} // namespace presto
