#include "config/installer/ModuleInstaller.h"

#include "common/Installation.h"
#include "common/ProgramVersion.h"
#include "config/installer/InstallSteps.h"
#include "config/installer/ModuleFiles.h"
#include "config/model/DataStore.h"
#include "platform/ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

using namespace std::chrono_literals;

const QString kSystemctl = QStringLiteral("/usr/bin/systemctl");

QString text(const char* value) {
    return QString::fromLatin1(value);
}

// True when something, even a dangling link, is at the path.
bool exists(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The number at the start of a version part, and what follows it.
std::pair<long long, QString> splitPart(const QString& part) {
    qsizetype digits = 0;
    while (digits < part.size() && digits < 18 && part.at(digits).isDigit())
        ++digits;
    return {digits ? part.left(digits).toLongLong() : 0, part.mid(digits)};
}

// A word for a shell command line, quoted when it needs to be.
QString shellWord(const QString& word) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=+-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    return QLatin1Char('\'') + QString(word).replace(QStringLiteral("'"), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

QString userName() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(geteuid());
}

} // namespace

ModuleInstaller::ModuleInstaller(InstallerServices services, InstallerPaths paths)
    : services_(services), paths_(std::move(paths)) {}

void ModuleInstaller::alert(AlertStyle style, const QString& title, const QString& message,
                            const QString& button) {
    services_.alerts.run(AlertRequest{title, message, {button}, style});
}

int ModuleInstaller::ask(const QString& title, const QString& message, const QStringList& buttons) {
    return services_.alerts.run(AlertRequest{title, message, buttons, AlertStyle::Critical});
}

QStringList ModuleInstaller::helperCommand(const QString& helper, const QString& operation) const {
    QStringList command{helper, operation, QStringLiteral("--steps")};
    if (!paths_.root.isEmpty())
        command << QStringLiteral("--root=") + paths_.root;
    return command;
}

QString ModuleInstaller::packageOwner() const {
    // The package manager's records, not the files: its files may be gone while it owns them.
    return services_.packages.ownerOf(installed(text(kInstallFolder)) + text(kDaemonProgram));
}

void ModuleInstaller::refused(Refusal refusal, const QString& helper, const QString& operation) {
    const bool installing = operation == QStringLiteral("install");
    const QString command =
        QStringLiteral("sudo ") + shellWord(helper) + QLatin1Char(' ') + operation;
    switch (refusal) {
    case Refusal::None:
    case Refusal::Dismissed:
        return;
    case Refusal::NoAgent:
        alert(AlertStyle::Critical, tr("No authentication agent is running"),
              (installing ? tr("Presto needs the administrator's password to install its "
                               "modules, and no program is running that could ask for it. "
                               "Nothing was changed.\n\nInstall the presto package with your "
                               "package manager instead, or run this in a terminal:\n%1")
                          : tr("Presto needs the administrator's password to uninstall its "
                               "modules, and no program is running that could ask for it. "
                               "Nothing was changed.\n\nRun this in a terminal instead:\n%1"))
                  .arg(command),
              tr("OK"));
        return;
    case Refusal::NotAuthorized:
        alert(AlertStyle::Critical, tr("Not authorised"),
              (installing ? tr("The system did not grant administrator rights to install "
                               "Presto's modules, so nothing was changed. An administrator can "
                               "install the presto package, or run this in a terminal:\n%1")
                          : tr("The system did not grant administrator rights to uninstall "
                               "Presto's modules, so nothing was changed. An administrator can "
                               "run this in a terminal:\n%1"))
                  .arg(command),
              tr("OK"));
        return;
    case Refusal::Failed:
        if (installing)
            alert(AlertStyle::Critical, tr("Failed to install"), tr("Needs to Cancel"),
                  tr("Cancel"));
        else
            alert(AlertStyle::Critical, tr("Uninstallation was failed"), tr("Needs to Cancel"),
                  tr("Cancel"));
        return;
    }
}

QStringList ModuleInstaller::systemctlUser(const QString& verb) const {
    return {kSystemctl, QStringLiteral("--user"), verb, text(kDaemonUnit), text(kKeysUnit)};
}

QStringList ModuleInstaller::moduleChecks() const {
    const QString folder = installed(text(kInstallFolder));
    QStringList checks{
        folder,
        folder + text(kKeysProgram),
        folder + text(kDaemonProgram),
        folder + text(kAssistProgram),
        installed(text(kUnitFolder)) + text(kKeysUnit),
        installed(text(modules::kAutostartFolder)) + text(modules::kAutostartEntry),
        installed(text(kUnitFolder)) + text(kDaemonUnit),
    };
    for (const char* helper : modules::kHelperPrograms)
        checks << folder + text(helper);
    return checks << installed(text(modules::kPolicyFolder)) + text(modules::kPolicyFile);
}

bool ModuleInstaller::isFullInstalled() const {
    for (const QString& path : moduleChecks())
        if (!exists(path))
            return false;
    return true;
}

bool ModuleInstaller::isPartialInstalled() const {
    for (const QString& path : moduleChecks())
        if (exists(path))
            return true;
    return false;
}

void ModuleInstaller::stopAssist() {
    if (const auto pid = services_.processes.findProcessByName(kAssistProgram))
        services_.processes.killProcess(*pid);
}

bool ModuleInstaller::createDaemonUnit(const QString& path) {
    return modules::writeNewFile(QFile::encodeName(path).toStdString(), modules::daemonUnitText(),
                                 0644);
}

bool ModuleInstaller::createKeysUnit(const QString& path) {
    return modules::writeNewFile(QFile::encodeName(path).toStdString(), modules::keysUnitText(),
                                 0644);
}

bool ModuleInstaller::createAutostartEntry(const QString& path) {
    return modules::writeNewFile(QFile::encodeName(path).toStdString(),
                                 modules::autostartEntryText(), 0644);
}

void ModuleInstaller::installPrst() {
    if (const QString package = packageOwner(); !package.isEmpty()) {
        alert(AlertStyle::Informational, tr("Presto was installed with the package manager"),
              tr("The package %1 owns Presto's modules, so Presto leaves them alone. To update "
                 "or repair them, use your package manager, for example:\n"
                 "sudo apt-get install --reinstall %1")
                  .arg(package),
              tr("OK"));
        return;
    }
    if (!services_.requirement.met()) {
        alert(AlertStyle::Critical, tr("Can not meet the system requirements for installation!!"),
              tr("Needs to Cancel"), tr("Cancel"));
        return;
    }

    const QString folder = installed(text(kInstallFolder));
    const QString keys = folder + text(kKeysProgram);
    const QString assist = folder + text(kAssistProgram);

    // What was there before anything changes.
    const bool hadKeys = exists(keys);
    const bool hadAssist = exists(assist);
    QStringList missingFolders;
    for (const char* path :
         {kInstallFolder, kUnitFolder, modules::kAutostartFolder, modules::kApplicationsFolder,
          modules::kIconFolder, modules::kPolicyFolder, modules::kManualFolder,
          modules::kMetainfoFolder})
        if (!exists(installed(text(path))))
            missingFolders << text(path);

    // The bundle's own helper: it installs the programs that lie beside it.
    const QString helper = paths_.bundle + QLatin1Char('/') + text(modules::kInstallHelper);
    if (!exists(helper)) {
        alert(AlertStyle::Critical, tr("Failed to copy these files"), text(modules::kInstallHelper),
              tr("OK"));
        return;
    }
    const QString operation = QStringLiteral("install");
    Authorization rights = services_.admin.authorize(helperCommand(helper, operation));
    if (!rights.session) {
        refused(rights.refusal, helper, operation);
        return;
    }
    PrivilegedSession& session = *rights.session;

    for (const QString& path : missingFolders) {
        if (!session.run({QStringLiteral("mkdir"), path}).succeeded()) {
            alert(AlertStyle::Critical, tr("mkdir was unsuccessful"), installed(path),
                  tr("Cancel"));
            return;
        }
    }

    // The helper leaves a program in place when it is its own source, as when the application
    // runs from the installed folder.
    if (hadKeys) {
        services_.user.run(systemctlUser(QStringLiteral("stop")));
        session.run({QStringLiteral("disable")});
        session.run({QStringLiteral("remove"), text(kKeysProgram)});
    }
    if (hadAssist) {
        stopAssist();
        session.run({QStringLiteral("remove"), text(kAssistProgram)});
    }

    // A file that cannot be copied shows as missing afterwards.
    for (const std::string& name : install::copyOrder())
        session.run({QStringLiteral("copy"), QString::fromStdString(name)});
    // The file managers' extensions, those the bundle carries.
    session.run({QStringLiteral("extensions")});
    services_.pause.wait(2s);

    QStringList missing;
    const std::pair<QString, const char*> checks[] = {
        {keys, kKeysProgram},
        {folder + text(kDaemonProgram), kDaemonProgram},
        {assist, kAssistProgram},
        {installed(text(modules::kAutostartFolder)) + text(modules::kAutostartEntry),
         modules::kAutostartEntry},
        {installed(text(kUnitFolder)) + text(kDaemonUnit), kDaemonUnit},
        {installed(text(kUnitFolder)) + text(kKeysUnit), kKeysUnit},
    };
    for (const auto& [path, name] : checks)
        if (!exists(path))
            missing << text(name);
    for (const char* helperProgram : modules::kHelperPrograms)
        if (!exists(folder + text(helperProgram)))
            missing << text(helperProgram);
    if (!exists(installed(text(modules::kPolicyFolder)) + text(modules::kPolicyFile)))
        missing << text(modules::kPolicyFile);
    if (!missing.isEmpty()) {
        alert(AlertStyle::Critical, tr("Failed to copy these files"),
              missing.join(QLatin1Char(',')), tr("OK"));
        return;
    }

    const bool enabled = session.run({QStringLiteral("enable")}).succeeded();
    services_.pause.wait(2s);
    // The user's manager must read the new unit files before it starts them. Without one (root,
    // or a session systemd does not manage) the units start at the next login.
    const CommandResult reload =
        services_.user.run({kSystemctl, QStringLiteral("--user"), QStringLiteral("daemon-reload")});
    if (enabled && !reload.succeeded()) {
        const QString reason =
            reload.error.isEmpty()
                ? tr("no systemd user manager runs for %1").arg(userName())
                : tr("no systemd user manager runs for %1 (%2)").arg(userName(), reload.error);
        alert(AlertStyle::Informational, tr("Installed successfully"),
              tr("Presto starts at the next login to the desktop. It could not be started now: "
                 "%1.")
                  .arg(reason),
              tr("OK"));
        return;
    }
    const bool started = services_.user.run(systemctlUser(QStringLiteral("start"))).succeeded();
    services_.pause.wait(2s);

    if (enabled && started)
        alert(AlertStyle::Informational, tr("Installed successfully"), tr("Congratulations!!"),
              tr("OK"));
    else
        alert(AlertStyle::Critical, tr("Failed to install"), tr("Needs to Cancel"), tr("Cancel"));
}

void ModuleInstaller::unInstallPrst() {
    if (const QString package = packageOwner(); !package.isEmpty()) {
        alert(AlertStyle::Informational, tr("Presto was installed with the package manager"),
              tr("The package %1 owns Presto's modules, so Presto leaves them alone. To remove "
                 "them, use your package manager, for example:\nsudo apt-get remove %1")
                  .arg(package),
              tr("OK"));
        return;
    }
    if (!isPartialInstalled()) {
        alert(AlertStyle::Critical, tr("Presto is not installed!"), tr("No need to uninstall"),
              tr("Cancel"));
        return;
    }
    if (services_.alerts.run(AlertRequest{
            tr("Uninstall Presto?"),
            tr("Presto's programs, its systemd user units and its autostart entry are removed "
               "for every user of this computer. Your hot keys are kept."),
            {tr("Cancel"), tr("Uninstall")},
            AlertStyle::Question}) != 1)
        return;

    // The installed helper, whose polkit action names what it does; else the bundle's.
    QString helper = installed(text(kInstallFolder)) + text(modules::kInstallHelper);
    if (!exists(helper))
        helper = paths_.bundle + QLatin1Char('/') + text(modules::kInstallHelper);
    const QString operation = QStringLiteral("uninstall");
    Authorization rights = services_.admin.authorize(helperCommand(helper, operation));
    if (!rights.session) {
        refused(rights.refusal, helper, operation);
        return;
    }
    PrivilegedSession& session = *rights.session;

    stopAssist();
    int notStarted = 0;
    if (!services_.user.run(systemctlUser(QStringLiteral("stop"))).started)
        ++notStarted;
    if (!session.run({QStringLiteral("disable")}).started)
        ++notStarted;
    services_.pause.wait(3s);
    if (notStarted > 0) {
        alert(AlertStyle::Critical, tr("Failed to unload"), tr("Needs to Cancel"), tr("Cancel"));
        return;
    }

    bool removed = true;
    for (const char* step : {"remove-folder", "remove-files", "remove-extensions"})
        removed = session.run({text(step)}).succeeded() && removed;
    if (removed)
        alert(AlertStyle::Informational, tr("UnInstallation was finished"), QString(), tr("OK"));
    else
        alert(AlertStyle::Critical, tr("Uninstallation was failed"), tr("Needs to Cancel"),
              tr("Cancel"));
}

void ModuleInstaller::deleteData(DataStore& store, const std::function<void()>& emptied) {
    const QString file = store.savePath();
    const QString folder = QFileInfo(file).path();
    if (file.isEmpty() || !exists(file)) {
        alert(AlertStyle::Critical, tr("HotKey data is not created"), tr("Needs to Cancel"),
              tr("Cancel"));
        return;
    }
    if (ask(tr("Delete HotKey data?"), tr("delete %1/").arg(folder),
            {tr("Cancel"), tr("DELETE")}) != 1)
        return;

    // The user's own folder: no administrator rights.
    const bool removed = install::removeTree(QFile::encodeName(folder).toStdString());
    store.removeItemData();
    if (emptied)
        emptied();
    if (removed)
        alert(AlertStyle::Informational, tr("HotKey data is deleted"), QString(), tr("OK"));
    else
        alert(AlertStyle::Critical, tr("Delete failed"), tr("Needs to Cancel"), tr("Cancel"));
}

bool ModuleInstaller::checkModules(const QString& ownVersion, bool askWhenNoneInstalled,
                                   const std::function<void()>& neverAskAgain) {
    QString title;
    const bool packaged = !packageOwner().isEmpty();
    if (packaged || isFullInstalled()) {
        const int order = compareVersions(
            ownVersion, moduleVersion(installed(text(kInstallFolder)) + text(kKeysProgram)));
        if (order == 0)
            return true;
        if (order < 0) {
            alert(AlertStyle::Critical, tr("The newer version modules has been installed."),
                  tr("Use the latest Presto."), tr("OK"));
            return false;
        }
        // The package manager brings the update.
        if (packaged)
            return true;
        title = tr("The older version modules has been installed.");
    } else if (isPartialInstalled()) {
        title = tr("No part of the module is installed!");
    } else {
        // Running without the modules is a choice (a build tried from its folder), not an error.
        if (!askWhenNoneInstalled)
            return true;
        AlertRequest question{tr("Presto's modules are not installed!"),
                              tr("Do you want to install?"),
                              {tr("OK"), tr("Cancel")},
                              AlertStyle::Question};
        question.checkBox = tr("Do not ask again");
        const AlertAnswer answer = services_.alerts.ask(question);
        if (answer.checked && neverAskAgain)
            neverAskAgain();
        if (answer.button == 0)
            installPrst();
        return true;
    }
    if (ask(title, tr("Do you want to install?"), {tr("OK"), tr("Cancel")}) == 0)
        installPrst();
    return true;
}

QString ModuleInstaller::moduleVersion(const QString& programPath) {
    // Read from the file: nothing installed is ever run to learn it.
    const auto version =
        readVersionMark(QFile::encodeName(programPath).toStdString(), kKeysProgram);
    return version ? QString::fromStdString(*version) : QString();
}

int ModuleInstaller::compareVersions(const QString& a, const QString& b) {
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const auto [leftNumber, leftRest] = splitPart(left.value(i));
        const auto [rightNumber, rightRest] = splitPart(right.value(i));
        if (leftNumber != rightNumber)
            return leftNumber < rightNumber ? -1 : 1;
        if (const int order = QString::compare(leftRest, rightRest))
            return order < 0 ? -1 : 1;
    }
    return 0;
}

} // namespace presto
