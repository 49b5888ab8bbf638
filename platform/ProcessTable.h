#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace presto {

// The user's own running processes.
class ProcessTable {
public:
    // The file manager's desktop services always run; they have no process of their own.
    static constexpr pid_t kFinderProcess = 0;

    virtual ~ProcessTable() = default;

    // A process whose name (the executable's file name) is exactly `name`, case-sensitive.
    // "Finder" is found at once as kFinderProcess.
    virtual std::optional<pid_t> findProcessByName(const std::string& name) = 0;
    // Asks the process to end (SIGTERM). False when it could not be signalled.
    virtual bool killProcess(pid_t pid) = 0;
};

} // namespace presto
