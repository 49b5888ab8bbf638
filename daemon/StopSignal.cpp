#include "daemon/StopSignal.h"

#include <atomic>
#include <cerrno>
#include <signal.h>

namespace presto {
namespace {

std::atomic<ServerSocket*> stoppedServer{nullptr};
static_assert(std::atomic<ServerSocket*>::is_always_lock_free);

void onStopSignal(int) {
    int saved = errno;
    if (ServerSocket* server = stoppedServer.load())
        server->requestStop();
    errno = saved;
}

} // namespace

void installStopSignals(ServerSocket& server) {
    stoppedServer.store(&server);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait under way on the main thread ends at once.
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

} // namespace presto
