#include "platform/linux/GioTrash.h"

#include "common/FileTree.h"
#include "common/UniqueFd.h"
#include "platform/linux/LazyGio.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <gio/gio.h>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace presto {
namespace {

// Loaded at the first use and kept, as for launching: most sessions never touch the trash.
struct Gio {
    decltype(&g_file_new_for_path) fileNewForPath;
    decltype(&g_file_new_for_uri) fileNewForUri;
    decltype(&g_file_trash) fileTrash;
    decltype(&g_file_delete) fileDelete;
    decltype(&g_file_enumerate_children) fileEnumerateChildren;
    decltype(&g_file_enumerator_next_file) enumeratorNextFile;
    decltype(&g_file_enumerator_get_child) enumeratorGetChild;
    decltype(&g_vfs_get_default) vfsGetDefault;
    decltype(&g_vfs_get_supported_uri_schemes) vfsGetSupportedUriSchemes;
    decltype(&g_io_error_quark) ioErrorQuark;
    decltype(&g_object_unref) objectUnref;

    bool bind(void* library) {
        return bindSymbol(library, "g_file_new_for_path", fileNewForPath) &&
               bindSymbol(library, "g_file_new_for_uri", fileNewForUri) &&
               bindSymbol(library, "g_file_trash", fileTrash) &&
               bindSymbol(library, "g_file_delete", fileDelete) &&
               bindSymbol(library, "g_file_enumerate_children", fileEnumerateChildren) &&
               bindSymbol(library, "g_file_enumerator_next_file", enumeratorNextFile) &&
               bindSymbol(library, "g_file_enumerator_get_child", enumeratorGetChild) &&
               bindSymbol(library, "g_vfs_get_default", vfsGetDefault) &&
               bindSymbol(library, "g_vfs_get_supported_uri_schemes", vfsGetSupportedUriSchemes) &&
               bindSymbol(library, "g_io_error_quark", ioErrorQuark) &&
               bindSymbol(library, "g_object_unref", objectUnref);
    }
};

int errnoOf(const Gio& g, const GError* error) {
    if (!error || error->domain != g.ioErrorQuark())
        return EIO;
    switch (error->code) {
    case G_IO_ERROR_NOT_FOUND:
        return ENOENT;
    case G_IO_ERROR_PERMISSION_DENIED:
        return EACCES;
    case G_IO_ERROR_NOT_SUPPORTED:
        return ENOTSUP;
    default:
        return EIO;
    }
}

bool hasTrashBackend(const Gio& g) {
    GVfs* vfs = g.vfsGetDefault();
    const gchar* const* schemes = vfs ? g.vfsGetSupportedUriSchemes(vfs) : nullptr;
    for (; schemes && *schemes; ++schemes)
        if (std::string_view(*schemes) == "trash")
            return true;
    return false;
}

int emptyThroughBackend(const Gio& g) {
    GFile* trash = g.fileNewForUri("trash:///");
    g_autoptr(GError) error = nullptr;
    GFileEnumerator* children = g.fileEnumerateChildren(
        trash, "standard::name", G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, &error);
    int first = children ? 0 : errnoOf(g, error);
    while (children) {
        g_autoptr(GError) nextError = nullptr;
        GFileInfo* info = g.enumeratorNextFile(children, nullptr, &nextError);
        if (!info) {
            if (nextError && first == 0)
                first = errnoOf(g, nextError);
            break;
        }
        GFile* child = g.enumeratorGetChild(children, info);
        g_autoptr(GError) deleteError = nullptr;
        if (!g.fileDelete(child, nullptr, &deleteError) && first == 0)
            first = errnoOf(g, deleteError);
        g.objectUnref(child);
        g.objectUnref(info);
    }
    if (children)
        g.objectUnref(children);
    g.objectUnref(trash);
    return first;
}

// Opens a trash folder (or the shared folder above one) without following a link; -1 when it is
// not a real folder.
int openFolder(int dirFd, const char* name) {
    return openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

bool isOwnFolder(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

int emptyTrashFolder(int trash) {
    int first = 0;
    for (const char* part : {"files", "info"}) {
        UniqueFd fd(openFolder(trash, part));
        int error = !fd                     ? (errno == ENOENT ? 0 : errno)
                    : isOwnFolder(fd.get()) ? emptyFolderAt(fd.get())
                                            : EPERM;
        if (first == 0)
            first = error;
    }
    unlinkat(trash, "directorysizes", 0);
    return first;
}

// mountinfo escapes blanks and backslashes as octal.
std::string unescapeMountPath(const std::string& field) {
    std::string path;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            int value = 0;
            bool octal = true;
            for (std::size_t k = 1; k <= 3; ++k) {
                char c = field[i + k];
                octal = octal && c >= '0' && c <= '7';
                value = value * 8 + (c - '0');
            }
            if (octal) {
                path += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        path += field[i];
    }
    return path;
}

} // namespace

GioTrash::GioTrash(Options options) : options_(std::move(options)) {
    if (!options_.mountPoints)
        options_.mountPoints = systemMountPoints;
}

std::vector<std::string> GioTrash::systemMountPoints() {
    std::vector<std::string> points;
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (fields >> id >> parent >> device >> root >> mountPoint)
            points.push_back(unescapeMountPath(mountPoint));
    }
    return points;
}

int GioTrash::moveToTrash(const std::vector<std::string>& paths) {
    if (paths.empty())
        return 0;
    const Gio* g = lazyGioTable<Gio>();
    if (!g)
        return ENOSYS;
    int first = 0;
    for (const std::string& path : paths) {
        GFile* file = g->fileNewForPath(path.c_str());
        g_autoptr(GError) error = nullptr;
        if (!g->fileTrash(file, nullptr, &error) && first == 0)
            first = errnoOf(*g, error);
        g->objectUnref(file);
    }
    return first;
}

int GioTrash::emptyTrash() {
    if (options_.useTrashBackend) {
        const Gio* g = lazyGioTable<Gio>();
        if (g && hasTrashBackend(*g))
            return emptyThroughBackend(*g);
    }
    return emptyFolders();
}

int GioTrash::emptyFolders() {
    int first = 0;
    // `trash` is open already; `path` names it for the test hook.
    auto empty = [&](UniqueFd trash, const std::string& path) {
        if (!trash || !isOwnFolder(trash.get()))
            return;
        if (options_.beforeEmptying)
            options_.beforeEmptying(path);
        int error = emptyTrashFolder(trash.get());
        if (first == 0)
            first = error;
    };
    empty(UniqueFd(openFolder(AT_FDCWD, options_.homeTrash.c_str())), options_.homeTrash);
    const std::string uid = std::to_string(getuid());
    for (const std::string& mount : options_.mountPoints()) {
        UniqueFd top(open(mount.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
        if (!top)
            continue;
        const std::string prefix = mount == "/" ? "" : mount;
        // A shared .Trash counts only when it is a real folder with the sticky bit.
        UniqueFd shared(openFolder(top.get(), ".Trash"));
        struct stat st {};
        if (shared && fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX))
            empty(UniqueFd(openFolder(shared.get(), uid.c_str())), prefix + "/.Trash/" + uid);
        empty(UniqueFd(openFolder(top.get(), (".Trash-" + uid).c_str())),
              prefix + "/.Trash-" + uid);
    }
    return first;
}

} // namespace presto
