#include "common/ReloadNotice.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {

std::string reloadNoticePath(const std::string& runtimeDir) {
    return runtimeDir + "/" + kReloadNoticeName;
}

bool touchReloadNotice(const std::string& runtimeDir) {
    if (runtimeDir.empty())
        return false;
    if (::mkdir(runtimeDir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    int fd = ::open(reloadNoticePath(runtimeDir).c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    // The close after a write is what the watcher waits for.
    return ::close(fd) == 0;
}

} // namespace presto
