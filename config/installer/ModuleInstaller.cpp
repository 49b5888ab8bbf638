#include "config/installer/ModuleInstaller.h"

#include "common/ProgramVersion.h"
#include "config/installer/ModuleFiles.h"
#include "config/model/DataStore.h"
#include "platform/ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace presto {
namespace {

using namespace std::chrono_literals;

const QString kSystemctl = QStringLiteral("/usr/bin/systemctl");
const QString kInstall = QStringLiteral("/usr/bin/install");
const QString kMkdir = QStringLiteral("/usr/bin/mkdir");
const QString kRm = QStringLiteral("/usr/bin/rm");

QString text(const char* value) {
    return QString::fromLatin1(value);
}

// True when something, even a dangling link, is at the path.
bool exists(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// True when both paths lead to one file, as when the application runs from the installed folder.
bool sameFile(const QString& a, const QString& b) {
    struct stat first {
    }, second{};
    return stat(QFile::encodeName(a).constData(), &first) == 0 &&
           stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Removes the entry `name` of the folder `parent`, a folder with everything in it. Links are
// removed, never followed, so nothing outside is touched.
bool removeEntry(int parent, const char* name) {
    if (unlinkat(parent, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..")
            names.push_back(entryName);
    }
    bool removed = true;
    for (const std::string& entryName : names)
        removed = removeEntry(dirfd(dir), entryName.c_str()) && removed;
    closedir(dir);
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 && removed;
}

bool removeTree(const QString& path) {
    const QFileInfo info(path);
    const int parent =
        open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return false;
    const bool removed = removeEntry(parent, QFile::encodeName(info.fileName()).constData());
    close(parent);
    return removed;
}

// The number at the start of a version part, and what follows it.
std::pair<long long, QString> splitPart(const QString& part) {
    qsizetype digits = 0;
    while (digits < part.size() && digits < 18 && part.at(digits).isDigit())
        ++digits;
    return {digits ? part.left(digits).toLongLong() : 0, part.mid(digits)};
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

CommandResult ModuleInstaller::runAdmin(PrivilegedSession& session, const QStringList& argv) {
    return session.run(argv);
}

QStringList ModuleInstaller::systemctlGlobal(const QString& verb) const {
    QStringList argv{kSystemctl, QStringLiteral("--global")};
    if (!paths_.root.isEmpty())
        argv << QStringLiteral("--root=") + paths_.root;
    return argv << verb << text(modules::kDaemonUnit) << text(modules::kKeysUnit);
}

QStringList ModuleInstaller::systemctlUser(const QString& verb) const {
    return {kSystemctl, QStringLiteral("--user"), verb, text(modules::kDaemonUnit),
            text(modules::kKeysUnit)};
}

QStringList ModuleInstaller::moduleChecks() const {
    const QString folder = installed(text(modules::kInstallFolder));
    QStringList checks{
        folder,
        folder + text(modules::kKeysProgram),
        folder + text(modules::kDaemonProgram),
        folder + text(modules::kAssistProgram),
        installed(text(modules::kUnitFolder)) + text(modules::kKeysUnit),
        installed(text(modules::kAutostartFolder)) + text(modules::kAutostartEntry),
        installed(text(modules::kUnitFolder)) + text(modules::kDaemonUnit),
    };
    for (const char* helper : modules::kHelperPrograms)
        checks << folder + text(helper);
    return checks;
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
    if (const auto pid = services_.processes.findProcessByName(modules::kAssistProgram))
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
    if (!services_.requirement.met()) {
        alert(AlertStyle::Critical, tr("Can not meet the system requirements for installation!!"),
              tr("Needs to Cancel"), tr("Cancel"));
        return;
    }

    const QString folder = installed(text(modules::kInstallFolder));
    const QString keys = folder + text(modules::kKeysProgram);
    const QString daemon = folder + text(modules::kDaemonProgram);
    const QString assist = folder + text(modules::kAssistProgram);
    const QString unitFolder = installed(text(modules::kUnitFolder));
    const QString daemonUnit = unitFolder + text(modules::kDaemonUnit);
    const QString keysUnit = unitFolder + text(modules::kKeysUnit);
    const QString autostartFolder = installed(text(modules::kAutostartFolder));
    const QString autostartEntry = autostartFolder + text(modules::kAutostartEntry);
    const QString applicationsFolder = installed(text(modules::kApplicationsFolder));
    const QString iconFolder = installed(text(modules::kIconFolder));

    // What was there before anything changes.
    const bool hadKeys = exists(keys);
    const bool hadAssist = exists(assist);
    QStringList missingFolders;
    for (const QString& path :
         {folder, unitFolder, autostartFolder, applicationsFolder, iconFolder})
        if (!exists(path))
            missingFolders << path;

    const QString bundle = paths_.bundle + QLatin1Char('/');
    const QString keysSource = bundle + text(modules::kKeysProgram);
    const QString daemonSource = bundle + text(modules::kDaemonProgram);
    const QString assistSource = bundle + text(modules::kAssistProgram);

    // A private folder of our own: another user can plant nothing in it for root to copy.
    QByteArray pattern = QFile::encodeName(paths_.temporary + QStringLiteral("/Presto.XXXXXX"));
    const QString staging =
        mkdtemp(pattern.data()) ? QFile::decodeName(pattern) + QLatin1Char('/') : QString();
    const QString daemonUnitTemp = staging + text(modules::kDaemonUnit);
    const QString keysUnitTemp = staging + text(modules::kKeysUnit);
    const QString autostartTemp = staging + text(modules::kAutostartEntry);
    const QString applicationTemp = staging + text(modules::kApplicationEntry);
    // A file that cannot be written shows as missing after the copies.
    if (!staging.isEmpty()) {
        createDaemonUnit(daemonUnitTemp);
        createKeysUnit(keysUnitTemp);
        createAutostartEntry(autostartTemp);
        modules::writeNewFile(QFile::encodeName(applicationTemp).toStdString(),
                              modules::applicationEntryText(), 0644);
    }

    const std::unique_ptr<PrivilegedSession> session = services_.admin.authorize();
    if (!session)
        return;

    for (const QString& path : missingFolders) {
        if (!runAdmin(*session, {kMkdir, QStringLiteral("-p"), path}).succeeded()) {
            alert(AlertStyle::Critical, tr("mkdir was unsuccessful"), path, tr("Cancel"));
            return;
        }
    }

    if (hadKeys) {
        services_.user.run(systemctlUser(QStringLiteral("stop")));
        runAdmin(*session, systemctlGlobal(QStringLiteral("disable")));
        // Run from the installed folder, the old module is the one to copy.
        if (!sameFile(keysSource, keys))
            runAdmin(*session, {kRm, QStringLiteral("-f"), keys});
    }
    if (hadAssist) {
        stopAssist();
        if (!sameFile(assistSource, assist))
            runAdmin(*session, {kRm, QStringLiteral("-f"), assist});
    }

    // `install` replaces a file by a new one, so a program that is running is updated too, and
    // gives every copy its mode whatever root's umask is.
    const auto copy = [&](const QString& mode, const QString& from, const QString& to) {
        if (!sameFile(from, to))
            runAdmin(*session,
                     {kInstall, QStringLiteral("-T"), QStringLiteral("-m"), mode, from, to});
    };
    const QString program = QStringLiteral("755"), file = QStringLiteral("644");
    copy(program, keysSource, keys);
    copy(program, daemonSource, daemon);
    copy(program, assistSource, assist);
    for (const char* helper : modules::kHelperPrograms)
        copy(program, bundle + text(helper), folder + text(helper));
    copy(file, autostartTemp, autostartEntry);
    copy(file, daemonUnitTemp, daemonUnit);
    copy(file, keysUnitTemp, keysUnit);
    // The configuration application itself, for the desktop's menus.
    copy(program, bundle + text(modules::kConfigProgram), folder + text(modules::kConfigProgram));
    const QString iconSource = bundle + text(modules::kIconFile);
    copy(file, iconSource, folder + text(modules::kIconFile));
    copy(file, iconSource, iconFolder + text(modules::kIconFile));
    copy(file, applicationTemp, applicationsFolder + text(modules::kApplicationEntry));
    // The file managers' extensions, those the bundle carries: a build without them installs
    // the rest all the same.
    const QString extensionSource = bundle + text(modules::kExtensionSource);
    QStringList extensionFolders;
    for (const modules::ExtensionFile& extension : modules::kExtensionFiles) {
        const QString target = installed(text(extension.folder));
        if (exists(extensionSource + text(extension.name)) && !extensionFolders.contains(target))
            extensionFolders << target;
    }
    for (const QString& path : extensionFolders)
        runAdmin(*session, {kMkdir, QStringLiteral("-p"), path});
    for (const modules::ExtensionFile& extension : modules::kExtensionFiles)
        if (exists(extensionSource + text(extension.name)))
            copy(file, extensionSource + text(extension.name),
                 installed(text(extension.folder)) + text(extension.name));

    if (!staging.isEmpty()) {
        for (const QString& path : {daemonUnitTemp, keysUnitTemp, autostartTemp, applicationTemp})
            QFile::remove(path);
        QDir().rmdir(staging);
    }
    services_.pause.wait(2s);

    QStringList missing;
    const std::pair<QString, const char*> copies[] = {
        {keys, modules::kKeysProgram},      {daemon, modules::kDaemonProgram},
        {assist, modules::kAssistProgram},  {autostartEntry, modules::kAutostartEntry},
        {daemonUnit, modules::kDaemonUnit}, {keysUnit, modules::kKeysUnit},
    };
    for (const auto& [path, name] : copies)
        if (!exists(path))
            missing << text(name);
    for (const char* helper : modules::kHelperPrograms)
        if (!exists(folder + text(helper)))
            missing << text(helper);
    if (!missing.isEmpty()) {
        alert(AlertStyle::Critical, tr("Failed to copy these files"),
              missing.join(QLatin1Char(',')), tr("OK"));
        return;
    }

    const bool enabled = runAdmin(*session, systemctlGlobal(QStringLiteral("enable"))).succeeded();
    services_.pause.wait(2s);
    // The user's manager must read the new unit files before it starts them.
    services_.user.run({kSystemctl, QStringLiteral("--user"), QStringLiteral("daemon-reload")});
    const bool started = services_.user.run(systemctlUser(QStringLiteral("start"))).succeeded();
    services_.pause.wait(2s);

    if (enabled && started)
        alert(AlertStyle::Informational, tr("Installed successfully"), tr("Congratulations!!"),
              tr("OK"));
    else
        alert(AlertStyle::Critical, tr("Failed to install"), tr("Needs to Cancel"), tr("Cancel"));
}

void ModuleInstaller::unInstallPrst() {
    if (!isPartialInstalled()) {
        alert(AlertStyle::Critical, tr("Presto is not installed!"), tr("No need to uninstall"),
              tr("Cancel"));
        return;
    }
    const std::unique_ptr<PrivilegedSession> session = services_.admin.authorize();
    if (!session)
        return;

    stopAssist();
    int notStarted = 0;
    if (!services_.user.run(systemctlUser(QStringLiteral("stop"))).started)
        ++notStarted;
    if (!runAdmin(*session, systemctlGlobal(QStringLiteral("disable"))).started)
        ++notStarted;
    services_.pause.wait(3s);
    if (notStarted > 0) {
        alert(AlertStyle::Critical, tr("Failed to unload"), tr("Needs to Cancel"), tr("Cancel"));
        return;
    }

    const QString unitFolder = installed(text(modules::kUnitFolder));
    const bool folderRemoved =
        runAdmin(*session, {kRm, QStringLiteral("-Rf"), installed(text(modules::kInstallFolder))})
            .started;
    const bool filesRemoved =
        runAdmin(*session,
                 {kRm, QStringLiteral("-f"), unitFolder + text(modules::kDaemonUnit),
                  unitFolder + text(modules::kKeysUnit),
                  installed(text(modules::kAutostartFolder)) + text(modules::kAutostartEntry),
                  installed(text(modules::kApplicationsFolder)) + text(modules::kApplicationEntry),
                  installed(text(modules::kIconFolder)) + text(modules::kIconFile)})
            .started;
    // Only our own extensions: the folders belong to the file managers' bindings.
    QStringList extensions{kRm, QStringLiteral("-f")};
    for (const modules::ExtensionFile& extension : modules::kExtensionFiles)
        extensions << installed(text(extension.folder)) + text(extension.name);
    const bool extensionsRemoved = runAdmin(*session, extensions).started;
    if (folderRemoved && filesRemoved && extensionsRemoved)
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
    const bool removed = removeTree(folder);
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
    if (isFullInstalled()) {
        const int order =
            compareVersions(ownVersion, moduleVersion(installed(text(modules::kInstallFolder)) +
                                                      text(modules::kKeysProgram)));
        if (order == 0)
            return true;
        if (order < 0) {
            alert(AlertStyle::Critical, tr("The newer version modules has been installed."),
                  tr("Use the latest Presto."), tr("OK"));
            return false;
        }
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
        readVersionMark(QFile::encodeName(programPath).toStdString(), modules::kKeysProgram);
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
