#include "platform/linux/GioLauncher.h"

#include "platform/linux/LazyGio.h"
#include "platform/linux/Subprocess.h"

#include <algorithm>
#include <cerrno>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace presto {
namespace {

// GIO brings GObject, libmount, libblkid, libselinux and more, over a megabyte resident in the
// daemon from its start, yet only documents, folders and .desktop files need it: it is loaded at
// the first of those launches and stays. Only these entry points are used; GLib itself is linked.
struct Gio {
    decltype(&g_desktop_app_info_new_from_filename) desktopAppInfoNewFromFilename;
    decltype(&g_desktop_app_info_launch_uris_as_manager) desktopAppInfoLaunchUrisAsManager;
    decltype(&g_desktop_app_info_has_key) desktopAppInfoHasKey;
    decltype(&g_desktop_app_info_get_type) desktopAppInfoGetType;
    decltype(&g_type_check_instance_is_a) typeCheckInstanceIsA;
    decltype(&g_app_info_launch_uris) appInfoLaunchUris;
    decltype(&g_file_query_default_handler) fileQueryDefaultHandler;
    decltype(&g_file_new_for_path) fileNewForPath;
    decltype(&g_file_get_uri) fileGetUri;
    decltype(&g_io_error_quark) ioErrorQuark;
    decltype(&g_object_unref) objectUnref;
    decltype(&g_app_launch_context_new) appLaunchContextNew;
    decltype(&g_app_launch_context_setenv) appLaunchContextSetenv;
    decltype(&g_app_launch_context_unsetenv) appLaunchContextUnsetenv;
    decltype(&g_signal_connect_data) signalConnectData;

    bool bind(void* library) {
        return bindSymbol(library, "g_desktop_app_info_new_from_filename",
                          desktopAppInfoNewFromFilename) &&
               bindSymbol(library, "g_desktop_app_info_launch_uris_as_manager",
                          desktopAppInfoLaunchUrisAsManager) &&
               bindSymbol(library, "g_desktop_app_info_has_key", desktopAppInfoHasKey) &&
               bindSymbol(library, "g_desktop_app_info_get_type", desktopAppInfoGetType) &&
               bindSymbol(library, "g_type_check_instance_is_a", typeCheckInstanceIsA) &&
               bindSymbol(library, "g_app_info_launch_uris", appInfoLaunchUris) &&
               bindSymbol(library, "g_file_query_default_handler", fileQueryDefaultHandler) &&
               bindSymbol(library, "g_file_new_for_path", fileNewForPath) &&
               bindSymbol(library, "g_file_get_uri", fileGetUri) &&
               bindSymbol(library, "g_io_error_quark", ioErrorQuark) &&
               bindSymbol(library, "g_object_unref", objectUnref) &&
               bindSymbol(library, "g_app_launch_context_new", appLaunchContextNew) &&
               bindSymbol(library, "g_app_launch_context_setenv", appLaunchContextSetenv) &&
               bindSymbol(library, "g_app_launch_context_unsetenv", appLaunchContextUnsetenv) &&
               bindSymbol(library, "g_signal_connect_data", signalConnectData);
    }
};

enum class ItemKind { Missing, DesktopFile, Executable, Other };

ItemKind classify(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return ItemKind::Missing;
    if (!S_ISREG(st.st_mode))
        return ItemKind::Other;
    if (path.ends_with(".desktop"))
        return ItemKind::DesktopFile;
    if (access(path.c_str(), X_OK) == 0)
        return ItemKind::Executable;
    return ItemKind::Other;
}

int fromErrno(int error) {
    if (error == 0)
        return 0;
    return error == ENOENT ? kLaunchNoSuchFile : kLaunchFailed;
}

int fromGError(const Gio& g, const GError* error) {
    const GQuark ioError = g.ioErrorQuark();
    if (g_error_matches(error, ioError, G_IO_ERROR_NOT_SUPPORTED) ||
        g_error_matches(error, ioError, G_IO_ERROR_NOT_FOUND))
        return kLaunchNoApplication;
    return kLaunchFailed;
}

// The session's display variables, each with its value or nullopt for unset.
using DisplayVariables = std::vector<std::pair<std::string, std::optional<std::string>>>;

// What every launch does with the program it starts.
struct LaunchSetup {
    const LaunchPlan& plan;
    // Empty: the program gets our environment as it is.
    DisplayVariables display;
};

DisplayVariables currentDisplay(SessionEnvironment* session) {
    const auto environment = session ? session->read() : std::nullopt;
    if (!environment)
        return {};
    DisplayVariables display;
    for (const char* name : kSessionVariables) {
        const std::string prefix = std::string(name) + "=";
        std::optional<std::string> value;
        for (const std::string& entry : *environment)
            if (entry.starts_with(prefix))
                value = entry.substr(prefix.size());
        display.emplace_back(name, std::move(value));
    }
    return display;
}

// Our environment with the session's display in place.
std::vector<std::string> environmentWith(const DisplayVariables& display) {
    std::vector<std::string> result;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(display.begin(), display.end(), [&](const auto& v) {
            return entry.starts_with(v.first) && entry.size() > v.first.size() &&
                   entry[v.first.size()] == '=';
        });
        if (!replaced)
            result.emplace_back(entry);
    }
    for (const auto& [name, value] : display)
        if (value)
            result.push_back(name + "=" + *value);
    return result;
}

// Hands each program GIO started to the scope placer, with the name of what was launched.
struct LaunchWatch {
    ScopePlacer* scopes;
    std::string item;
};

void onLaunched(GAppLaunchContext*, GAppInfo*, GVariant* platformData, gpointer data) {
    const auto* watch = static_cast<const LaunchWatch*>(data);
    gint32 pid = 0;
    if (platformData && g_variant_lookup(platformData, "pid", "i", &pid) && pid > 0)
        watch->scopes->place(pid, watch->item);
}

// A launch context with the session's display that reports started programs; null when neither
// is wanted.
GAppLaunchContext* launchContext(const Gio& g, const LaunchSetup& setup, LaunchWatch& watch) {
    if (!watch.scopes && setup.display.empty())
        return nullptr;
    GAppLaunchContext* context = g.appLaunchContextNew();
    for (const auto& [name, value] : setup.display) {
        if (value)
            g.appLaunchContextSetenv(context, name.c_str(), value->c_str());
        else
            g.appLaunchContextUnsetenv(context, name.c_str());
    }
    if (watch.scopes)
        g.signalConnectData(context, "launched", G_CALLBACK(onLaunched), &watch, nullptr,
                            static_cast<GConnectFlags>(0));
    return context;
}

// Runs in the child between fork and exec: async-signal-safe calls only. A folder that cannot be
// entered leaves the program where we are, which is still a start.
void enterFolder(gpointer folder) {
    [[maybe_unused]] const int ignored = chdir(static_cast<const char*>(folder));
}

// Starts `app` with `uris` in the working folder, unless its entry names a folder of its own.
gboolean launchApp(const Gio& g, GAppInfo* app, GList* uris, const std::string& item,
                   const LaunchSetup& setup, GError** error) {
    const LaunchPlan& plan = setup.plan;
    LaunchWatch watch{plan.scopes, item};
    GAppLaunchContext* context = launchContext(g, setup, watch);
    gboolean launched;
    // Every GAppInfo GIO makes on Linux is a desktop one; anything else starts where we are.
    const auto desktopType = g.desktopAppInfoGetType();
    if (g.typeCheckInstanceIsA(reinterpret_cast<GTypeInstance*>(app), desktopType)) {
        auto* desktop = reinterpret_cast<GDesktopAppInfo*>(app);
        const bool ownFolder =
            plan.workingFolder.empty() || g.desktopAppInfoHasKey(desktop, "Path");
        launched = g.desktopAppInfoLaunchUrisAsManager(
            desktop, uris, context, G_SPAWN_SEARCH_PATH, ownFolder ? nullptr : enterFolder,
            const_cast<char*>(plan.workingFolder.c_str()), nullptr, nullptr, error);
    } else {
        launched = g.appInfoLaunchUris(app, uris, context, error);
    }
    if (context)
        g.objectUnref(context);
    return launched;
}

GList* urisOf(const Gio& g, const std::vector<std::string>& paths) {
    GList* uris = nullptr;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
        GFile* file = g.fileNewForPath(it->c_str());
        uris = g_list_prepend(uris, g.fileGetUri(file));
        g.objectUnref(file);
    }
    return uris;
}

int launchDesktopFile(const std::string& desktopFile, const std::vector<std::string>& paths,
                      const LaunchSetup& setup) {
    const Gio* g = lazyGioTable<Gio>();
    if (!g)
        return kLaunchFailed;
    GDesktopAppInfo* app = g->desktopAppInfoNewFromFilename(desktopFile.c_str());
    if (!app)
        return kLaunchNoApplication;
    GList* uris = urisOf(*g, paths);
    g_autoptr(GError) error = nullptr;
    // A GDesktopAppInfo is a GAppInfo; the checked cast would link GObject.
    const gboolean launched =
        launchApp(*g, reinterpret_cast<GAppInfo*>(app), uris, desktopFile, setup, &error);
    g_list_free_full(uris, g_free);
    g->objectUnref(app);
    return launched ? 0 : fromGError(*g, error);
}

int openWithDefaultApplication(const std::string& path, const LaunchSetup& setup) {
    const Gio* g = lazyGioTable<Gio>();
    if (!g)
        return kLaunchFailed;
    GFile* file = g->fileNewForPath(path.c_str());
    g_autoptr(GError) error = nullptr;
    GAppInfo* app = g->fileQueryDefaultHandler(file, nullptr, &error);
    gboolean launched = false;
    if (app) {
        GList uri{g->fileGetUri(file), nullptr, nullptr};
        launched = launchApp(*g, app, &uri, path, setup, &error);
        g_free(uri.data);
        g->objectUnref(app);
    }
    g->objectUnref(file);
    return launched ? 0 : fromGError(*g, error);
}

// GIO hands files to every application entry: to its %f/%u codes, or one start per file.
bool isApplicationEntry(const std::string& desktopFile) {
    const Gio* g = lazyGioTable<Gio>();
    if (!g)
        return false;
    GDesktopAppInfo* app = g->desktopAppInfoNewFromFilename(desktopFile.c_str());
    if (!app)
        return false;
    g->objectUnref(app);
    return true;
}

// Runs an executable detached; its process goes to the scope placer once it started.
int runExecutable(const std::vector<std::string>& argv, const LaunchSetup& setup) {
    pid_t pid = -1;
    const LaunchPlan& plan = setup.plan;
    const int error = setup.display.empty()
                          ? subprocess::spawnDetached(argv, pid, plan.workingFolder)
                          : subprocess::spawnDetached(argv, pid, plan.workingFolder,
                                                      environmentWith(setup.display));
    if (error == 0 && plan.scopes)
        plan.scopes->place(pid, argv.front());
    return fromErrno(error);
}

int startApplication(const std::string& appPath, const std::vector<std::string>& paths,
                     const LaunchSetup& setup) {
    switch (classify(appPath)) {
    case ItemKind::Missing:
        return kLaunchNoSuchFile;
    case ItemKind::DesktopFile:
        return launchDesktopFile(appPath, paths, setup);
    case ItemKind::Executable: {
        std::vector<std::string> argv{appPath};
        argv.insert(argv.end(), paths.begin(), paths.end());
        return runExecutable(argv, setup);
    }
    case ItemKind::Other:
        break;
    }
    return kLaunchNoApplication;
}

} // namespace

int GioLauncher::openItem(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        // On the Mac this open would only bring the application that just opened the selection
        // to the front; starting it again would open a second instance.
        bool alreadyStarted = !startedWithSelection_.empty() && startedWithSelection_ == path;
        startedWithSelection_.clear();
        if (alreadyStarted)
            return 0;
    }
    const ItemKind kind = classify(path);
    if (kind == ItemKind::Missing)
        return kLaunchNoSuchFile;
    const LaunchSetup setup{plan_, currentDisplay(plan_.session)};
    switch (kind) {
    case ItemKind::DesktopFile:
        return launchDesktopFile(path, {}, setup);
    case ItemKind::Executable:
        return runExecutable({path}, setup);
    case ItemKind::Missing:
    case ItemKind::Other:
        break;
    }
    return openWithDefaultApplication(path, setup);
}

int GioLauncher::openSelectionWith(const std::string& appPath) {
    {
        std::lock_guard lock(mutex_);
        startedWithSelection_.clear();
    }
    std::vector<std::string> selection = finder_.selection();
    if (selection.empty())
        return 0;
    int result = startApplication(appPath, selection, {plan_, currentDisplay(plan_.session)});
    if (result == 0) {
        std::lock_guard lock(mutex_);
        startedWithSelection_ = appPath;
    }
    return result;
}

bool GioLauncher::canOpenFiles(const std::string& path) {
    switch (classify(path)) {
    case ItemKind::DesktopFile:
        return isApplicationEntry(path);
    case ItemKind::Executable:
        return true;
    case ItemKind::Missing:
    case ItemKind::Other:
        break;
    }
    return false;
}

} // namespace presto
