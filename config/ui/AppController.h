#pragma once

#include "config/model/AlertPresenter.h"
#include "config/ui/NotificationHub.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QTabWidget;

namespace presto {

class DataStore;
class HotKeyController;
class ModuleInstaller;
class MainWindow;
class PreferenceController;
class PreferenceDomain;

// The hub of the configuration application: owns the data store and the capture panel for the
// whole run, turns menu commands into notifications for the tabs, is the one place where a
// captured hot key is stored and saved, and keeps the edit commands' enabled state in step with
// the selected tab and rows.
class AppController : public QObject {
    Q_OBJECT

public:
    // The version of the data this application writes.
    static constexpr char kDataVersion[] = "0511";

    // Runs the data version check; when it fails the user has been told and versionAccepted()
    // is false: the caller ends the run without showing a window.
    AppController(NotificationHub& hub, AlertPresenter& alerts, std::unique_ptr<DataStore> store);
    ~AppController() override;

    bool versionAccepted() const { return versionAccepted_; }
    // True when a data file of `found` may be used by an application of version `own`: `own`
    // does not sort before it. No version read passes.
    static bool checkVersion(const QString& own, const std::optional<QString>& found);
    // "0511" read as 511 and shown "%u.%u.%u".
    static QString applicationVersion();

    // Once the main window and its tabs exist: the initial menu state and the first tab.
    void awakeFromNib(MainWindow& window);

    // Menu actions.
    void addLaunchItem();
    void delLaunchItem();
    void addItem();
    void deleteItem();
    void resetHotKey();
    void addPbTitle();
    void delPbTitle();
    void modHotKey();
    void saveAction();
    void saveData();
    void openAboutPanel();
    // Shows the preferences panel, made first when there is none.
    void showPreferencePanel();

    // How the preferences panel is made: at once, and again whenever it is missing.
    using PreferenceFactory = std::function<std::unique_ptr<PreferenceController>()>;
    void setPreferenceFactory(PreferenceFactory make);
    PreferenceController* preferenceController() const { return preferenceController_.get(); }

    // Closing the main window quits; quitting saves first.
    bool windowShouldClose();
    void applicationShouldTerminate();
    void tabViewDidSelect(int index);

    DataStore& dataStore() const { return *dataStore_; }
    HotKeyController& hotKeyController() const { return *hotKeyController_; }

    // The seven edit commands the controller alone enables, and the plain ones.
    QAction* addMenu() const { return addMenu_; }
    QAction* delMenu() const { return delMenu_; }
    QAction* addItemMenu() const { return addItemMenu_; }
    QAction* delItemMenu() const { return delItemMenu_; }
    QAction* addPbTitleMenu() const { return addPbTitleMenu_; }
    QAction* delPbTitleMenu() const { return delPbTitleMenu_; }
    QAction* modHotKeyMenu() const { return modHotKeyMenu_; }
    QAction* resetHotKeyMenu() const { return resetHotKeyMenu_; }
    QAction* saveMenu() const { return saveMenu_; }
    QAction* quitMenu() const { return quitMenu_; }
    QAction* aboutMenu() const { return aboutMenu_; }
    QAction* preferencesMenu() const { return preferencesMenu_; }

    // The module installer behind the Install, Uninstall and Delete-data commands and the module
    // check at start; without one they do nothing. `userDefaults`, the application's domain,
    // keeps whether the user declined installing for good. Both must outlive the controller.
    void setModuleInstaller(ModuleInstaller* installer, PreferenceDomain* userDefaults = nullptr) {
        installer_ = installer;
        userDefaults_ = userDefaults;
    }
    void installPrst();
    void unInstallPrst();
    void deleteData();
    // False when newer modules are installed and the application must end.
    bool checkModules();
    QAction* installMenu() const { return installMenu_; }
    QAction* uninstallMenu() const { return uninstallMenu_; }
    QAction* deleteDataMenu() const { return deleteDataMenu_; }

private:
    void makeInstallerMenus();

    void handleGetEventCode(HotKeyController* panel);
    void handleGetResetEventCode(HotKeyController* panel);
    void handleGetReplaceHotKeyItem(HotKeyItem* item, int launchItemRow);
    void handleGetDelHotKeyItem(int row);
    void handleGetDelPbTitle(int row);
    void handleGetRowValueFromLI(int launchItemRow, int drawerItemRow);
    void handleGetRowValueFromFF(int row);
    void handleGetRowValueFromPbF(int row);
    void storeLaunchHotKey(const HotKeyController& panel);
    void storePasteboardHotKey(const HotKeyController& panel);
    void setEditMenus(bool add, bool del, bool addItem, bool delItem, bool addPbTitle,
                      bool delPbTitle);
    QAction* makeAction(const QString& text, void (AppController::*slot)());

    NotificationHub& hub_;
    AlertPresenter& alerts_;
    std::unique_ptr<DataStore> dataStore_;
    std::unique_ptr<HotKeyController> hotKeyController_;
    PreferenceFactory makePreferenceController_;
    std::unique_ptr<PreferenceController> preferenceController_;
    QTabWidget* mainTabView_ = nullptr;
    bool versionAccepted_ = true;

    QAction* addMenu_ = nullptr;
    QAction* delMenu_ = nullptr;
    QAction* addItemMenu_ = nullptr;
    QAction* delItemMenu_ = nullptr;
    QAction* addPbTitleMenu_ = nullptr;
    QAction* delPbTitleMenu_ = nullptr;
    QAction* modHotKeyMenu_ = nullptr;
    QAction* resetHotKeyMenu_ = nullptr;
    QAction* saveMenu_ = nullptr;
    QAction* quitMenu_ = nullptr;
    QAction* aboutMenu_ = nullptr;
    QAction* preferencesMenu_ = nullptr;

    ModuleInstaller* installer_ = nullptr;
    PreferenceDomain* userDefaults_ = nullptr;
    QAction* installMenu_ = nullptr;
    QAction* uninstallMenu_ = nullptr;
    QAction* deleteDataMenu_ = nullptr;
};

} // namespace presto
