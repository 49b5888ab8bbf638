#pragma once

#include <QStringList>
#include <chrono>
#include <memory>

namespace presto {

// What became of one command: whether it could be started at all, and its exit status.
struct CommandResult {
    bool started = false;
    int status = -1;

    bool succeeded() const { return started && status == 0; }
};

// Runs commands as the user, one at a time, waiting for each.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    virtual CommandResult run(const QStringList& argv) = 0;
};

// Commands with administrator rights, under the one authorisation of an operation; ending the
// session releases it.
class PrivilegedSession {
public:
    virtual ~PrivilegedSession() = default;
    virtual CommandResult run(const QStringList& argv) = 0;
};

// Asks for administrator rights.
class PrivilegedRunner {
public:
    virtual ~PrivilegedRunner() = default;
    // Null when the rights could not be had: no way to ask, or the user cancelled or was refused.
    virtual std::unique_ptr<PrivilegedSession> authorize() = 0;
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
