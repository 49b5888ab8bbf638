#include "UiTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace presto::test {

DaemonListener::DaemonListener(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), std::min(path.size(), sizeof address.sun_path - 1));
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 64) != 0)
        ADD_FAILURE() << "cannot listen on " << path;
}

DaemonListener::~DaemonListener() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::vector<std::string> DaemonListener::takeMessages() {
    std::vector<std::string> messages;
    for (;;) {
        const int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            break;
        std::string message;
        char buffer[64];
        pollfd ready{connection, POLLIN, 0};
        while (::poll(&ready, 1, 1000) == 1) {
            const ssize_t n = ::read(connection, buffer, sizeof buffer);
            if (n <= 0)
                break;
            message.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(connection);
        messages.push_back(message);
    }
    return messages;
}

QStringList NotificationLog::names() const {
    QStringList names;
    for (const Entry& entry : entries_)
        names.append(QString::fromLatin1(entry.signal.name()));
    return names;
}

HotKeyRec keyRec(std::uint32_t modFlags, std::uint16_t macKeyCode, char kind) {
    HotKeyRec rec;
    rec.eventType = kKeyDownEventType;
    rec.modFlags = modFlags;
    rec.keyCode = macKeyCode;
    rec.kind = kind;
    return rec;
}

bool waitWithEvents(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.hasExpired(10000))
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

UiWorld::UiWorld() {
    application();
    // An account that has saved before: no question about creating the data folder.
    QDir().mkpath(QString::fromStdString(world.locations().dataFolder()));
    restart();
}

UiWorld::~UiWorld() {
    window_.reset();
    controller_.reset();
}

void UiWorld::restart() {
    window_.reset();
    controller_.reset();
    controller_ = std::make_unique<AppController>(
        hub, alerts, std::make_unique<DataStore>(world.locations(), alerts));
    window_ = std::make_unique<MainWindow>(hub, alerts, chooser, *controller_);
    controller_->awakeFromNib(*window_);
}

QString UiWorld::file(const std::string& name) const {
    return QString::fromStdString(world.writeFile("files/" + name, name));
}

HotKeyItem& UiWorld::addLaunchHotKey(const QStringList& paths, std::uint16_t macKeyCode,
                                     std::uint32_t modFlags) {
    auto item = std::make_unique<HotKeyItem>();
    item->setHotKeyRecItems(keyRec(modFlags, macKeyCode), paths);
    HotKeyItem& stored = *item;
    store().addHotKeyItem(std::move(item));
    return stored;
}

void UiWorld::showLaunchTable() {
    emit hub.ShowLaunchItemTable(&store());
}

void UiWorld::openForNewLaunch(const QStringList& paths, int row) {
    emit hub.ShowHKFromLI('I', row, &store(), paths);
}

void UiWorld::openForChange(int row) {
    HotKeyItem* item = store().hotKeyItem(row);
    emit hub.ModHotKey2HKFromLI('i', row, item->itemPaths(), &store(), item);
}

void UiWorld::pressKey(quint32 evdevCode, Qt::KeyboardModifiers modifiers, int qtKey,
                       const QString& text) {
    QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, evdevCode + 8, 0, 0, text);
    QApplication::sendEvent(hotKeys().window(), &event);
}

std::vector<QStringList> UiWorld::savedLaunchPaths() {
    ScriptedAlerts quiet;
    DataStore saved(world.locations(), quiet);
    std::vector<QStringList> paths;
    for (const auto& item : saved.hotKeyItems())
        paths.push_back(item->itemPaths());
    return paths;
}

} // namespace presto::test
