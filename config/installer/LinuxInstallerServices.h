#pragma once

#include "config/installer/InstallerServices.h"

#include <QString>

namespace presto {

// Starts the command (its program looked up in PATH) and waits for it.
class ProcessCommandRunner final : public CommandRunner {
public:
    CommandResult run(const QStringList& argv) override;
};

// One root shell per operation that runs the commands we send it, one at a time: pkexec asks
// for the password once, however many commands follow. A process that already runs as root
// starts the shell directly.
class PkexecRunner final : public PrivilegedRunner {
public:
    std::unique_ptr<PrivilegedSession> authorize() override;

    // The shell, started through `elevate` (pkexec and its path, or nothing); null when it ended
    // before it was ready, as pkexec does when the user cancels.
    static std::unique_ptr<PrivilegedSession> startShell(const QStringList& elevate);

    // The program the shell runs; sent as lines on its standard input.
    static const char* const kShellScript;
};

class SleepPause final : public Pause {
public:
    void wait(std::chrono::seconds duration) override;
};

// A systemd user manager of version 247 or later, and a way to administrator rights.
class LinuxSystemRequirement final : public SystemRequirement {
public:
    bool met() override;

    // The version in `systemctl --version`'s first line ("systemd 252 (252.38-1)"), or -1.
    static int systemdVersion(const QString& versionOutput);
};

} // namespace presto
