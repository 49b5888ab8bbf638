#include "config/ui/MainWindow.h"

#include "config/ui/AppController.h"
#include "config/ui/DaemonStatus.h"
#include "config/ui/DrawerController.h"
#include "config/ui/FFController.h"
#include "config/ui/LIController.h"
#include "config/ui/PbFController.h"
#include "config/ui/TableModels.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace presto {

MainWindow::MainWindow(NotificationHub& hub, AlertPresenter& alerts, FileChooser& chooser,
                       const AppController& controller) {
    setWindowTitle(QStringLiteral("Presto"));

    auto* central = new QWidget(this);
    auto* rows = new QVBoxLayout(central);
    auto* layout = new QHBoxLayout;
    rows->addLayout(layout, 1);
    tabView_ = new QTabWidget(central);
    launchItemTab_ = new LIController(hub, alerts, chooser);
    launchItemTab_->setProperty(kTabIdentifier, 1);
    tabView_->addTab(launchItemTab_, tr("Launch Item"));
    finderFunctionTab_ = new FFController(hub);
    finderFunctionTab_->setProperty(kTabIdentifier, 2);
    tabView_->addTab(finderFunctionTab_, tr("Finder Function"));
    pasteboardItemTab_ = new PbFController(hub, alerts);
    pasteboardItemTab_->setProperty(kTabIdentifier, 3);
    tabView_->addTab(pasteboardItemTab_, tr("Pasteboard Item"));
    drawer_ = new DrawerController(hub, alerts, chooser, central);
    layout->addWidget(tabView_, 1);
    layout->addWidget(drawer_);
    daemonStatus_ = new DaemonStatus(central);
    rows->addWidget(daemonStatus_);
    setCentralWidget(central);

    // The edit commands are enabled by the application controller alone.
    QMenu* fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(controller.saveMenu());
    fileMenu->addAction(controller.preferencesMenu());
    fileMenu->addSeparator();
    fileMenu->addAction(controller.quitMenu());
    QMenu* editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->addAction(controller.addMenu());
    editMenu->addAction(controller.delMenu());
    editMenu->addSeparator();
    editMenu->addAction(controller.addItemMenu());
    editMenu->addAction(controller.delItemMenu());
    editMenu->addSeparator();
    editMenu->addAction(controller.addPbTitleMenu());
    editMenu->addAction(controller.delPbTitleMenu());
    editMenu->addSeparator();
    editMenu->addAction(controller.modHotKeyMenu());
    editMenu->addAction(controller.resetHotKeyMenu());
    QMenu* modulesMenu = menuBar()->addMenu(tr("&Modules"));
    modulesMenu->addAction(controller.installMenu());
    modulesMenu->addAction(controller.uninstallMenu());
    modulesMenu->addSeparator();
    modulesMenu->addAction(controller.deleteDataMenu());
    QMenu* helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(controller.aboutMenu());

    resize(720, 440);
}

MainWindow::~MainWindow() {
    // Removing the pages one by one as the children go is no tab change for the controller.
    tabView_->blockSignals(true);
}

void MainWindow::setKeysStatus(const KeysStatus* status) {
    launchItemTab_->model().setKeysStatus(status);
    finderFunctionTab_->model().setKeysStatus(status);
    pasteboardItemTab_->model().setKeysStatus(status);
}

QWidget* MainWindow::tabPage(int identifier) const {
    for (int i = 0; i < tabView_->count(); ++i) {
        if (tabView_->widget(i)->property(kTabIdentifier).toInt() == identifier)
            return tabView_->widget(i);
    }
    return nullptr;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeHandler_ && !closeHandler_())
        event->ignore();
    else
        event->accept();
}

} // namespace presto
