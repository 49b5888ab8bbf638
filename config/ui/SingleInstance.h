#pragma once

#include "common/Locations.h"

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

namespace presto {

// One copy of the configuration application per user session: two copies would each save their
// own list over the other's. The first copy holds a lock and listens on a private local socket;
// a later copy finds the lock taken, asks the first to bring its window to the front, and ends.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Start {
        First,       // this copy runs; later ones will ask it to show itself
        AnotherRuns, // another copy runs and was asked to come to the front: end this one
        Unguarded,   // the guard could not be set up; this copy runs without it
    };

    // The socket of the session: in the runtime folder, or without one (a temporary folder
    // instead) one per data folder.
    static QString socketPathFor(const Locations& locations);

    explicit SingleInstance(QString socketPath);
    ~SingleInstance() override;

    Start start();
    // Called when a later copy asks this one to come to the front.
    void setRaiseHandler(std::function<void()> handler) { raise_ = std::move(handler); }

private:
    void serveRequest();
    bool askRunningCopy();

    QString socketPath_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
    std::function<void()> raise_;
};

} // namespace presto
