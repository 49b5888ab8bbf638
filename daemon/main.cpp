// Presto.daemon: serves the hot key table to the key-capture agent and carries out pressed hot
// keys. Runs until SIGTERM or SIGINT; then it removes its socket file and exits 0. It exits 1
// when the socket cannot be prepared or a fallback folder is not the user's private one.
#include "common/Locations.h"
#include "daemon/AssistControl.h"
#include "daemon/Clock.h"
#include "daemon/Daemon.h"
#include "daemon/FinderFunctions.h"
#include "daemon/LaunchActions.h"
#include "daemon/ServerSocket.h"
#include "daemon/StopSignal.h"
#include "platform/linux/ClipboardPasteboard.h"
#include "platform/linux/FinderStateFile.h"
#include "platform/linux/GioLauncher.h"
#include "platform/linux/GioTrash.h"
#include "platform/linux/ProcProcessTable.h"
#include "platform/linux/SystemctlPower.h"
#include "platform/linux/ZenityDialogs.h"

#include <climits>
#include <malloc.h>
#include <string>
#include <syslog.h>
#include <unistd.h>

namespace {

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

} // namespace

int main() {
    using namespace presto;
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
    GioLauncher launcher(finder);
    const std::string assistant = assistantPath();
    ProcProcessTable processes;
    // Another "PrestoAssist" (a developer's, while the tests start daemons) is not ours to end.
    processes.restrictToExecutable(cPrestoAssist, assistant);
    // The picture helper is built and installed beside the daemon, as the assistant is.
    const std::string pictureHelper =
        assistant.substr(0, assistant.find_last_of('/') + 1) + "PrestoClip";
    ClipboardPasteboard pasteboard(std::chrono::seconds(3), pictureHelper);
    SystemClock clock;
    LaunchActions actions(launcher, processes, pasteboard,
                          FileReferences(locations.referencesDir()));
    // The assistant belongs to the daemon's life: it is not moved out of the daemon's unit.
    GioLauncher assistantLauncher(finder, nullptr);
    AssistantWorker worker(actions, assistantLauncher, assistant);

    SystemctlPower power;
    GioTrash trash({locations.applicationSupportDir + "/Trash", {}, true});
    ZenityDialogs dialogs;
    FinderFunctions finderFunctions(power, trash, finder, pasteboard, dialogs);

    Daemon daemon(locations, actions, worker, clock, &finderFunctions);
    ServerSocket server(locations.socketPath);
    installStopSignals(server);
    if (!server.prepareSocket())
        return 1;
    return daemon.run(server);
}
