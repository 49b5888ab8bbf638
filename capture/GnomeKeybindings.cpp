#include "capture/GnomeKeybindings.h"

#include "capture/KeyText.h"
#include "capture/ShortcutText.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#include <set>

namespace presto {
namespace {

constexpr char kListSchema[] = "org.gnome.settings-daemon.plugins.media-keys";
constexpr char kEntrySchema[] = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr char kListKey[] = "custom-keybindings";
constexpr char kBasePath[] = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
constexpr char kOwnName[] = "presto-";

bool isOwnPath(const std::string& path) {
    return path.rfind(std::string(kBasePath) + kOwnName, 0) == 0;
}

std::string pathFor(const HotKeyRec& rec) {
    return std::string(kBasePath) + kOwnName + shortcutId(rec) + "/";
}

std::vector<std::string> readList(GSettings* settings) {
    std::vector<std::string> list;
    gchar** paths = g_settings_get_strv(settings, kListKey);
    for (gchar** p = paths; p && *p; ++p)
        list.emplace_back(*p);
    g_strfreev(paths);
    return list;
}

std::string readString(GSettings* settings, const char* key) {
    gchar* value = g_settings_get_string(settings, key);
    std::string text = value ? value : "";
    g_free(value);
    return text;
}

bool hasSchema(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return false;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
    if (!schema)
        return false;
    g_settings_schema_unref(schema);
    return true;
}

} // namespace

bool GnomeKeybindings::available() {
    return hasSchema(kListSchema) && hasSchema(kEntrySchema);
}

GnomeKeybindings::GnomeKeybindings(Listener listener, std::string command,
                                   GSettingsBackend* backend)
    : listener_(std::move(listener)), command_(std::move(command)), backend_(backend) {
    if (backend_)
        g_object_ref(backend_);
    list_ =
        backend_ ? g_settings_new_with_backend(kListSchema, backend_) : g_settings_new(kListSchema);
    writeEntries({}, {});
}

GnomeKeybindings::~GnomeKeybindings() {
    writeEntries({}, {});
    g_object_unref(list_);
    if (backend_)
        g_object_unref(backend_);
}

GSettings* GnomeKeybindings::entrySettings(const std::string& path) const {
    return backend_ ? g_settings_new_with_backend_and_path(kEntrySchema, backend_, path.c_str())
                    : g_settings_new_with_path(kEntrySchema, path.c_str());
}

std::string GnomeKeybindings::commandFor(const HotKeyRec& rec) const {
    return command_ + " " + std::to_string(rec.keyCode) + " " +
           std::to_string(clearIgnoredModFlags(rec.modFlags));
}

void GnomeKeybindings::dispatchEvents(const PressHandler&) {
    // GSettings queues a change notice on the default main context for every write (ours and
    // the file monitor's); nobody listens, but unrun they would pile up all session long.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

void GnomeKeybindings::setHotKeys(std::vector<HotKeyRec> hotKeys) {
    // Bindings the user gave their own entries: GNOME would fire only one of the two.
    std::set<std::string> usersBindings;
    for (const std::string& path : readList(list_)) {
        if (isOwnPath(path))
            continue;
        GSettings* entry = entrySettings(path);
        usersBindings.insert(readString(entry, "binding"));
        g_object_unref(entry);
    }

    std::map<std::string, Entry> wanted;
    std::vector<std::string> order;
    int taken = 0;
    for (const HotKeyRec& rec : hotKeys) {
        auto binding = gnomeAccelerator(rec);
        if (!binding) {
            if (listener_.problem)
                listener_.problem(rec, GrabProblem::Unexpressible);
            continue;
        }
        if (usersBindings.count(*binding)) {
            if (listener_.problem)
                listener_.problem(rec, GrabProblem::HeldElsewhere);
            continue;
        }
        const std::string path = pathFor(rec);
        if (wanted.count(path))
            continue; // the same hot key twice in the table: one entry does
        wanted[path] = {"Presto " + describeHotKey(rec), commandFor(rec), *binding};
        order.push_back(path);
        ++taken;
    }
    writeEntries(wanted, order);
    if (listener_.renewed)
        listener_.renewed(taken, static_cast<int>(hotKeys.size()));
}

void GnomeKeybindings::writeEntries(const std::map<std::string, Entry>& wanted,
                                    const std::vector<std::string>& order) {
    const std::vector<std::string> current = readList(list_);
    std::vector<std::string> list;
    for (const std::string& path : current) {
        if (!isOwnPath(path)) {
            list.push_back(path);
        } else if (!wanted.count(path)) {
            GSettings* entry = entrySettings(path);
            for (const char* key : {"name", "command", "binding"})
                g_settings_reset(entry, key);
            g_object_unref(entry);
        }
    }
    for (const std::string& path : order) {
        const Entry& want = wanted.at(path);
        GSettings* entry = entrySettings(path);
        // The binding last, so GNOME never binds a key to a half-written entry.
        if (readString(entry, "name") != want.name)
            g_settings_set_string(entry, "name", want.name.c_str());
        if (readString(entry, "command") != want.command)
            g_settings_set_string(entry, "command", want.command.c_str());
        if (readString(entry, "binding") != want.binding)
            g_settings_set_string(entry, "binding", want.binding.c_str());
        g_object_unref(entry);
        list.push_back(path);
    }
    if (list != current) {
        std::vector<const gchar*> strv;
        for (const std::string& path : list)
            strv.push_back(path.c_str());
        strv.push_back(nullptr);
        g_settings_set_strv(list_, kListKey, strv.data());
    }
    g_settings_sync();
}

} // namespace presto
