#pragma once

#include "config/installer/InstallerServices.h"
#include "config/installer/LinuxInstallerServices.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace presto::test {

// One log of everything the installer does through its services, in order: "user: <command>",
// "root: <command>", "authorize", "release", "wait <seconds>".
class CommandLog {
public:
    void add(const QString& entry) { entries_.push_back(entry); }
    const std::vector<QString>& entries() const { return entries_; }
    void clear() { entries_.clear(); }
    // The entries that begin with `prefix`.
    std::vector<QString> only(const QString& prefix) const {
        std::vector<QString> result;
        for (const QString& entry : entries_)
            if (entry.startsWith(prefix))
                result.push_back(entry);
        return result;
    }

private:
    std::vector<QString> entries_;
};

// A scripted answer for the commands that contain a text.
struct CommandRule {
    QString contains;
    CommandResult result;
};

// Records each command. A command matching a rule gets the rule's result and is not run;
// otherwise, when `execute` is set, it really runs (tests point every path into their own
// folder), else it counts as run successfully.
class RecordingRunner : public CommandRunner {
public:
    RecordingRunner(CommandLog& log, QString who, bool execute)
        : log_(log), who_(std::move(who)), execute_(execute) {}

    void addRule(const QString& contains, CommandResult result) {
        rules_.push_back({contains, result});
    }

    CommandResult run(const QStringList& argv) override {
        log_.add(who_ + QStringLiteral(": ") + argv.join(QLatin1Char(' ')));
        for (const CommandRule& rule : rules_)
            if (argv.join(QLatin1Char(' ')).contains(rule.contains))
                return rule.result;
        if (!execute_)
            return {true, 0};
        return ProcessCommandRunner().run(argv);
    }

private:
    CommandLog& log_;
    QString who_;
    bool execute_;
    std::vector<CommandRule> rules_;
};

// Grants rights unless told to refuse; the session's commands go to a RecordingRunner.
class RecordingPrivilegedRunner : public PrivilegedRunner {
public:
    explicit RecordingPrivilegedRunner(CommandLog& log)
        : log_(log), commands_(log, QStringLiteral("root"), true) {}

    void refuse() { refused_ = true; }
    void grant() { refused_ = false; }
    RecordingRunner& commands() { return commands_; }

    std::unique_ptr<PrivilegedSession> authorize() override {
        log_.add(QStringLiteral("authorize"));
        if (refused_)
            return nullptr;
        return std::make_unique<Session>(log_, commands_);
    }

private:
    class Session : public PrivilegedSession {
    public:
        Session(CommandLog& log, RecordingRunner& commands) : log_(log), commands_(commands) {}
        ~Session() override { log_.add(QStringLiteral("release")); }
        CommandResult run(const QStringList& argv) override { return commands_.run(argv); }

    private:
        CommandLog& log_;
        RecordingRunner& commands_;
    };

    CommandLog& log_;
    RecordingRunner commands_;
    bool refused_ = false;
};

class RecordingPause : public Pause {
public:
    explicit RecordingPause(CommandLog& log) : log_(log) {}
    void wait(std::chrono::seconds duration) override {
        log_.add(QStringLiteral("wait %1").arg(duration.count()));
    }

private:
    CommandLog& log_;
};

class FakeRequirement : public SystemRequirement {
public:
    bool value = true;
    bool met() override { return value; }
};

} // namespace presto::test
