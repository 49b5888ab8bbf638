#pragma once

#include "platform/ProcessTable.h"

#include <string>

namespace presto {

// The processes of this user (by real uid) as /proc lists them. A process is named by the file
// name of its executable; when that link cannot be read, by its comm, which the kernel cuts to
// 15 characters, so a longer name matches a comm of its first 15.
class ProcProcessTable final : public ProcessTable {
public:
    explicit ProcProcessTable(std::string procRoot = "/proc");

    // From now on a process named `name` counts only while it runs the program at `executable`
    // (a symlink there is followed). The daemon ends only its own assistant, never another
    // program of that name, such as a developer's tray while the tests start daemons.
    void restrictToExecutable(std::string name, std::string executable);

    std::optional<pid_t> findProcessByName(const std::string& name) override;
    bool killProcess(pid_t pid) override;

private:
    std::string procRoot_;
    std::string restrictedName_;
    std::string restrictedExecutable_;
};

} // namespace presto
