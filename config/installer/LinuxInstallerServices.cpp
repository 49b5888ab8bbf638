#include "config/installer/LinuxInstallerServices.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <thread>
#include <unistd.h>

namespace presto {
namespace {

// Commands end on their own; a hung one must not keep the application blocked for ever.
constexpr int kCommandTimeoutMs = 5 * 60 * 1000;

// Reads one line from the shell, however long the password question takes; empty once it ended.
QByteArray readLine(QProcess& shell) {
    while (!shell.canReadLine()) {
        if (shell.state() == QProcess::NotRunning)
            return {};
        shell.waitForReadyRead(-1);
    }
    return shell.readLine().trimmed();
}

class ShellSession final : public PrivilegedSession {
public:
    explicit ShellSession(std::unique_ptr<QProcess> shell) : shell_(std::move(shell)) {}

    ~ShellSession() override {
        shell_->closeWriteChannel();
        if (!shell_->waitForFinished(kCommandTimeoutMs))
            shell_->kill();
        shell_->waitForFinished();
    }

    CommandResult run(const QStringList& argv) override {
        QByteArray request = QByteArray::number(argv.size()) + '\n';
        for (const QString& arg : argv) {
            // One argument a line: a line feed inside one cannot be sent.
            if (arg.contains(QLatin1Char('\n')))
                return {};
            request += arg.toLocal8Bit() + '\n';
        }
        shell_->write(request);
        shell_->waitForBytesWritten(-1);
        bool isNumber = false;
        const int status = readLine(*shell_).toInt(&isNumber);
        if (!isNumber)
            return {};
        // The shell's own answers for a program it could not find or execute.
        if (status == 126 || status == 127)
            return {false, status};
        return {true, status};
    }

private:
    std::unique_ptr<QProcess> shell_;
};

} // namespace

const char* const PkexecRunner::kShellScript = "echo ready\n"
                                               "while IFS= read -r count; do\n"
                                               "  case $count in ''|*[!0-9]*) exit 1 ;; esac\n"
                                               "  set --\n"
                                               "  while [ \"$count\" -gt 0 ]; do\n"
                                               "    IFS= read -r arg || exit 1\n"
                                               "    set -- \"$@\" \"$arg\"\n"
                                               "    count=$((count - 1))\n"
                                               "  done\n"
                                               "  \"$@\" </dev/null >/dev/null 2>&1\n"
                                               "  echo \"$?\"\n"
                                               "done\n";

CommandResult ProcessCommandRunner::run(const QStringList& argv) {
    if (argv.isEmpty())
        return {};
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(argv.first(), argv.mid(1));
    if (!process.waitForStarted(-1))
        return {};
    if (!process.waitForFinished(kCommandTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {true, -1};
    }
    return {true, process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1};
}

std::unique_ptr<PrivilegedSession> PkexecRunner::authorize() {
    if (geteuid() == 0)
        return startShell({});
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty())
        return nullptr;
    return startShell({pkexec});
}

std::unique_ptr<PrivilegedSession> PkexecRunner::startShell(const QStringList& elevate) {
    const QStringList argv = QStringList(elevate)
                             << QStringLiteral("/bin/sh") << QStringLiteral("-c")
                             << QString::fromLatin1(kShellScript);
    auto shell = std::make_unique<QProcess>();
    shell->setProcessChannelMode(QProcess::SeparateChannels);
    shell->setStandardErrorFile(QProcess::nullDevice());
    shell->start(argv.first(), argv.mid(1));
    if (!shell->waitForStarted(-1))
        return nullptr;
    // pkexec ends without starting the shell when the user cancels or is refused.
    if (readLine(*shell) != "ready") {
        shell->kill();
        shell->waitForFinished();
        return nullptr;
    }
    return std::make_unique<ShellSession>(std::move(shell));
}

void SleepPause::wait(std::chrono::seconds duration) {
    std::this_thread::sleep_for(duration);
}

int LinuxSystemRequirement::systemdVersion(const QString& versionOutput) {
    static const QRegularExpression first(QStringLiteral("^systemd (\\d+)"));
    const QRegularExpressionMatch match = first.match(versionOutput);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

bool LinuxSystemRequirement::met() {
    if (geteuid() != 0 && QStandardPaths::findExecutable(QStringLiteral("pkexec")).isEmpty())
        return false;
    QProcess systemctl;
    systemctl.setStandardInputFile(QProcess::nullDevice());
    systemctl.start(QStringLiteral("systemctl"), {QStringLiteral("--version")});
    if (!systemctl.waitForFinished(30'000))
        return false;
    return systemdVersion(QString::fromLocal8Bit(systemctl.readAllStandardOutput())) >= 247;
}

} // namespace presto
