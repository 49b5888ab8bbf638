#include "capture/ReloadWatch.h"

#include "common/ReloadNotice.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {

ReloadWatch::ReloadWatch(const std::string& runtimeDir) {
    if (runtimeDir.empty() || (::mkdir(runtimeDir.c_str(), 0700) != 0 && errno != EEXIST))
        return;
    UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd)
        return;
    if (::inotify_add_watch(fd.get(), runtimeDir.c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR) < 0)
        return;
    fd_ = std::move(fd);
}

bool ReloadWatch::takeNotice() {
    if (!fd_)
        return false;
    bool notice = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            // An overflow may have dropped the notice itself.
            if ((event->mask & IN_Q_OVERFLOW) ||
                (event->len > 0 && std::strcmp(event->name, kReloadNoticeName) == 0))
                notice = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return notice;
}

} // namespace presto
