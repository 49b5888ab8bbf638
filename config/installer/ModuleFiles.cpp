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

std::string policyText() {
    // auth_admin without keep: each operation asks once, and nothing is left authorised after it.
    const auto action = [](const char* operation, const char* description, const char* message) {
        return std::string("  <action id=\"com.nimbo.Presto.") + operation +
               "\">\n"
               "    <description>" +
               description +
               "</description>\n"
               "    <message>" +
               message +
               "</message>\n"
               "    <icon_name>com.nimbo.Presto</icon_name>\n"
               "    <defaults>\n"
               "      <allow_any>auth_admin</allow_any>\n"
               "      <allow_inactive>auth_admin</allow_inactive>\n"
               "      <allow_active>auth_admin</allow_active>\n"
               "    </defaults>\n"
               "    <annotate key=\"org.freedesktop.policykit.exec.path\">/opt/Presto/"
               "PrestoInstallHelper</annotate>\n"
               "    <annotate key=\"org.freedesktop.policykit.exec.argv1\">" +
               operation +
               "</annotate>\n"
               "  </action>\n";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD PolicyKit Policy Configuration "
           "1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/PolicyKit/1/policyconfig.dtd\">\n"
           "<policyconfig>\n"
           "  <vendor>Presto</vendor>\n" +
           action("install", "Install or update Presto",
                  "Authentication is required to install Presto's programs in /opt/Presto and "
                  "start its hot key service for every user") +
           action("uninstall", "Uninstall Presto",
                  "Authentication is required to remove Presto's programs from /opt/Presto and "
                  "stop its hot key service for every user") +
           "</policyconfig>\n";
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
