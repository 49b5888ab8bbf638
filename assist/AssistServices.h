#pragma once

#include "common/PreferenceDomain.h"

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace presto {

// The assistant's own domain, "com.nimbo.PrestoAssist", and whether it exists yet.
class AssistDefaults {
public:
    explicit AssistDefaults(std::string plistPath);

    // False on the very first start, before anything was written.
    bool persistentDomainExists() const;
    PreferenceDomain& domain() { return domain_; }
    const PreferenceDomain& domain() const { return domain_; }

private:
    std::string path_;
    PreferenceDomain domain_;
};

// Notices to the daemon (its socket client, a recorder in tests).
class DaemonNotifier {
public:
    virtual ~DaemonNotifier() = default;
    virtual long sendMessage(const void* bytes, long size) = 0;
    // Whether a daemon is there to hear them.
    virtual bool daemonAnswers() = 0;
};

// Starts the configuration application.
class ApplicationOpener {
public:
    virtual ~ApplicationOpener() = default;
    // Opens whatever is at the path as the file manager would; 0 on success.
    virtual int open(const std::string& path) = 0;
    // Starts the application so that it shows its preferences; 0 on success.
    virtual int openPreferences(const std::string& path) = 0;
};

// Looks for copies of the configuration application of one version.
class ApplicationSearch {
public:
    // Paths of the copies found, the oldest first.
    using Done = std::function<void(const std::vector<std::string>& paths)>;
    virtual ~ApplicationSearch() = default;
    // Runs off the caller's thread and calls `done` back on it, through its event loop. A search
    // that is still running when another starts is dropped: its `done` is never called.
    virtual void start(const std::string& version, Done done) = 0;
};

// Whether a system tray (an X11 tray or a status-notifier host) can show the icon now.
class TrayProbe : public QObject {
    Q_OBJECT

public:
    virtual bool isAvailable() const = 0;
    // True where the desktop's convention is that a left click opens the application (a
    // status-notifier host); elsewhere a left click opens the menu.
    virtual bool leftClickOpensApplication() const = 0;

signals:
    // A tray may have appeared or gone: ask isAvailable() again.
    void mayHaveChanged();
};

} // namespace presto
