#pragma once

#include "platform/FinderState.h"
#include "platform/Launcher.h"
#include "platform/SessionEnvironment.h"
#include "platform/linux/TransientScope.h"
#include "platform/linux/UserManager.h"

#include <mutex>
#include <string>
#include <utility>

namespace presto {

// How started programs begin: in which folder, on which display, and where they go once running.
struct LaunchPlan {
    // Empty: the launcher's own. A desktop entry's Path= still wins, as on the desktop.
    std::string workingFolder;
    ScopePlacer* scopes = nullptr;
    // Read at every launch when there is one; its display variables replace ours.
    SessionEnvironment* session = nullptr;
};

// Launcher over GIO and posix_spawn. Safe to call from several threads at once.
class GioLauncher final : public Launcher {
public:
    // Started programs begin in `workingFolder` (when it is a folder), get the display of
    // `session` (when there is one) and go to `scopes`, when there is one, after they started.
    explicit GioLauncher(FinderState& finder, ScopePlacer* scopes = systemdScopePlacer(),
                         SessionEnvironment* session = systemdSessionEnvironment(),
                         std::string workingFolder = {})
        : finder_(finder), plan_{std::move(workingFolder), scopes, session} {}

    int openItem(const std::string& path) override;
    int openSelectionWith(const std::string& appPath) override;
    bool canOpenFiles(const std::string& path) override;

private:
    FinderState& finder_;
    const LaunchPlan plan_;
    std::mutex mutex_;
    // The application the last openSelectionWith started; the next openItem of it starts nothing.
    std::string startedWithSelection_;
};

} // namespace presto
