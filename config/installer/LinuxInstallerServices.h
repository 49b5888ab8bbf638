#pragma once

#include "config/installer/InstallerServices.h"

#include <QString>

namespace presto {

// Starts the command (its program looked up in PATH) and waits for it.
class ProcessCommandRunner final : public CommandRunner {
public:
    CommandResult run(const QStringList& argv) override;
};

// Starts the install helper through pkexec, which asks for the password once for the whole
// operation; a process that already runs as root starts it directly.
class PkexecRunner final : public PrivilegedRunner {
public:
    Authorization authorize(const QStringList& helper) override;

    // The helper, started through `elevate` (pkexec and its options, or nothing). Refused when
    // it ended before it was ready: pkexec's 126 is a dismissed dialog, its 127 a refusal or,
    // when it says so, a missing authentication agent.
    static Authorization startHelper(const QStringList& elevate, const QStringList& helper);
};

// Reads dpkg's file list of our own package in its database. Asking `dpkg-query --search`
// instead takes seconds, at every start of the application.
class DpkgOwnership final : public PackageOwnership {
public:
    explicit DpkgOwnership(QString package = QStringLiteral("presto"),
                           QString database = QStringLiteral("/var/lib/dpkg"))
        : package_(std::move(package)), database_(std::move(database)) {}

    QString ownerOf(const QString& path) override;

private:
    QString package_;
    QString database_;
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
