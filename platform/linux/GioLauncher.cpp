#include "platform/linux/GioLauncher.h"

#include "platform/linux/Subprocess.h"

#include <cerrno>
#include <dlfcn.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace presto {
namespace {

// GIO brings GObject, libmount, libblkid, libselinux and more, over a megabyte resident in the
// daemon from its start, yet only documents, folders and .desktop files need it: it is loaded at
// the first of those launches and stays. Only these entry points are used; GLib itself is linked.
struct Gio {
    decltype(&g_desktop_app_info_new_from_filename) desktopAppInfoNewFromFilename;
    decltype(&g_app_info_launch) appInfoLaunch;
    decltype(&g_app_info_launch_default_for_uri) appInfoLaunchDefaultForUri;
    decltype(&g_file_new_for_path) fileNewForPath;
    decltype(&g_file_get_uri) fileGetUri;
    decltype(&g_io_error_quark) ioErrorQuark;
    decltype(&g_object_unref) objectUnref;
};

template <typename Function> bool bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

// Null when GIO cannot be loaded.
const Gio* loadedGio() {
    static const std::optional<Gio> loaded = []() -> std::optional<Gio> {
        void* library = dlopen("libgio-2.0.so.0", RTLD_LAZY | RTLD_LOCAL);
        if (!library)
            return std::nullopt;
        Gio g{};
        bool complete =
            bind(library, "g_desktop_app_info_new_from_filename",
                 g.desktopAppInfoNewFromFilename) &&
            bind(library, "g_app_info_launch", g.appInfoLaunch) &&
            bind(library, "g_app_info_launch_default_for_uri", g.appInfoLaunchDefaultForUri) &&
            bind(library, "g_file_new_for_path", g.fileNewForPath) &&
            bind(library, "g_file_get_uri", g.fileGetUri) &&
            bind(library, "g_io_error_quark", g.ioErrorQuark) &&
            bind(library, "g_object_unref", g.objectUnref);
        return complete ? std::optional<Gio>(g) : std::nullopt;
    }();
    return loaded ? &*loaded : nullptr;
}

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

int launchDesktopFile(const std::string& desktopFile, const std::vector<std::string>& paths) {
    const Gio* g = loadedGio();
    if (!g)
        return kLaunchFailed;
    GDesktopAppInfo* app = g->desktopAppInfoNewFromFilename(desktopFile.c_str());
    if (!app)
        return kLaunchNoApplication;
    GList* files = nullptr;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        files = g_list_prepend(files, g->fileNewForPath(it->c_str()));
    g_autoptr(GError) error = nullptr;
    // A GDesktopAppInfo is a GAppInfo; the checked cast would link GObject.
    gboolean launched = g->appInfoLaunch(reinterpret_cast<GAppInfo*>(app), files, nullptr, &error);
    g_list_free_full(files, g->objectUnref);
    g->objectUnref(app);
    return launched ? 0 : fromGError(*g, error);
}

int openWithDefaultApplication(const std::string& path) {
    const Gio* g = loadedGio();
    if (!g)
        return kLaunchFailed;
    GFile* file = g->fileNewForPath(path.c_str());
    g_autofree char* uri = g->fileGetUri(file);
    g->objectUnref(file);
    g_autoptr(GError) error = nullptr;
    return g->appInfoLaunchDefaultForUri(uri, nullptr, &error) ? 0 : fromGError(*g, error);
}

int startApplication(const std::string& appPath, const std::vector<std::string>& paths) {
    switch (classify(appPath)) {
    case ItemKind::Missing:
        return kLaunchNoSuchFile;
    case ItemKind::DesktopFile:
        return launchDesktopFile(appPath, paths);
    case ItemKind::Executable: {
        std::vector<std::string> argv{appPath};
        argv.insert(argv.end(), paths.begin(), paths.end());
        return fromErrno(subprocess::spawnDetached(argv));
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
    switch (classify(path)) {
    case ItemKind::Missing:
        return kLaunchNoSuchFile;
    case ItemKind::DesktopFile:
        return launchDesktopFile(path, {});
    case ItemKind::Executable:
        return fromErrno(subprocess::spawnDetached({path}));
    case ItemKind::Other:
        break;
    }
    return openWithDefaultApplication(path);
}

int GioLauncher::openSelectionWith(const std::string& appPath) {
    {
        std::lock_guard lock(mutex_);
        startedWithSelection_.clear();
    }
    std::vector<std::string> selection = finder_.selection();
    if (selection.empty())
        return 0;
    int result = startApplication(appPath, selection);
    if (result == 0) {
        std::lock_guard lock(mutex_);
        startedWithSelection_ = appPath;
    }
    return result;
}

} // namespace presto
