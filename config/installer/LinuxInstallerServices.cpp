#include "config/installer/LinuxInstallerServices.h"

#include "common/SearchPath.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

QString firstLine(const QByteArray& output) {
    return QString::fromLocal8Bit(output).section(QLatin1Char('\n'), 0, 0).trimmed();
}

class HelperSession final : public PrivilegedSession {
public:
    explicit HelperSession(std::unique_ptr<QProcess> helper) : helper_(std::move(helper)) {}

    ~HelperSession() override {
        helper_->closeWriteChannel();
        if (!helper_->waitForFinished(kCommandTimeoutMs))
            helper_->kill();
        helper_->waitForFinished();
    }

    CommandResult run(const QStringList& request) override {
        // One request a line, its words apart by one space: none may hold either.
        for (const QString& word : request)
            if (word.isEmpty() || word.contains(QLatin1Char(' ')) ||
                word.contains(QLatin1Char('\n')))
                return {};
        helper_->write(request.join(QLatin1Char(' ')).toLocal8Bit() + '\n');
        helper_->waitForBytesWritten(-1);
        bool isNumber = false;
        const int status = readLine(*helper_).toInt(&isNumber);
        if (!isNumber)
            return {};
        // The helper's answer for a program it could not start.
        if (status == 127)
            return {false, status, {}};
        return {true, status, {}};
    }

private:
    std::unique_ptr<QProcess> helper_;
};

} // namespace

CommandResult ProcessCommandRunner::run(const QStringList& argv) {
    if (argv.isEmpty())
        return {};
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(argv.first(), argv.mid(1));
    if (!process.waitForStarted(-1))
        return {};
    if (!process.waitForFinished(kCommandTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {true, -1, {}};
    }
    return {true, process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            firstLine(process.readAllStandardError())};
}

Authorization PkexecRunner::authorize(const QStringList& helper) {
    if (geteuid() == 0)
        return startHelper({}, helper);
    const QString pkexec = QString::fromStdString(findInPath("pkexec"));
    if (pkexec.isEmpty())
        return {nullptr, Refusal::NoAgent};
    // pkexec's own agent would ask on whatever terminal started the application, unseen.
    return startHelper({pkexec, QStringLiteral("--disable-internal-agent")}, helper);
}

Authorization PkexecRunner::startHelper(const QStringList& elevate, const QStringList& helper) {
    const QStringList argv = QStringList(elevate) << helper;
    if (argv.isEmpty())
        return {nullptr, Refusal::Failed};
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(argv.first(), argv.mid(1));
    if (!process->waitForStarted(-1))
        return {nullptr, Refusal::Failed};
    if (readLine(*process) == "ready")
        return {std::make_unique<HelperSession>(std::move(process)), Refusal::None};
    process->closeWriteChannel();
    if (!process->waitForFinished(kCommandTimeoutMs))
        process->kill();
    process->waitForFinished();
    if (elevate.isEmpty() || process->exitStatus() != QProcess::NormalExit)
        return {nullptr, Refusal::Failed};
    switch (process->exitCode()) {
    case 126:
        return {nullptr, Refusal::Dismissed};
    case 127: {
        // pkexec's words, not translated: "No authentication agent found", or no authority
        // at all when polkit itself is not running.
        const QByteArray said = process->readAllStandardError().toLower();
        if (said.contains("authentication agent") || said.contains("authority"))
            return {nullptr, Refusal::NoAgent};
        return {nullptr, Refusal::NotAuthorized};
    }
    default:
        return {nullptr, Refusal::Failed};
    }
}

QString DpkgOwnership::ownerOf(const QString& path) {
    // "presto.list", or "presto:amd64.list" for a package of a foreign architecture.
    const QDir info(database_ + QStringLiteral("/info"));
    const QStringList lists = info.entryList(
        {package_ + QStringLiteral(".list"), package_ + QStringLiteral(":*.list")}, QDir::Files);
    for (const QString& name : lists) {
        QFile list(info.filePath(name));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        const QByteArray wanted = QFile::encodeName(path);
        while (!list.atEnd()) {
            QByteArray line = list.readLine();
            if (line.endsWith('\n'))
                line.chop(1);
            if (line == wanted)
                return package_;
        }
    }
    return {};
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
    if (geteuid() != 0 && findInPath("pkexec").empty())
        return false;
    QProcess systemctl;
    systemctl.setStandardInputFile(QProcess::nullDevice());
    systemctl.start(QStringLiteral("systemctl"), {QStringLiteral("--version")});
    if (!systemctl.waitForFinished(30'000))
        return false;
    return systemdVersion(QString::fromLocal8Bit(systemctl.readAllStandardOutput())) >= 247;
}

} // namespace presto
