#pragma once

#include "config/installer/InstallerServices.h"
#include "config/model/AlertPresenter.h"

#include <QCoreApplication>
#include <QString>
#include <functional>

namespace presto {

class DataStore;
class ProcessTable;

// The services the installer works through; all must outlive it.
struct InstallerServices {
    CommandRunner& user;
    PrivilegedRunner& admin;
    AlertPresenter& alerts;
    ProcessTable& processes;
    Pause& pause;
    SystemRequirement& requirement;
    PackageOwnership& packages;
};

// Where the installer takes the modules from and puts them.
struct InstallerPaths {
    // The folder the configuration application runs from; the other programs lie beside it.
    QString bundle;
    // Put before every installed path. Only tests set it, to install into a folder of their own.
    QString root;
};

// Installs the modules into /opt/Presto with their systemd user units and autostart entry, checks
// and removes them, and deletes the user's data. The privileged steps are the install helper's,
// asked for by name. Modules the package manager installed are left to it. Every operation
// reads the file system afresh; nothing is kept between calls.
class ModuleInstaller {
    Q_DECLARE_TR_FUNCTIONS(ModuleInstaller)

public:
    ModuleInstaller(InstallerServices services, InstallerPaths paths);

    void installPrst();
    void unInstallPrst();
    // Removes the data folder of `store` as the user and empties the store; `emptied` then
    // refreshes the tables.
    void deleteData(DataStore& store, const std::function<void()>& emptied);

    bool isFullInstalled() const;
    bool isPartialInstalled() const;
    // Ends a running assistant.
    void stopAssist();

    // At start: offers installation when modules are missing or older, and answers false when
    // newer modules are installed and the application must end. A package install counts as
    // installed; its updates are the package manager's. The question for a system without any
    // module offers "Do not ask again": `askWhenNoneInstalled` false leaves it out, and
    // `neverAskAgain` hears when the user ticks it.
    bool checkModules(const QString& ownVersion, bool askWhenNoneInstalled = true,
                      const std::function<void()>& neverAskAgain = {});

    // The version in an installed agent, or empty when it carries none.
    static QString moduleVersion(const QString& programPath);
    // Negative, zero or positive as `a` is older than, equal to or newer than `b`, comparing the
    // dotted numbers part by part (2.0 is older than 10.0; a missing part counts as 0).
    static int compareVersions(const QString& a, const QString& b);

    // Writers of the generated files, the texts the helper installs. Each makes a new file and
    // never opens an existing name; false when it could not.
    static bool createDaemonUnit(const QString& path);
    static bool createKeysUnit(const QString& path);
    static bool createAutostartEntry(const QString& path);

    // An installed path below the root.
    QString installed(const QString& path) const { return paths_.root + path; }

private:
    QStringList moduleChecks() const;
    // The package that installed the modules; empty when this installer did, or nobody.
    QString packageOwner() const;
    QStringList helperCommand(const QString& helper, const QString& operation) const;
    // Tells why the rights were not had; a dismissed dialog ends the operation silently.
    void refused(Refusal refusal, const QString& helper, const QString& operation);
    QStringList systemctlUser(const QString& verb) const;
    void alert(AlertStyle style, const QString& title, const QString& message,
               const QString& button);
    int ask(const QString& title, const QString& message, const QStringList& buttons);

    InstallerServices services_;
    InstallerPaths paths_;
};

} // namespace presto
