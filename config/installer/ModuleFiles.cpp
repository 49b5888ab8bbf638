#include "config/installer/ModuleFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto::modules {

std::string daemonUnitText() {
    return "[Unit]\n"
           "Description=Presto hot key daemon\n"
           "PartOf=graphical-session.target\n"
           "After=graphical-session.target\n"
           "\n"
           "[Service]\n"
           "ExecStart=/opt/Presto/Presto.daemon\n"
           "Restart=on-failure\n"
           "\n"
           "[Install]\n"
           "WantedBy=graphical-session.target\n";
}

std::string keysUnitText() {
    return "[Unit]\n"
           "Description=Presto key-capture agent\n"
           "PartOf=graphical-session.target\n"
           "After=graphical-session.target com.nimbo.Presto.daemon.service\n"
           "\n"
           "[Service]\n"
           "ExecStart=/opt/Presto/PrestoKeys\n"
           "Restart=on-failure\n"
           "\n"
           "[Install]\n"
           "WantedBy=graphical-session.target\n";
}

std::string autostartEntryText() {
    // Outside a systemd-managed session the user manager lacks the display the agent needs.
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Presto\n"
           "Comment=Starts the Presto hot key service\n"
           "Exec=sh -c \"systemctl --user import-environment DISPLAY XAUTHORITY WAYLAND_DISPLAY; "
           "exec systemctl --user start com.nimbo.Presto.daemon.service "
           "com.nimbo.Presto.keys.service\"\n"
           "NoDisplay=true\n"
           "X-systemd-skip=true\n";
}

std::string applicationEntryText() {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Presto\n"
           "GenericName=Hot Key Launcher\n"
           "Comment=Bind key combinations to files, applications and clipboard snapshots\n"
           "Exec=/opt/Presto/Presto\n"
           "Icon=com.nimbo.Presto\n"
           "Terminal=false\n"
           "Categories=Utility;\n";
}

bool writeNewFile(const std::string& path, const std::string& text, unsigned mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    // The umask must not take the read bits the copies need.
    const bool ok = done == text.size() && fchmod(fd, mode) == 0;
    return close(fd) == 0 && ok;
}

} // namespace presto::modules
