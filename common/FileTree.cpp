#include "common/FileTree.h"

#include "common/UniqueFd.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace presto {
namespace {

struct Entry {
    struct stat st {};
    bool mountRoot = false;
};

int lookAt(int dirFd, const char* name, Entry& entry) {
    struct statx sx {};
    if (statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_INO, &sx) != 0)
        return errno;
    entry.st.st_mode = sx.stx_mode;
    entry.st.st_ino = sx.stx_ino;
    entry.st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    entry.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                      (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return 0;
}

int emptyOn(int fd, dev_t device);

// `seen` is what the caller found at the name; the entry is removed only while it is that one.
int removeEntry(int dirFd, const std::string& name, const Entry& seen, dev_t device) {
    if (!S_ISDIR(seen.st.st_mode))
        return unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT ? 0 : errno;
    if (seen.st.st_dev != device || seen.mountRoot)
        return EXDEV;
    UniqueFd fd(
        openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return errno;
    struct stat opened {};
    if (fstat(fd.get(), &opened) != 0)
        return errno;
    if (opened.st_dev != seen.st.st_dev || opened.st_ino != seen.st.st_ino)
        return ESTALE; // swapped between the look and the open
    int first = emptyOn(fd.get(), device);
    if (unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0 && first == 0)
        first = errno;
    return first;
}

int emptyOn(int fd, dev_t device) {
    std::vector<std::string> names;
    int first = listFolder(fd, names);
    // What could be listed still goes; the folder then stays with the rest.
    for (const std::string& name : names) {
        Entry entry;
        int error = lookAt(fd, name.c_str(), entry);
        if (error == 0)
            error = removeEntry(fd, name, entry, device);
        if (first == 0 && error != ENOENT)
            first = error;
    }
    return first;
}

} // namespace

int listFolder(int fd, std::vector<std::string>& names) {
    int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return errno;
    DIR* dir = fdopendir(own);
    if (!dir) {
        int error = errno;
        close(own);
        return error;
    }
    rewinddir(dir);
    int error = 0;
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        names.emplace_back(name);
    }
    closedir(dir);
    return error;
}

int removeTreeAt(int dirFd, const std::string& name) {
    struct stat folder {};
    if (fstat(dirFd, &folder) != 0)
        return errno;
    Entry entry;
    if (int error = lookAt(dirFd, name.c_str(), entry))
        return error == ENOENT ? 0 : error;
    return removeEntry(dirFd, name, entry, folder.st_dev);
}

int removeTreeAt(int dirFd, const std::string& name, const struct stat& expected) {
    struct stat folder {};
    if (fstat(dirFd, &folder) != 0)
        return errno;
    Entry entry;
    if (int error = lookAt(dirFd, name.c_str(), entry))
        return error;
    if (entry.st.st_dev != expected.st_dev || entry.st.st_ino != expected.st_ino)
        return ESTALE;
    return removeEntry(dirFd, name, entry, folder.st_dev);
}

int emptyFolderAt(int fd) {
    struct stat folder {};
    if (fstat(fd, &folder) != 0)
        return errno;
    return emptyOn(fd, folder.st_dev);
}

} // namespace presto
