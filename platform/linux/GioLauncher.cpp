#include "platform/linux/GioLauncher.h"

#include "platform/linux/Subprocess.h"

#include <cerrno>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace presto {
namespace {

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

int fromGError(const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND))
        return kLaunchNoApplication;
    return kLaunchFailed;
}

int launchDesktopFile(const std::string& desktopFile, const std::vector<std::string>& paths) {
    g_autoptr(GDesktopAppInfo) app = g_desktop_app_info_new_from_filename(desktopFile.c_str());
    if (!app)
        return kLaunchNoApplication;
    GList* files = nullptr;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        files = g_list_prepend(files, g_file_new_for_path(it->c_str()));
    g_autoptr(GError) error = nullptr;
    gboolean launched = g_app_info_launch(G_APP_INFO(app), files, nullptr, &error);
    g_list_free_full(files, g_object_unref);
    return launched ? 0 : fromGError(error);
}

int openWithDefaultApplication(const std::string& path) {
    g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
    g_autofree char* uri = g_file_get_uri(file);
    g_autoptr(GError) error = nullptr;
    return g_app_info_launch_default_for_uri(uri, nullptr, &error) ? 0 : fromGError(error);
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
