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
// "authorize <helper command>", "root: <request>", "release", "wait <seconds>".
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

// Grants rights unless told to refuse, then runs the real install helper it is given, without
// pkexec (tests give it a root folder of their own). Every request is recorded; one matching a
// rule gets the rule's result and is not sent.
class RecordingPrivilegedRunner : public PrivilegedRunner {
public:
    explicit RecordingPrivilegedRunner(CommandLog& log) : log_(log) {}

    void refuse(Refusal refusal = Refusal::Dismissed) { refusal_ = refusal; }
    void grant() { refusal_ = Refusal::None; }
    void addRule(const QString& contains, CommandResult result) {
        rules_.push_back({contains, result});
    }

    Authorization authorize(const QStringList& helper) override {
        log_.add(QStringLiteral("authorize ") + helper.join(QLatin1Char(' ')));
        if (refusal_ != Refusal::None)
            return {nullptr, refusal_};
        Authorization real = PkexecRunner::startHelper({}, helper);
        if (!real.session)
            return real;
        return {std::make_unique<Session>(log_, rules_, std::move(real.session)), Refusal::None};
    }

private:
    class Session : public PrivilegedSession {
    public:
        Session(CommandLog& log, const std::vector<CommandRule>& rules,
                std::unique_ptr<PrivilegedSession> helper)
            : log_(log), rules_(rules), helper_(std::move(helper)) {}
        ~Session() override { log_.add(QStringLiteral("release")); }

        CommandResult run(const QStringList& request) override {
            const QString line = request.join(QLatin1Char(' '));
            log_.add(QStringLiteral("root: ") + line);
            for (const CommandRule& rule : rules_)
                if (line.contains(rule.contains))
                    return rule.result;
            return helper_->run(request);
        }

    private:
        CommandLog& log_;
        const std::vector<CommandRule>& rules_;
        std::unique_ptr<PrivilegedSession> helper_;
    };

    CommandLog& log_;
    std::vector<CommandRule> rules_;
    Refusal refusal_ = Refusal::None;
};

// The package manager's answer, the same for every path asked about.
class FakePackageOwnership : public PackageOwnership {
public:
    QString package;
    QString ownerOf(const QString&) override { return package; }
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
