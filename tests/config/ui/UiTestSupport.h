#pragma once

#include "common/HotKeyRec.h"
#include "config/model/DataStore.h"
#include "config/ui/AppController.h"
#include "config/ui/DrawerController.h"
#include "config/ui/DropTableView.h"
#include "config/ui/FileChooser.h"
#include "config/ui/HotKeyController.h"
#include "config/ui/LIController.h"
#include "config/ui/MainWindow.h"
#include "config/ui/NotificationHub.h"
#include "config/ui/TableModels.h"
#include "tests/support/QtTestApplication.h"
#include "tests/support/ScriptedAlerts.h"
#include "tests/support/TempWorld.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QPushButton>
#include <QString>
#include <QVariantList>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace presto::test {

// Answers file choosers in the order queued and keeps every request. A chooser nobody expected
// fails the test and counts as cancelled.
class ScriptedChooser : public FileChooser {
public:
    void answer(const QStringList& paths) { answers_.push_back({false, paths}); }
    void cancel() { answers_.push_back({true, {}}); }

    std::optional<QStringList> choosePaths(const FileChooserRequest& request) override {
        requests_.push_back(request);
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected file chooser: " << request.title.toStdString();
            return std::nullopt;
        }
        const Answer answer = answers_.front();
        answers_.pop_front();
        if (answer.cancelled)
            return std::nullopt;
        return answer.paths;
    }

    const std::vector<FileChooserRequest>& requests() const { return requests_; }
    bool allAnswered() const { return answers_.empty(); }

private:
    struct Answer {
        bool cancelled;
        QStringList paths;
    };
    std::deque<Answer> answers_;
    std::vector<FileChooserRequest> requests_;
};

// The daemon's end of the socket: collects what the application sends, one message per
// connection.
class DaemonListener {
public:
    explicit DaemonListener(const std::string& path);
    ~DaemonListener();
    DaemonListener(const DaemonListener&) = delete;
    DaemonListener& operator=(const DaemonListener&) = delete;

    // Every message sent since the last call.
    std::vector<std::string> takeMessages();

private:
    int fd_ = -1;
};

// Every emit of the given hub signals, in order, with its arguments.
class NotificationLog {
public:
    struct Entry {
        QMetaMethod signal;
        QVariantList arguments;
    };

    template <typename... Signals>
    explicit NotificationLog(NotificationHub& hub, Signals... watched) : hub_(hub) {
        (watch(watched), ...);
    }
    ~NotificationLog() {
        for (const QMetaObject::Connection& connection : connections_)
            QObject::disconnect(connection);
    }
    NotificationLog(const NotificationLog&) = delete;
    NotificationLog& operator=(const NotificationLog&) = delete;

    const std::vector<Entry>& entries() const { return entries_; }
    QStringList names() const;
    void clear() { entries_.clear(); }

private:
    template <typename... Args> void watch(void (NotificationHub::*signal)(Args...)) {
        const QMetaMethod method = QMetaMethod::fromSignal(signal);
        connections_.push_back(QObject::connect(&hub_, signal, [this, method](Args... args) {
            entries_.push_back({method, {QVariant::fromValue(std::decay_t<Args>(args))...}});
        }));
    }

    NotificationHub& hub_;
    std::vector<QMetaObject::Connection> connections_;
    std::vector<Entry> entries_;
};

// The names of hub signals, as NotificationLog::names() lists them.
template <typename... Signals> QStringList signalNames(Signals... watched) {
    return {QString::fromLatin1(QMetaMethod::fromSignal(watched).name())...};
}

// Handles the application's events until the condition holds, for at most ten seconds; true when
// it held.
bool waitWithEvents(const std::function<bool()>& condition);

// A key-down record as the capture panel makes it.
HotKeyRec keyRec(std::uint32_t modFlags, std::uint16_t macKeyCode, char kind = kKindLaunch);

// Evdev codes of the keys the tests press.
inline constexpr quint32 kEvdevA = 30;
inline constexpr quint32 kEvdevG = 34;
inline constexpr quint32 kEvdevTab = 15;
inline constexpr quint32 kEvdevF10 = 68;
inline constexpr std::uint16_t kMacA = 0x00;
inline constexpr std::uint16_t kMacG = 0x05;

// The whole application in a temporary world: the data store on its files, the controller, the
// main window with its tabs and drawer, scripted alerts and file choosers, a daemon listener.
class UiWorld : public ::testing::Test {
public:
    UiWorld();
    ~UiWorld() override;

    // Makes the application afresh, reading the data file as it is now.
    void restart();

    // A real file below the world, for paths that are saved.
    QString file(const std::string& name) const;
    // A launch hot key stored directly in the data store.
    HotKeyItem& addLaunchHotKey(const QStringList& paths, std::uint16_t macKeyCode,
                                std::uint32_t modFlags = kCommandBit);
    // Refreshes the Launch Item tab as the controller does after a change.
    void showLaunchTable();

    // The capture panel opened for a new launch hot key, as the Launch Item tab opens it.
    void openForNewLaunch(const QStringList& paths, int row = -1);
    // ... and for a change of the launch hot key at the row.
    void openForChange(int row);

    // A key press delivered to the capture panel's window as the platform would.
    void pressKey(quint32 evdevCode, Qt::KeyboardModifiers modifiers, int qtKey,
                  const QString& text = {});
    void clickOk() { hotKeys().okPushButton()->click(); }

    DataStore& store() { return controller_->dataStore(); }
    AppController& controller() { return *controller_; }
    HotKeyController& hotKeys() { return controller_->hotKeyController(); }
    MainWindow& window() { return *window_; }
    LIController& launchTab() { return window_->launchItemTab(); }
    DrawerController& drawer() { return window_->drawer(); }
    // Paths of the launch hot keys as the data file holds them now.
    std::vector<QStringList> savedLaunchPaths();

    TempWorld world;
    NotificationHub hub;
    ScriptedAlerts alerts;
    ScriptedChooser chooser;
    DaemonListener daemon{world.locations().socketPath};

private:
    std::unique_ptr<AppController> controller_;
    std::unique_ptr<MainWindow> window_;
};

} // namespace presto::test
