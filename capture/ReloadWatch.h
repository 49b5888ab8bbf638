#pragma once

#include "capture/DaemonLink.h"

#include <string>

namespace presto {

// Watches the daemon's reload notice with inotify. The folder is watched rather than the file,
// so a notice that does not exist yet, or is replaced, is still seen.
class ReloadWatch {
public:
    // Makes the runtime folder (mode 0700) when it is missing. Without inotify or the folder,
    // fd() is -1 and the agent relies on its polling alone.
    explicit ReloadWatch(const std::string& runtimeDir);

    int fd() const { return fd_.get(); }
    // Reads what arrived; true when the notice was written since the last call.
    bool takeNotice();

private:
    UniqueFd fd_;
};

} // namespace presto
