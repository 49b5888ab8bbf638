#pragma once

#include "config/model/AlertPresenter.h"
#include "config/ui/FileChooser.h"
#include "config/ui/NotificationHub.h"

#include <QMainWindow>
#include <functional>

class QTabWidget;

namespace presto {

class AppController;
class DaemonStatus;
class DrawerController;
class FFController;
class KeysStatus;
class LIController;
class PbFController;

// The configuration window: the three tabs with the sub-item drawer as a side panel beside them,
// and the menus of the application controller's commands. The tab controllers and the drawer
// are made with it and live as long as it.
class MainWindow : public QMainWindow {
public:
    // The property of each tab page that holds its identifier: 1 Launch Item, 2 Finder Function,
    // 3 Pasteboard Item.
    static constexpr char kTabIdentifier[] = "prestoTabIdentifier";

    MainWindow(NotificationHub& hub, AlertPresenter& alerts, FileChooser& chooser,
               const AppController& controller);
    ~MainWindow() override;

    QTabWidget* tabView() const { return tabView_; }
    LIController& launchItemTab() const { return *launchItemTab_; }
    FFController& finderFunctionTab() const { return *finderFunctionTab_; }
    PbFController& pasteboardItemTab() const { return *pasteboardItemTab_; }
    DrawerController& drawer() const { return *drawer_; }
    // The line under the table that tells when the daemon is not running.
    DaemonStatus& daemonStatus() const { return *daemonStatus_; }
    // What the key-capture agent says of the hot keys, marked on the tabs' rows; may be null.
    void setKeysStatus(const KeysStatus* status);
    // The page of a tab by identifier, so the tabs still to come can fill their own.
    QWidget* tabPage(int identifier) const;

    // Asked before the window closes; false keeps it open.
    void setCloseHandler(std::function<bool()> handler) { closeHandler_ = std::move(handler); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QTabWidget* tabView_ = nullptr;
    LIController* launchItemTab_ = nullptr;
    FFController* finderFunctionTab_ = nullptr;
    PbFController* pasteboardItemTab_ = nullptr;
    DrawerController* drawer_ = nullptr;
    DaemonStatus* daemonStatus_ = nullptr;
    std::function<bool()> closeHandler_;
};

} // namespace presto
