// PrestoKeys: the key-capture agent of an X11 session. It takes the hot key table from
// Presto.daemon, grabs those keys and tells the daemon when one is pressed.
#include "capture/Agent.h"
#include "capture/DaemonLink.h"
#include "capture/XKeyboard.h"
#include "common/Locations.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/signalfd.h>
#include <unistd.h>

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A write to a vanished X server or daemon must fail, not end the agent before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);

    // Signals only wake the loop through a descriptor; the loop ends itself cleanly.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, sig);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        std::perror("PrestoKeys: signalfd");
        return 1;
    }

    const presto::Locations locations = presto::Locations::fromEnvironment();
    if (!locations.securePrivateFolders(presto::Locations::UsesSocket, "PrestoKeys"))
        return 1;
    // A stop signal ends a request to the daemon at once, not after its deadline.
    presto::DaemonLink link(locations.socketPath, std::chrono::seconds(1), signalFd);
    presto::Agent agent(link, stdout);
    presto::XKeyboard keyboard(nullptr, agent.listener());
    if (!keyboard.connected()) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "PrestoKeys: cannot open the X display %s\n",
                     display ? display : "(DISPLAY is not set)");
        return 1;
    }
    int status = agent.run(keyboard, signalFd);
    close(signalFd);
    return status;
}
