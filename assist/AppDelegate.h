#pragma once

#include "assist/AssistServices.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace presto {

// What the tray icon shows.
enum class StatusImage {
    Serviced,       // the service is on
    NotServiced,    // the service is off
    StartRequested, // the user chose to switch it on
    StopRequested,  // the user chose to switch it off
    Searching,      // looking for the configuration application
    NotFound,       // the configuration application is nowhere to be found
    DaemonDown,     // no daemon answers, so no hot key works whatever the switch says
};

// The tray assistant: its icon and menu switch the hot key service on and off through the
// assistant's domain and the daemon, and open the configuration application, looking for a
// copy of the same version when it is not where the domain says. The daemon ends and restarts
// the assistant after every table request, so each start shows the state afresh. While the icon
// is in a tray, it also watches that a daemon is there at all.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // `version`: the assistant's own, which a found configuration application must have.
    // `defaultAppPath`: where the configuration application is installed. `out`: where the
    // assistant says that it waits for a tray.
    AppDelegate(AssistDefaults& defaults, DaemonNotifier& daemon, ApplicationOpener& opener,
                ApplicationSearch& search, TrayProbe& tray, std::string version,
                std::string defaultAppPath, std::ostream& out);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // First-start defaults, the first icon, and the tray icon once a tray is there.
    void awakeFromNib();
    // For a start that follows one which already said that there is no tray.
    void setNoTraySaid() { saidNoTray_ = true; }

    // Menu actions.
    void launchPrst();
    void launchPreferences();
    void serviceStart();
    void serviceStop();

    bool isServiced() const;
    void setMBardIcon(bool serviced);
    void searchPrstApp();
    void queryDone(const std::vector<std::string>& paths);
    void sendUpdtPrefMess();
    // Asks whether the daemon answers and shows its absence over every other state.
    void checkDaemon();

    // What the icon shows now.
    StatusImage statusImage() const { return daemonDown_ ? StatusImage::DaemonDown : image_; }
    QString toolTip() const;
    QMenu* menu() const { return theMenu_.get(); }
    QAction* startMenu() const { return theStartMenu_; }
    QAction* stopMenu() const { return theStopMenu_; }
    QAction* openMenu() const { return theOpenMenu_; }
    QAction* preferencesMenu() const { return thePreferencesMenu_; }
    QAction* quitMenu() const { return theQuitMenu_; }
    // Null until a tray can show it.
    QSystemTrayIcon* statusItem() const { return theStatusItem_.get(); }

    static QIcon icon(StatusImage image);
    static QString toolTip(StatusImage image);

    // A left click on the icon, as the desktop's convention has it.
    void iconClicked();

private:
    void setStatusImage(StatusImage image);
    void showStatusImage();
    void showStatusItemWhenTrayIsThere();
    std::string appPath();

    AssistDefaults& defaults_;
    DaemonNotifier& daemon_;
    ApplicationOpener& opener_;
    ApplicationSearch& search_;
    TrayProbe& tray_;
    std::string version_;
    std::string defaultAppPath_;
    std::ostream& out_;

    std::unique_ptr<QMenu> theMenu_;
    QAction* theStartMenu_ = nullptr;
    QAction* theStopMenu_ = nullptr;
    QAction* theOpenMenu_ = nullptr;
    QAction* thePreferencesMenu_ = nullptr;
    QAction* theQuitMenu_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> theStatusItem_;
    StatusImage image_ = StatusImage::NotServiced;
    bool daemonDown_ = false;
    QTimer* daemonPoll_ = nullptr;
    bool saidNoTray_ = false;
    bool waitingForTray_ = false;
};

} // namespace presto
