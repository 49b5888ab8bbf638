#include "common/FileTree.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace presto {
namespace {

// Removes the contents of an open folder; closes the descriptor.
int removeContents(int fd) {
    DIR* dir = fdopendir(fd);
    if (!dir) {
        int error = errno;
        close(fd);
        return error;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    int first = 0;
    for (const std::string& name : names) {
        int error = removeTreeAt(dirfd(dir), name);
        if (first == 0)
            first = error;
    }
    closedir(dir);
    return first;
}

} // namespace

int removeTreeAt(int dirFd, const std::string& name) {
    if (unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT)
        return 0;
    if (errno != EISDIR && errno != EPERM)
        return errno;
    int fd = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int first = removeContents(fd);
    if (unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0 && first == 0)
        first = errno;
    return first;
}

int removeTree(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string parent = ".";
    std::string name = path;
    if (slash != std::string::npos) {
        parent.assign(path, 0, slash == 0 ? 1 : slash);
        name.assign(path, slash + 1, std::string::npos);
    }
    int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = removeTreeAt(fd, name);
    close(fd);
    return error;
}

int emptyFolder(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? 0 : errno;
    return removeContents(fd);
}

} // namespace presto
