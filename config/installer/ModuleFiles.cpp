#include "config/installer/ModuleFiles.h"

#include "platform/SessionEnvironment.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto::modules {

namespace {

// Both units: started with the graphical session and stopped with it, restarted when they fail.
std::string unitText(const char* description, const std::string& after,
                     const std::string& program) {
    std::string text = "[Unit]\nDescription=";
    text += description;
    text += "\nPartOf=graphical-session.target\nAfter=";
    text += after;
    // A user manager that outlived the package's removal still knows the unit: the next login
    // must not try to run a program that is gone.
    text += "\nConditionFileIsExecutable=";
    text += program;
    // Nor where no login told the manager its display: a package upgrade restarts the units of
    // users who are not logged in too.
    text += "\nConditionEnvironment=|DISPLAY\nConditionEnvironment=|WAYLAND_DISPLAY\n\n"
            "[Service]\nExecStart=";
    text += program;
    text += "\nRestart=on-failure\n\n[Install]\nWantedBy=graphical-session.target\n";
    return text;
}

} // namespace

std::string daemonUnitText() {
    return unitText("Presto hot key daemon", "graphical-session.target",
                    std::string(kInstallFolder) + kDaemonProgram);
}

std::string keysUnitText() {
    return unitText("Presto key-capture agent",
                    std::string("graphical-session.target ") + kDaemonUnit,
                    std::string(kInstallFolder) + kKeysProgram);
}

std::string autostartEntryText() {
    std::string variables;
    for (const char* name : kSessionVariables) {
        variables += ' ';
        variables += name;
    }
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Presto\n"
                       "Comment=Starts the Presto hot key service\n"
                       // Once the package is removed, the entry it leaves starts nothing.
                       "TryExec=";
    text += std::string(kInstallFolder) + kDaemonProgram + "\n";
    // Outside a systemd-managed session the user manager lacks the display the agent needs, and
    // keeps a previous login's when it outlived it: the new login's values replace them all.
    text += "Exec=sh -c \"systemctl --user unset-environment";
    text += variables;
    text += "; systemctl --user import-environment";
    text += variables;
    text += std::string("; exec systemctl --user start ") + kDaemonUnit + " " + kKeysUnit +
            "\"\n"
            "NoDisplay=true\n"
            "X-systemd-skip=true\n";
    return text;
}

std::string applicationEntryText() {
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Presto\n"
                       "GenericName=Hot Key Launcher\n"
                       "Comment=Bind key combinations to files, applications and clipboard "
                       "snapshots\n"
                       "Exec=") +
           kInstallFolder + kConfigProgram +
           "\n"
           "Icon=com.nimbo.Presto\n"
           "Terminal=false\n"
           "Categories=Utility;\n"
           "Keywords=hot key;shortcut;launcher;keyboard;clipboard;\n";
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
               "    <annotate key=\"org.freedesktop.policykit.exec.path\">" +
               kInstallFolder + kInstallHelper +
               "</annotate>\n"
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
