#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace presto {

// A line under the table that says when the daemon is not running, so nobody saves hot keys that
// will never fire, with a button that starts it. When the daemon comes back the line says so for
// a moment and goes.
class DaemonStatus : public QWidget {
    Q_OBJECT

public:
    explicit DaemonStatus(QWidget* parent = nullptr);

    // Looks every `interval` ms through `isRunning`; `start` is what the button does (false when
    // the daemon could not be started).
    void watch(std::function<bool()> isRunning, std::function<bool()> start, int interval = 2000);
    // Looks now.
    void check();

    QLabel* message() const { return message_; }
    QPushButton* startButton() const { return startButton_; }

    // A daemon of this user answers on its socket.
    static bool daemonAnswers(const QString& socketPath);
    // The installed unit when the installer put it there, else the program beside this one.
    static bool startDaemon(const QString& programFolder);

private:
    void showState(bool running);

    std::function<bool()> isRunning_;
    std::function<bool()> start_;
    QLabel* icon_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QTimer* poll_ = nullptr;
    QTimer* fade_ = nullptr;
    bool known_ = false;
    bool running_ = true;
};

} // namespace presto
