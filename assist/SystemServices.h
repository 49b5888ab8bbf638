#pragma once

#include "assist/AssistServices.h"
#include "common/DaemonClient.h"
#include "common/PrefSocket.h"
#include "platform/Launcher.h"

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace presto {

// The daemon's socket client.
class SocketNotifier final : public DaemonNotifier {
public:
    explicit SocketNotifier(const std::string& socketPath)
        : socket_(socketPath), client_(socketPath) {}
    long sendMessage(const void* bytes, long size) override {
        return socket_.sendMessage(bytes, size);
    }
    bool daemonAnswers() override { return client_.daemonAnswers(); }

private:
    PrefSocket socket_;
    DaemonClient client_;
};

// Opens through the platform launcher; the preferences by starting the program with
// "--preferences".
class LauncherOpener final : public ApplicationOpener {
public:
    explicit LauncherOpener(Launcher& launcher) : launcher_(launcher) {}
    int open(const std::string& path) override;
    int openPreferences(const std::string& path) override;

private:
    Launcher& launcher_;
};

// Qt's own answer, asked again when an X11 tray announces itself (the MANAGER message of the
// system tray protocol) or a status-notifier host appears on the session bus: waiting costs
// nothing while neither happens. Qt looks for a status-notifier host only once per process, so
// when one appears later that Qt cannot use, the program is started afresh through `restart`.
class SystemTrayProbe final : public TrayProbe, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit SystemTrayProbe(std::function<void()> restart);
    ~SystemTrayProbe() override;

    bool isAvailable() const override;
    bool leftClickOpensApplication() const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private slots:
    void statusNotifierChanged();

private:
    std::function<void()> restart_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::uint32_t managerAtom_ = 0;
};

} // namespace presto
