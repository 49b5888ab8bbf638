#include "config/ui/AppController.h"

#include "common/DataFile.h"
#include "common/PreferenceDomain.h"
#include "common/SnapshotFile.h"
#include "common/Version.h"
#include "config/installer/ModuleInstaller.h"
#include "config/model/DataStore.h"
#include "config/ui/HotKeyController.h"
#include "config/ui/MainWindow.h"
#include "config/ui/PreferenceController.h"

#include <QAction>
#include <QCoreApplication>
#include <QSignalBlocker>
#include <QTabWidget>

namespace presto {

AppController::AppController(NotificationHub& hub, AlertPresenter& alerts,
                             std::unique_ptr<DataStore> store)
    : hub_(hub), alerts_(alerts), dataStore_(std::move(store)),
      hotKeyController_(std::make_unique<HotKeyController>(hub, alerts)) {
    addMenu_ = makeAction(tr("New Launch HotKey..."), &AppController::addLaunchItem);
    delMenu_ = makeAction(tr("Delete Launch HotKey"), &AppController::delLaunchItem);
    addItemMenu_ = makeAction(tr("Add Item..."), &AppController::addItem);
    delItemMenu_ = makeAction(tr("Delete Item"), &AppController::deleteItem);
    addPbTitleMenu_ = makeAction(tr("Save Pasteboard..."), &AppController::addPbTitle);
    delPbTitleMenu_ = makeAction(tr("Delete Pasteboard HotKey"), &AppController::delPbTitle);
    modHotKeyMenu_ = makeAction(tr("Change HotKey..."), &AppController::modHotKey);
    resetHotKeyMenu_ = makeAction(tr("Reset HotKey"), &AppController::resetHotKey);
    saveMenu_ = makeAction(tr("Save"), &AppController::saveAction);
    quitMenu_ = new QAction(tr("Quit Presto"), this);
    connect(quitMenu_, &QAction::triggered, this, [] { QCoreApplication::quit(); });
    aboutMenu_ = makeAction(tr("About Presto"), &AppController::openAboutPanel);
    preferencesMenu_ = makeAction(tr("Preferences..."), &AppController::showPreferencePanel);
    // Most Linux desktops bind nothing to the standard Preferences key.
    preferencesMenu_->setShortcut(QKeySequence::keyBindings(QKeySequence::Preferences).isEmpty()
                                      ? QKeySequence(Qt::CTRL | Qt::Key_Comma)
                                      : QKeySequence(QKeySequence::Preferences));
    preferencesMenu_->setMenuRole(QAction::PreferencesRole);
    addMenu_->setShortcut(QKeySequence::New);
    modHotKeyMenu_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    // Never enabled together (different tabs); the drawer's table takes Delete for its paths.
    delMenu_->setShortcut(QKeySequence::Delete);
    delPbTitleMenu_->setShortcut(QKeySequence::Delete);
    saveMenu_->setShortcut(QKeySequence::Save);
    quitMenu_->setShortcut(QKeySequence::Quit);
    quitMenu_->setMenuRole(QAction::QuitRole);
    aboutMenu_->setMenuRole(QAction::AboutRole);
    makeInstallerMenus();

    connect(&hub_, &NotificationHub::SetEventCode, this, &AppController::handleGetEventCode);
    connect(&hub_, &NotificationHub::ResetEventCode, this, &AppController::handleGetResetEventCode);
    connect(&hub_, &NotificationHub::ReplaceHotKeyItem, this,
            [this](HotKeyItem* item, int row, const QStringList&) {
                handleGetReplaceHotKeyItem(item, row);
            });
    connect(&hub_, &NotificationHub::DelHotKeyItem, this, &AppController::handleGetDelHotKeyItem);
    connect(&hub_, &NotificationHub::DelPbTitle, this, &AppController::handleGetDelPbTitle);
    connect(&hub_, &NotificationHub::RowValueFromLI, this, &AppController::handleGetRowValueFromLI);
    connect(&hub_, &NotificationHub::RowValueFromFF, this, &AppController::handleGetRowValueFromFF);
    connect(&hub_, &NotificationHub::RowValueFromPbF, this,
            &AppController::handleGetRowValueFromPbF);

    if (!checkVersion(QLatin1String(kDataVersion), dataStore_->versionNo())) {
        AlertRequest request;
        request.style = AlertStyle::Critical;
        request.title = tr("The setting data version is newer than this.");
        request.message = tr("Use the latest Presto.");
        request.buttons = {tr("OK")};
        alerts_.run(request);
        versionAccepted_ = false;
    }

    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this,
                &AppController::applicationShouldTerminate);
}

AppController::~AppController() {
    hub_.disconnect(this);
}

QAction* AppController::makeAction(const QString& text, void (AppController::*slot)()) {
    auto* action = new QAction(text, this);
    connect(action, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
    return action;
}

bool AppController::checkVersion(const QString& own, const std::optional<QString>& found) {
    return !found || QString::compare(own, *found) >= 0;
}

QString AppController::applicationVersion() {
    const unsigned value = QLatin1String(kDataVersion).toUInt();
    return QString::asprintf("%u.%u.%u", value / 100, value / 10 % 10, value % 10);
}

void AppController::awakeFromNib(MainWindow& window) {
    setEditMenus(true, false, false, false, false, false);
    modHotKeyMenu_->setEnabled(false);
    mainTabView_ = window.tabView();
    {
        // Selecting the first tab is not a tab change the user made.
        const QSignalBlocker blocker(mainTabView_);
        mainTabView_->setCurrentIndex(0);
    }
    connect(mainTabView_, &QTabWidget::currentChanged, this, &AppController::tabViewDidSelect);
    window.setCloseHandler([this] { return windowShouldClose(); });
    emit hub_.ShowLaunchItemTable(dataStore_.get());
    // Ending the run must wait until the event loop runs.
    if (!checkModules())
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
}

void AppController::addLaunchItem() {
    emit hub_.AddLaunchItemByMenu();
}

void AppController::delLaunchItem() {
    emit hub_.DelLaunchItemByMenu();
}

void AppController::addItem() {
    emit hub_.AddItemByMenu();
}

void AppController::deleteItem() {
    emit hub_.DelItemByMenu();
}

void AppController::resetHotKey() {
    emit hub_.ResetHotKey();
}

void AppController::addPbTitle() {
    emit hub_.AddPbTitleByMenu();
}

void AppController::delPbTitle() {
    emit hub_.DelPbTitleByMenu();
}

void AppController::modHotKey() {
    if (!mainTabView_ || !mainTabView_->currentWidget())
        return;
    switch (mainTabView_->currentWidget()->property(MainWindow::kTabIdentifier).toInt()) {
    case 1:
        emit hub_.ModHotKey2LIByMenu();
        break;
    case 2:
        emit hub_.ModHotKey2FFByMenu();
        break;
    case 3:
        emit hub_.ModHotKey2PbFByMenu();
        break;
    default:
        break;
    }
}

void AppController::saveAction() {
    saveData();
}

void AppController::saveData() {
    dataStore_->saveItemData();
}

void AppController::openAboutPanel() {
    AlertRequest request;
    request.style = AlertStyle::Informational;
    request.title = QStringLiteral("Presto");
    request.message =
        tr("Version %1 (%2)").arg(applicationVersion(), QStringLiteral(PRESTO_BUNDLE_VERSION));
    request.buttons = {tr("OK")};
    alerts_.run(request);
}

void AppController::setPreferenceFactory(PreferenceFactory make) {
    makePreferenceController_ = std::move(make);
    preferenceController_ = makePreferenceController_ ? makePreferenceController_() : nullptr;
}

void AppController::showPreferencePanel() {
    if (!preferenceController_ && makePreferenceController_)
        preferenceController_ = makePreferenceController_();
    if (preferenceController_)
        preferenceController_->showWindow();
}

bool AppController::windowShouldClose() {
    QCoreApplication::quit();
    return true;
}

void AppController::applicationShouldTerminate() {
    saveAction();
}

void AppController::tabViewDidSelect(int index) {
    emit hub_.CloseDrawer();
    emit hub_.ClosePbItemDrawer();
    emit hub_.CloseHK();
    modHotKeyMenu_->setEnabled(false);
    QWidget* page = mainTabView_ ? mainTabView_->widget(index) : nullptr;
    switch (page ? page->property(MainWindow::kTabIdentifier).toInt() : 0) {
    case 1:
        emit hub_.ShowLaunchItemTableByTab(dataStore_.get());
        setEditMenus(true, false, false, false, false, false);
        break;
    case 2:
        emit hub_.ShowFFTableByTab(dataStore_.get());
        setEditMenus(false, false, false, false, false, false);
        break;
    case 3:
        emit hub_.ShowPbItemTableByTab(dataStore_.get());
        setEditMenus(false, false, false, false, true, false);
        break;
    default:
        break;
    }
}

void AppController::setEditMenus(bool add, bool del, bool addItem, bool delItem, bool addPbTitle,
                                 bool delPbTitle) {
    addMenu_->setEnabled(add);
    delMenu_->setEnabled(del);
    addItemMenu_->setEnabled(addItem);
    delItemMenu_->setEnabled(delItem);
    addPbTitleMenu_->setEnabled(addPbTitle);
    delPbTitleMenu_->setEnabled(delPbTitle);
}

void AppController::handleGetRowValueFromLI(int launchItemRow, int drawerItemRow) {
    const bool selected = launchItemRow >= 0;
    delMenu_->setEnabled(selected);
    addItemMenu_->setEnabled(selected);
    modHotKeyMenu_->setEnabled(selected);
    delItemMenu_->setEnabled(selected && drawerItemRow >= 0);
}

void AppController::handleGetRowValueFromFF(int row) {
    modHotKeyMenu_->setEnabled(row >= 0);
}

void AppController::handleGetRowValueFromPbF(int row) {
    const bool selected = row >= 0;
    delPbTitleMenu_->setEnabled(selected);
    modHotKeyMenu_->setEnabled(selected);
}

void AppController::handleGetEventCode(HotKeyController* panel) {
    if (!panel)
        return;
    if (dataStore_->countHotKey() >= kMaxHotKeys) {
        AlertRequest request;
        request.style = AlertStyle::Critical;
        request.title = tr("Sorry");
        request.message = tr("You can entry 100 HotKeys at the most");
        request.buttons = {tr("OK")};
        alerts_.run(request);
        return;
    }
    const int row = panel->selectedRow();
    switch (panel->tableKbn()) {
    case note::kKbnNewLaunch:
        storeLaunchHotKey(*panel);
        return;
    case note::kKbnChangeLaunch:
        if (HotKeyItem* item = dataStore_->hotKeyItem(row)) {
            item->setHotKeyRec(panel->hotKeyRec());
            item->resetItemCount();
        }
        emit hub_.ShowLaunchItemTable(dataStore_.get());
        saveData();
        return;
    case note::kKbnFinder:
        if (HotKeyFinderFunction* function = dataStore_->hotKeyFinderFunction(row))
            function->assignHotKeyRec(panel->hotKeyRec());
        emit hub_.ShowFFTable(dataStore_.get());
        saveData();
        return;
    case note::kKbnNewPasteboard:
        storePasteboardHotKey(*panel);
        return;
    case note::kKbnChangePasteboard:
        if (HotKeyPbItem* item = dataStore_->hotKeyPbItem(row)) {
            item->setHotKeyRec(panel->hotKeyRec());
            item->setKind(kKindPasteboard);
            item->setItemCount(1);
        }
        emit hub_.ShowPbItemTable(dataStore_.get());
        saveData();
        return;
    default:
        saveData();
        return;
    }
}

void AppController::storeLaunchHotKey(const HotKeyController& panel) {
    const QStringList paths = panel.items();
    if (HotKeyItem::checkItemCount(paths.size(), std::nullopt, alerts_) != 1)
        return;
    auto item = std::make_unique<HotKeyItem>();
    item->setHotKeyRecItems(panel.hotKeyRec(), paths);
    item->setItemPath(paths.isEmpty() ? std::nullopt : std::optional<QString>(paths.first()));
    HotKeyItem* stored = item.get();
    const int row = panel.selectedRow();
    if (row < 0 || row > dataStore_->countHotKeyItem()) {
        dataStore_->addHotKeyItem(std::move(item));
        emit hub_.CloseDrawer();
    } else {
        dataStore_->insertHotKeyItem(std::move(item), row);
        if (stored->itemPaths().size() > 1)
            emit hub_.OpenDrawer(row, stored->itemPaths(), nullptr);
        else
            emit hub_.CloseDrawer();
    }
    emit hub_.ShowLaunchItemTable(dataStore_.get());
    saveData();
}

void AppController::storePasteboardHotKey(const HotKeyController& panel) {
    const QString path = panel.items().value(0);
    auto item = std::make_unique<HotKeyPbItem>(panel.hotKeyRec());
    item->setKind(kKindPasteboard);
    item->setPbDataPath(path);
    item->setPbTitle(lastPathComponent(path));
    item->setItemCount(1);
    const int row = panel.selectedRow();
    if (row < 0 || row > dataStore_->countHotKeyPbItem())
        dataStore_->addHotKeyPbItem(std::move(item));
    else
        dataStore_->insertHotKeyPbItem(std::move(item), row);
    // Without a place to save, the new hot key stays in memory only.
    if (!dataStore_->exsistSavePath())
        return;
    const QByteArray& data = panel.pbData();
    // A file that cannot be written leaves the hot key without one; the next save skips it.
    writeSnapshotFile(path.toStdString(),
                      PasteboardSnapshot{panel.pbUTI().toStdString(),
                                         std::vector<std::uint8_t>(data.begin(), data.end())});
    emit hub_.ShowPbItemTable(dataStore_.get());
    saveData();
}

void AppController::handleGetResetEventCode(HotKeyController* panel) {
    if (!panel || panel->tableKbn() != note::kKbnFinder)
        return;
    if (HotKeyFinderFunction* function = dataStore_->hotKeyFinderFunction(panel->selectedRow()))
        function->resetHotKey();
    emit hub_.ShowFFTable(dataStore_.get());
    saveData();
}

void AppController::handleGetReplaceHotKeyItem(HotKeyItem* item, int row) {
    // The tabs hand back the stored hot key itself, changed in place; only another one replaces.
    if (item && item != dataStore_->hotKeyItem(row))
        dataStore_->replaceHotKeyItem(std::make_unique<HotKeyItem>(*item), row);
    saveData();
    emit hub_.ShowLaunchItemTable(dataStore_.get());
}

void AppController::handleGetDelHotKeyItem(int row) {
    dataStore_->removeHotKeyItem(row);
    saveData();
    emit hub_.ShowLaunchItemTable(dataStore_.get());
}

void AppController::makeInstallerMenus() {
    installMenu_ = makeAction(tr("Install Presto..."), &AppController::installPrst);
    uninstallMenu_ = makeAction(tr("Uninstall Presto..."), &AppController::unInstallPrst);
    deleteDataMenu_ = makeAction(tr("Delete HotKey Data..."), &AppController::deleteData);
}

void AppController::installPrst() {
    if (installer_)
        installer_->installPrst();
}

void AppController::unInstallPrst() {
    if (installer_)
        installer_->unInstallPrst();
}

void AppController::deleteData() {
    if (!installer_)
        return;
    installer_->deleteData(*dataStore_, [this] {
        emit hub_.ShowFFTable(dataStore_.get());
        emit hub_.ShowPbItemTable(dataStore_.get());
        emit hub_.ShowLaunchItemTable(dataStore_.get());
    });
}

bool AppController::checkModules() {
    if (!installer_)
        return true;
    if (userDefaults_)
        userDefaults_->synchronize();
    const bool ask = !userDefaults_ || userDefaults_->getBool(kFlagAskToInstall).value_or(true);
    return installer_->checkModules(QStringLiteral(PRESTO_BUNDLE_VERSION), ask, [this] {
        if (!userDefaults_)
            return;
        userDefaults_->setBool(kFlagAskToInstall, false);
        userDefaults_->synchronize();
    });
}

void AppController::handleGetDelPbTitle(int row) {
    dataStore_->removeHotKeyPbItemData(row);
    saveData();
    emit hub_.ShowPbItemTable(dataStore_.get());
}

} // namespace presto
