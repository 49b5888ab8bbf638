#pragma once

#include "daemon/ServerSocket.h"

namespace presto {

// Makes SIGTERM and SIGINT stop the server's loop (ServerSocket::requestStop, wherever the signal
// lands) and ignores SIGPIPE. The server must outlive the process's handling of these signals.
void installStopSignals(ServerSocket& server);

} // namespace presto
