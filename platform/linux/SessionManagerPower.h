#pragma once

#include "platform/SessionPower.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

typedef struct _GCancellable GCancellable;

namespace presto {

// Restart and Shut Down as the desktop's own menu does them: its session manager asks the user,
// lets applications save their work or object, then ends the session and the machine. GNOME's
// (also Cinnamon's) org.gnome.SessionManager, Plasma's logout prompt (ksmserver before 5.25) and
// Xfce's session manager are asked; without one, logind, interactively, so that polkit and its
// inhibitors have their say. A session manager's refusal stands: logind is asked only when none
// is there to answer. Sleep is handed to `sleep` unchanged.
//
// The calls go out over D-Bus (GDBus, loaded at the first request) on a worker thread of this
// object: an answer may wait for the user, and the daemon must not.
class SessionManagerPower final : public SessionPower {
public:
    // D-Bus addresses; an empty one means that bus is not there.
    struct Buses {
        std::string session;
        std::string system;
    };
    using Log = std::function<void(const std::string&)>;

    SessionManagerPower(SessionPower& sleep, Buses buses, Log log = {});
    // A request under way is cancelled and the worker waited for.
    ~SessionManagerPower() override;
    SessionManagerPower(const SessionManagerPower&) = delete;
    SessionManagerPower& operator=(const SessionManagerPower&) = delete;

    // DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus when that socket exists;
    // DBUS_SYSTEM_BUS_ADDRESS, else the system bus's standard socket.
    static Buses busesFromEnvironment();

    // 0 once the request is on its way; what came of it goes to the log.
    int request(Action action) override;

private:
    static constexpr std::size_t kMaxPending = 4;

    void run();
    void ask(Action action);

    SessionPower& sleep_;
    Buses buses_;
    Log log_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Action> pending_;
    bool stopping_ = false;
    GCancellable* cancellable_ = nullptr;
    std::thread worker_;
};

} // namespace presto
