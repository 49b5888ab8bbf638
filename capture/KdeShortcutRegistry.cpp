#include "capture/KdeShortcutRegistry.h"

#include <gio/gio.h>

namespace presto::kde {
namespace {

constexpr char kService[] = "org.kde.kglobalaccel";
constexpr char kRegistryPath[] = "/kglobalaccel";
constexpr char kRegistryInterface[] = "org.kde.KGlobalAccel";
constexpr char kComponentInterface[] = "org.kde.kglobalaccel.Component";
constexpr int kTimeoutMs = 5000;
constexpr int kReleaseWaits = 150;
constexpr gulong kReleaseStepMicros = 20000;
// A shortcut's description: id, its name, component id, component name, context id, context
// name, active keys, default keys.
constexpr char kInfoListType[] = "a(ssssssaiai)";

GVariant* call(GDBusConnection* bus, const std::string& path, const char* interface,
               const char* method, GVariant* parameters, const char* replyType) {
    return g_dbus_connection_call_sync(bus, kService, path.c_str(), interface, method, parameters,
                                       G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                       kTimeoutMs, nullptr, nullptr);
}

std::string componentPath(GDBusConnection* bus, const std::string& component) {
    GVariant* reply = call(bus, kRegistryPath, kRegistryInterface, "getComponent",
                           g_variant_new("(s)", component.c_str()), "(o)");
    if (!reply)
        return "";
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    std::string result = path;
    g_variant_unref(reply);
    return result;
}

// The first key of a key list; 0 for none.
gint32 firstKey(GVariant* keys) {
    gint32 key = 0;
    for (gsize i = 0; i < g_variant_n_children(keys) && key == 0; ++i)
        g_variant_get_child(keys, i, "i", &key);
    return key;
}

bool heldByAnother(GDBusConnection* bus, gint32 key, const std::string& component) {
    GVariant* reply = call(bus, kRegistryPath, kRegistryInterface, "getGlobalShortcutsByKey",
                           g_variant_new("(i)", key), "(a(ssssssaiai))");
    if (!reply)
        return false;
    GVariant* infos = g_variant_get_child_value(reply, 0);
    bool held = false;
    for (gsize i = 0; i < g_variant_n_children(infos) && !held; ++i) {
        const gchar* owner = nullptr;
        g_variant_get_child(infos, i, "(&s&s&s&s&s&s@ai@ai)", nullptr, nullptr, &owner, nullptr,
                            nullptr, nullptr, nullptr, nullptr);
        held = component != owner;
    }
    g_variant_unref(infos);
    g_variant_unref(reply);
    return held;
}

} // namespace

std::optional<std::map<std::string, KeyState>> shortcutStates(GDBusConnection* bus,
                                                              const std::string& component) {
    const std::string path = componentPath(bus, component);
    if (path.empty())
        return std::nullopt;
    GVariant* reply = call(bus, path, kComponentInterface, "allShortcutInfos", nullptr,
                           (std::string("(") + kInfoListType + ")").c_str());
    if (!reply)
        return std::nullopt;
    std::map<std::string, KeyState> states;
    GVariant* infos = g_variant_get_child_value(reply, 0);
    for (gsize i = 0; i < g_variant_n_children(infos); ++i) {
        const gchar* id = nullptr;
        GVariant* keys = nullptr;
        GVariant* defaults = nullptr;
        g_variant_get_child(infos, i, "(&s&s&s&s&s&s@ai@ai)", &id, nullptr, nullptr, nullptr,
                            nullptr, nullptr, &keys, &defaults);
        KeyState state = KeyState::Active;
        if (firstKey(keys) == 0) {
            const gint32 wanted = firstKey(defaults);
            state = wanted != 0 && heldByAnother(bus, wanted, component) ? KeyState::HeldElsewhere
                                                                         : KeyState::Inactive;
        }
        states[id] = state;
        g_variant_unref(keys);
        g_variant_unref(defaults);
    }
    g_variant_unref(infos);
    g_variant_unref(reply);
    return states;
}

void dropClosedSessionsShortcuts(GDBusConnection* bus, const std::string& component) {
    const std::string path = componentPath(bus, component);
    if (path.empty())
        return;
    for (int wait = 0; wait < kReleaseWaits; ++wait) {
        GVariant* reply = call(bus, path, kComponentInterface, "isActive", nullptr, "(b)");
        gboolean held = FALSE;
        if (reply) {
            g_variant_get(reply, "(b)", &held);
            g_variant_unref(reply);
        }
        if (!held)
            break;
        g_usleep(kReleaseStepMicros);
    }
    if (GVariant* reply = call(bus, path, kComponentInterface, "cleanUp", nullptr, "(b)"))
        g_variant_unref(reply);
}

} // namespace presto::kde
