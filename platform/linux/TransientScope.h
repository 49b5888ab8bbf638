#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace presto {

// A started program and the transient scope unit it is to be moved into.
struct ScopeRequest {
    pid_t pid = 0;
    std::string unitName;
};

// Moves programs the daemon started out of the daemon's own unit, so that they outlive a stop
// or restart of it, as desktops do for the applications they start.
class ScopePlacer {
public:
    virtual ~ScopePlacer() = default;
    // Never waits: the move happens later, or not at all.
    virtual void place(pid_t pid, const std::string& program) = 0;
};

// Hands every request to `send` on a worker thread of its own, started at the first request, one
// request after the other; the launch that asked has long gone on.
class BackgroundScopePlacer final : public ScopePlacer {
public:
    using Send = std::function<void(const ScopeRequest&)>;

    explicit BackgroundScopePlacer(Send send) : send_(std::move(send)) {}
    // Requests not yet sent are dropped; one being sent is finished first.
    ~BackgroundScopePlacer() override;
    BackgroundScopePlacer(const BackgroundScopePlacer&) = delete;
    BackgroundScopePlacer& operator=(const BackgroundScopePlacer&) = delete;

    void place(pid_t pid, const std::string& program) override;

    // "app-presto-<program's file name>-<pid>.scope", the name reduced to what unit names allow.
    static std::string unitName(pid_t pid, const std::string& program);

private:
    void run();

    Send send_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<ScopeRequest> pending_;
    bool stopping_ = false;
    std::thread worker_;
};

// Asks the user's systemd over the session bus (GDBus, loaded at the first call) to start the
// transient scope with the process in it. Every failure is silent: the program simply stays
// where it is.
void startTransientScope(const ScopeRequest& request);

// The text of that call's parameters, as GVariant prints them.
std::string startTransientScopeParameters(const ScopeRequest& request);

// True when /proc's cgroup line `cgroupFile` puts this process in the daemon's own unit.
bool runsAsDaemonUnit(const std::string& cgroupFile = "/proc/self/cgroup");

// What the daemon's launcher uses: a placer over startTransientScope while the daemon runs as its
// systemd unit; null otherwise (a terminal's daemon or a test), when there is nothing to outlive.
ScopePlacer* systemdScopePlacer();

} // namespace presto
