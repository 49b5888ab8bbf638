// Presto.daemon: serves the hot key table to the key-capture agent and carries out pressed hot
// keys. Runs until SIGTERM or SIGINT; then it removes its socket file, stops the file-manager
// functions under way (waiting for them a few seconds at most) and exits 0. It exits 1 when the
// socket cannot be prepared or a fallback folder is not the user's private one, 2 on a wrong
// command line.
#include "common/CommandLine.h"
#include "common/Locations.h"
#include "daemon/AssistControl.h"
#include "daemon/Clock.h"
#include "daemon/Daemon.h"
#include "daemon/FinderFunctions.h"
#include "daemon/LaunchActions.h"
#include "daemon/Log.h"
#include "daemon/ServerSocket.h"
#include "daemon/StopSignal.h"
#include "platform/linux/ClipboardPasteboard.h"
#include "platform/linux/FinderStateFile.h"
#include "platform/linux/GioLauncher.h"
#include "platform/linux/GioTrash.h"
#include "platform/linux/ProcProcessTable.h"
#include "platform/linux/SessionManagerPower.h"
#include "platform/linux/SystemctlPower.h"
#include "platform/linux/ZenityDialogs.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <malloc.h>
#include <pwd.h>
#include <string>
#include <syslog.h>
#include <unistd.h>

namespace {

constexpr presto::cli::Program kProgram{
    .name = "Presto.daemon",
    .operands = "",
    .description =
        "Carries out Presto's hot keys: serves the hot key table to the key-capture agent "
        "PrestoKeys over a private socket and, when a hot key is pressed, opens its files, "
        "folders or applications, runs its file-manager function or puts its clipboard "
        "snapshot back. It runs for the whole session, started by the systemd user unit "
        "com.nimbo.Presto.daemon.service, and ends on SIGTERM or SIGINT.",
    .notes = "Environment:\n"
             "  PRESTO_SOCKET_PATH  the socket (default $XDG_RUNTIME_DIR/Presto_socket)\n"
             "  XDG_DATA_HOME       holds Presto/PrestoData.data, the hot keys\n"
             "  XDG_CONFIG_HOME     holds Presto/com.nimbo.Presto.plist, the preferences\n"
             "\n"
             "Exit status:\n"
             "  0  ended by SIGTERM or SIGINT\n"
             "  1  no socket could be prepared, or a private folder is another's\n"
             "  2  a wrong command line",
};

// The assistant is the program beside this one, so a build folder works like an installed one.
std::string assistantPath() {
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = ".";
    if (n > 0) {
        std::string exe(self, static_cast<std::size_t>(n));
        auto slash = exe.find_last_of('/');
        if (slash != std::string::npos)
            dir = exe.substr(0, slash);
    }
    return dir + "/" + presto::cPrestoAssist;
}

// Where launched programs start, as from the desktop's own launcher.
std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

// A platform service's diagnostic as one of the daemon's log lines.
void daemonLog(const std::string& text) {
    presto::logLine(std::string(presto::getCharSysTime()) + " Presto.daemon " + text + "\n");
}

} // namespace

int main(int argc, char** argv) {
    using namespace presto;
    if (auto line = cli::parse(argc, argv, kProgram); line.exitStatus)
        return *line.exitStatus;
    // Few threads, little memory: one heap for all of them keeps the resident size small.
    mallopt(M_ARENA_MAX, 1);
    openlog("Presto.daemon", LOG_PID | LOG_NDELAY, LOG_USER);
    syslog(LOG_INFO, "Presto.daemon main\n");

    const Locations locations = Locations::fromEnvironment();
    if (!locations.securePrivateFolders(Locations::UsesData | Locations::UsesPreferences |
                                            Locations::UsesRuntime | Locations::UsesSocket,
                                        "Presto.daemon"))
        return 1;

    FinderStateFile finder = FinderStateFile::fromEnvironment(locations);
    GioLauncher launcher(finder, systemdScopePlacer(), systemdSessionEnvironment(), homeFolder());
    const std::string assistant = assistantPath();
    ProcProcessTable processes;
    // Another "PrestoAssist" (a developer's, while the tests start daemons) is not ours to end.
    processes.restrictToExecutable(cPrestoAssist, assistant);
    // The picture helper is built and installed beside the daemon, as the assistant is.
    const std::string pictureHelper =
        assistant.substr(0, assistant.find_last_of('/') + 1) + "PrestoClip";
    ClipboardPasteboard pasteboard(std::chrono::seconds(3), pictureHelper, daemonLog);
    SystemClock clock;
    LaunchActions actions(launcher, finder, processes, pasteboard,
                          FileReferences(locations.referencesDir()));
    // The assistant belongs to the daemon's life: it is not moved out of the daemon's unit.
    GioLauncher assistantLauncher(finder, nullptr);
    AssistantWorker worker(actions, assistantLauncher, assistant);

    SystemctlPower systemctl;
    SessionManagerPower power(systemctl, SessionManagerPower::busesFromEnvironment(), daemonLog);
    GioTrash trash({locations.applicationSupportDir + "/Trash", {}, true, {}});
    ZenityDialogs dialogs;
    FinderFunctions finderFunctions(power, trash, finder, pasteboard, dialogs);

    Daemon daemon(locations, actions, worker, clock, &finderFunctions);
    ServerSocket server(locations.socketPath);
    installStopSignals(server);
    if (!server.prepareSocket())
        return 1;
    const int status = daemon.run(server);
    server.deleteSocket();
    if (!finderFunctions.stopWorkers(std::chrono::steady_clock::now() +
                                     FinderWorkers::kStopBound)) {
        logLine(std::string(getCharSysTime()) +
                " Presto.daemon file-manager functions still busy; exiting without them\n");
        // They still use the objects of this frame: none of them may be destroyed under them.
        std::_Exit(status);
    }
    return status;
}
