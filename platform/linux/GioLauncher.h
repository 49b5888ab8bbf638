#pragma once

#include "platform/FinderState.h"
#include "platform/Launcher.h"
#include "platform/SessionEnvironment.h"
#include "platform/linux/TransientScope.h"
#include "platform/linux/UserManager.h"

#include <mutex>
#include <string>

namespace presto {

// Launcher over GIO and posix_spawn. Safe to call from several threads at once.
class GioLauncher final : public Launcher {
public:
    // Started programs go to `scopes`, when there is one, after they started. When there is a
    // `session`, it is read at every launch and its display variables replace ours.
    explicit GioLauncher(FinderState& finder, ScopePlacer* scopes = systemdScopePlacer(),
                         SessionEnvironment* session = systemdSessionEnvironment())
        : finder_(finder), scopes_(scopes), session_(session) {}

    int openItem(const std::string& path) override;
    int openSelectionWith(const std::string& appPath) override;

private:
    FinderState& finder_;
    ScopePlacer* scopes_;
    SessionEnvironment* session_;
    std::mutex mutex_;
    // The application the last openSelectionWith started; the next openItem of it starts nothing.
    std::string startedWithSelection_;
};

} // namespace presto
