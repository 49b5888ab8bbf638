#include "assist/AppDelegate.h"

#include "common/PrefSocket.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <filesystem>
#include <ostream>

namespace presto {
namespace {

const char* iconResource(StatusImage image) {
    switch (image) {
    case StatusImage::Serviced:
        return ":/assist/icons/service-on.svg";
    case StatusImage::NotServiced:
        return ":/assist/icons/service-off.svg";
    case StatusImage::StartRequested:
        return ":/assist/icons/start-requested.svg";
    case StatusImage::StopRequested:
        return ":/assist/icons/stop-requested.svg";
    case StatusImage::Searching:
        return ":/assist/icons/searching.svg";
    case StatusImage::NotFound:
        return ":/assist/icons/not-found.svg";
    case StatusImage::DaemonDown:
        return ":/assist/icons/daemon-down.svg";
    }
    return "";
}

// As often as the configuration application's status line looks.
constexpr int kDaemonPollMs = 2000;

// Something is at the path (the file reference could be made).
bool existsAt(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

} // namespace

AssistDefaults::AssistDefaults(std::string plistPath) : path_(plistPath), domain_(plistPath) {}

bool AssistDefaults::persistentDomainExists() const {
    std::error_code ec;
    return std::filesystem::exists(path_, ec);
}

AppDelegate::AppDelegate(AssistDefaults& defaults, DaemonNotifier& daemon,
                         ApplicationOpener& opener, ApplicationSearch& search, TrayProbe& tray,
                         std::string version, std::string defaultAppPath, std::ostream& out)
    : defaults_(defaults), daemon_(daemon), opener_(opener), search_(search), tray_(tray),
      version_(std::move(version)), defaultAppPath_(std::move(defaultAppPath)), out_(out),
      theMenu_(std::make_unique<QMenu>()) {
    theStartMenu_ =
        theMenu_->addAction(tr("Start Presto Service"), this, [this] { serviceStart(); });
    theStopMenu_ = theMenu_->addAction(tr("Stop Presto Service"), this, [this] { serviceStop(); });
    theOpenMenu_ = theMenu_->addAction(tr("Open Presto"), this, [this] { launchPrst(); });
    thePreferencesMenu_ =
        theMenu_->addAction(tr("Presto Preferences…"), this, [this] { launchPreferences(); });
    theQuitMenu_ = theMenu_->addAction(tr("Quit PrestoAssist"), qApp, &QCoreApplication::quit);
    // The menu is where the user looks when something is wrong: it must not show a stale state.
    connect(theMenu_.get(), &QMenu::aboutToShow, this, &AppDelegate::checkDaemon);
    daemonPoll_ = new QTimer(this);
    connect(daemonPoll_, &QTimer::timeout, this, &AppDelegate::checkDaemon);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::awakeFromNib() {
    PreferenceDomain& prefs = defaults_.domain();
    if (!defaults_.persistentDomainExists()) {
        prefs.setBool(kFlagServiceStatus, true);
        prefs.setString(kPrstAppPath, defaultAppPath_);
        prefs.synchronize();
    }
    // The menu always offers only the switch that changes something, also while the icon says
    // that the configuration application is missing.
    setMBardIcon(isServiced());
    if (!existsAt(prefs.getString(kPrstAppPath).value_or(std::string())))
        setStatusImage(StatusImage::NotFound);
    showStatusItemWhenTrayIsThere();
}

void AppDelegate::showStatusItemWhenTrayIsThere() {
    if (!tray_.isAvailable()) {
        if (!saidNoTray_) {
            out_ << "PrestoAssist: no system tray is available; the icon appears when one starts."
                 << std::endl;
            saidNoTray_ = true;
        }
        if (!waitingForTray_) {
            waitingForTray_ = true;
            connect(&tray_, &TrayProbe::mayHaveChanged, this,
                    &AppDelegate::showStatusItemWhenTrayIsThere);
        }
        return;
    }
    if (theStatusItem_)
        return;
    disconnect(&tray_, &TrayProbe::mayHaveChanged, this,
               &AppDelegate::showStatusItemWhenTrayIsThere);
    checkDaemon();
    daemonPoll_->start(kDaemonPollMs);
    theStatusItem_ = std::make_unique<QSystemTrayIcon>();
    theStatusItem_->setIcon(icon(statusImage()));
    theStatusItem_->setToolTip(toolTip());
    theStatusItem_->setContextMenu(theMenu_.get());
    connect(theStatusItem_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    iconClicked();
            });
    theStatusItem_->show();
}

void AppDelegate::iconClicked() {
    if (tray_.leftClickOpensApplication())
        launchPrst();
    else
        theMenu_->popup(QCursor::pos());
}

std::string AppDelegate::appPath() {
    PreferenceDomain& prefs = defaults_.domain();
    if (!prefs.getString(kPrstAppPath)) {
        prefs.setString(kPrstAppPath, defaultAppPath_);
        prefs.synchronize();
    }
    return prefs.getString(kPrstAppPath).value_or(defaultAppPath_);
}

void AppDelegate::launchPrst() {
    const std::string path = appPath();
    if (existsAt(path))
        opener_.open(path);
    else
        searchPrstApp();
}

void AppDelegate::launchPreferences() {
    const std::string path = appPath();
    if (existsAt(path))
        opener_.openPreferences(path);
    else
        searchPrstApp();
}

bool AppDelegate::isServiced() const {
    // Missing reads as on, as the daemon reads it: the icon never contradicts the service.
    return defaults_.domain().getBool(kFlagServiceStatus).value_or(true);
}

void AppDelegate::setMBardIcon(bool serviced) {
    setStatusImage(serviced ? StatusImage::Serviced : StatusImage::NotServiced);
    theStopMenu_->setEnabled(serviced);
    theStartMenu_->setEnabled(!serviced);
}

void AppDelegate::searchPrstApp() {
    setStatusImage(StatusImage::Searching);
    search_.start(version_, [this](const std::vector<std::string>& paths) { queryDone(paths); });
}

void AppDelegate::queryDone(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        setStatusImage(StatusImage::NotFound);
        return;
    }
    const std::string& newest = paths.back();
    PreferenceDomain& prefs = defaults_.domain();
    prefs.setString(kPrstAppPath, newest);
    prefs.synchronize();
    if (existsAt(newest))
        opener_.open(newest);
    setMBardIcon(isServiced());
}

void AppDelegate::serviceStart() {
    if (isServiced())
        return;
    defaults_.domain().setBool(kFlagServiceStatus, true);
    defaults_.domain().synchronize();
    sendUpdtPrefMess();
    setStatusImage(StatusImage::StartRequested);
}

void AppDelegate::serviceStop() {
    if (!isServiced())
        return;
    defaults_.domain().setBool(kFlagServiceStatus, false);
    defaults_.domain().synchronize();
    sendUpdtPrefMess();
    setStatusImage(StatusImage::StopRequested);
}

void AppDelegate::sendUpdtPrefMess() {
    daemon_.sendMessage(kUpdatePrefMessage, 8);
}

void AppDelegate::checkDaemon() {
    const bool down = !daemon_.daemonAnswers();
    if (down == daemonDown_)
        return;
    daemonDown_ = down;
    showStatusImage();
}

void AppDelegate::setStatusImage(StatusImage image) {
    image_ = image;
    showStatusImage();
}

void AppDelegate::showStatusImage() {
    if (theStatusItem_) {
        theStatusItem_->setIcon(icon(statusImage()));
        theStatusItem_->setToolTip(toolTip());
    }
}

QString AppDelegate::toolTip() const {
    return toolTip(statusImage());
}

QString AppDelegate::toolTip(StatusImage image) {
    switch (image) {
    case StatusImage::Serviced:
        return tr("Presto: hot keys are on");
    case StatusImage::NotServiced:
        return tr("Presto: hot keys are off");
    case StatusImage::StartRequested:
        return tr("Presto: switching hot keys on…");
    case StatusImage::StopRequested:
        return tr("Presto: switching hot keys off…");
    case StatusImage::Searching:
        return tr("Presto: looking for the Presto application…");
    case StatusImage::NotFound:
        return tr("Presto: the Presto application was not found");
    case StatusImage::DaemonDown:
        return tr("Presto.daemon is not running: hot keys do nothing until it runs.");
    }
    return {};
}

QIcon AppDelegate::icon(StatusImage image) {
    // Drawn at each size a panel asks for, so small sizes stay sharp without an icon plug-in.
    QSvgRenderer renderer(QString::fromLatin1(iconResource(image)));
    QIcon result;
    if (!renderer.isValid())
        return result;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace presto
