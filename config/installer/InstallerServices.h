#pragma once

#include <QStringList>
#include <chrono>
#include <memory>

namespace presto {

// What became of one command: whether it could be started at all, its exit status, and the
// first line it wrote to standard error, which tells why it failed.
struct CommandResult {
    CommandResult() = default;
    CommandResult(bool started, int status, QString error = {})
        : started(started), status(status), error(std::move(error)) {}

    bool started = false;
    int status = -1;
    QString error;

    bool succeeded() const { return started && status == 0; }
};

// Runs commands as the user, one at a time, waiting for each.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    virtual CommandResult run(const QStringList& argv) = 0;
};

// The install helper, running with administrator rights under the one authorisation of an
// operation: each request names one of that operation's steps. Ending the session releases it.
class PrivilegedSession {
public:
    virtual ~PrivilegedSession() = default;
    virtual CommandResult run(const QStringList& request) = 0;
};

// Why administrator rights were not had.
enum class Refusal {
    None,
    Dismissed,     // the user cancelled the password dialog
    NotAuthorized, // the system refused, or the password was wrong
    NoAgent,       // nothing could ask for the password
    Failed,        // the helper could not be started or ended at once
};

struct Authorization {
    std::unique_ptr<PrivilegedSession> session; // null when refused
    Refusal refusal = Refusal::None;
};

// Starts the install helper with administrator rights: `helper` is its command line.
class PrivilegedRunner {
public:
    virtual ~PrivilegedRunner() = default;
    virtual Authorization authorize(const QStringList& helper) = 0;
};

// The package manager's word on who owns a file.
class PackageOwnership {
public:
    virtual ~PackageOwnership() = default;
    // The package that installed `path`; empty when none did.
    virtual QString ownerOf(const QString& path) = 0;
};

// The fixed waits between the steps.
class Pause {
public:
    virtual ~Pause() = default;
    virtual void wait(std::chrono::seconds duration) = 0;
};

// Whether this system can run the installed modules at all.
class SystemRequirement {
public:
    virtual ~SystemRequirement() = default;
    virtual bool met() = 0;
};

} // namespace presto
