#include "assist/SystemServices.h"

#include "platform/linux/Subprocess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace presto {
namespace {

constexpr char kStatusNotifierWatcher[] = "org.kde.StatusNotifierWatcher";

bool statusNotifierWatcherRuns() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QString::fromLatin1(kStatusNotifierWatcher));
}

} // namespace

int LauncherOpener::open(const std::string& path) {
    return launcher_.openItem(path);
}

int LauncherOpener::openPreferences(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(path.c_str(), X_OK) == 0)
        return subprocess::spawnDetached({path, "--preferences"}) == 0 ? 0 : kLaunchFailed;
    return launcher_.openItem(path);
}

SystemTrayProbe::SystemTrayProbe(std::function<void()> restart) : restart_(std::move(restart)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QString watcher = QString::fromLatin1(kStatusNotifierWatcher);
        watcher_ = std::make_unique<QDBusServiceWatcher>(watcher, bus,
                                                         QDBusServiceWatcher::WatchForRegistration);
        connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered, this,
                &SystemTrayProbe::statusNotifierChanged);
        // A host may come after its watcher.
        bus.connect(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher,
                    QStringLiteral("StatusNotifierHostRegistered"), this,
                    SLOT(statusNotifierChanged()));
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Other platforms may offer the interface without a connection of their own.
    xcb_connection_t* connection = x11 && QGuiApplication::platformName() == QLatin1String("xcb")
                                       ? x11->connection()
                                       : nullptr;
    if (connection) {
        const char name[] = "MANAGER";
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (reply) {
            managerAtom_ = reply->atom;
            free(reply);
            // Qt already listens on the root window for this message; we only look at it.
            qGuiApp->installNativeEventFilter(this);
        }
    }
}

SystemTrayProbe::~SystemTrayProbe() {
    if (managerAtom_ != 0 && qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
}

bool SystemTrayProbe::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool SystemTrayProbe::leftClickOpensApplication() const {
    return statusNotifierWatcherRuns();
}

void SystemTrayProbe::statusNotifierChanged() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        emit mayHaveChanged();
        return;
    }
    const QString watcher = QString::fromLatin1(kStatusNotifierWatcher);
    QDBusInterface properties(watcher, QStringLiteral("/StatusNotifierWatcher"),
                              QStringLiteral("org.freedesktop.DBus.Properties"),
                              QDBusConnection::sessionBus());
    QDBusReply<QVariant> host = properties.call(QStringLiteral("Get"), watcher,
                                                QStringLiteral("IsStatusNotifierHostRegistered"));
    if (host.isValid() && host.value().toBool() && restart_)
        restart_();
}

bool SystemTrayProbe::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
        static_cast<xcb_client_message_event_t*>(message)->type == managerAtom_) {
        // Asked after Qt has seen the message too.
        QMetaObject::invokeMethod(this, &TrayProbe::mayHaveChanged, Qt::QueuedConnection);
    }
    return false;
}

} // namespace presto
