#pragma once

#include "capture/DaemonLink.h"
#include "capture/KeySource.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

typedef struct _GCancellable GCancellable;
typedef struct _GError GError;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GVariant GVariant;

namespace presto {

// The desktop's org.freedesktop.portal.GlobalShortcuts as the key source (KDE Plasma, recent
// GNOME, Hyprland on Wayland). Each table is bound in a session of its own, one shortcut per hot
// key with an id made of its key and modifiers; the portal's Activated signal becomes a press.
//
// The portal talks through its request objects: a call returns a request's path and the answer
// comes later as that request's Response signal, to which the agent subscribes before calling,
// on the path it predicts from its token. That runs on a thread of its own with a GLib main loop;
// what it learns reaches the agent's thread through fd().
class GlobalShortcutsPortal : public KeySource {
public:
    static constexpr char kApplicationId[] = "com.nimbo.Presto";

    // Whether the session bus has a portal with GlobalShortcuts; waits for its start at most
    // a few seconds.
    static bool offered();

    // Connects to the session bus; registers the application id where the portal has a registry.
    explicit GlobalShortcutsPortal(Listener listener);
    // Closes the session.
    ~GlobalShortcutsPortal() override;
    GlobalShortcutsPortal(const GlobalShortcutsPortal&) = delete;
    GlobalShortcutsPortal& operator=(const GlobalShortcutsPortal&) = delete;

    std::string name() const override { return "GlobalShortcuts portal"; }
    bool connected() const override;
    int fd() const override { return wake_.get(); }
    void setHotKeys(std::vector<HotKeyRec> hotKeys) override;
    void dispatchEvents(const PressHandler& onPress) override;

private:
    struct Press {
        HotKeyRec rec;
    };
    struct Problem {
        HotKeyRec rec;
        GrabProblem problem;
    };
    struct Changed {
        HotKeyRec rec;
        std::string boundTo;
    };
    struct Renewed {
        int bound;
        int total;
    };
    using Event = std::variant<Press, Problem, Changed, Renewed>;
    struct Shortcut {
        HotKeyRec rec;
        std::string trigger;
        bool operator==(const Shortcut& other) const {
            return rec == other.rec && trigger == other.trigger;
        }
    };
    using ResponseHandler = void (GlobalShortcutsPortal::*)(unsigned code, GVariant* results);

    // On the portal's thread.
    void threadMain();
    void applyTable();
    void closeSession();
    bool request(const char* method, GVariant* parameters, const std::string& token,
                 ResponseHandler handler);
    void onCallReturned(unsigned serial, GVariant* reply, GError* error);
    void onResponse(const char* path, GVariant* parameters);
    void onSessionCreated(unsigned code, GVariant* results);
    void onShortcutsBound(unsigned code, GVariant* results);
    void onActivated(GVariant* parameters);
    void failWholeTable();
    void post(Event event);
    // Posts an event and keeps it, so an unchanged table can be told the same again.
    void report(Event event);
    void callStarted() { ++callsInFlight_; }
    void callEnded() { --callsInFlight_; }

    Listener listener_;
    UniqueFd wake_;
    std::thread thread_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* bus_ = nullptr;

    // Shared between the threads.
    mutable std::mutex mutex_;
    std::vector<Event> events_;
    std::vector<HotKeyRec> wanted_;
    bool tableChanged_ = false;
    bool gone_ = false;

    // The portal's thread alone.
    GCancellable* cancel_ = nullptr;
    int callsInFlight_ = 0;
    unsigned activatedSubscription_ = 0;
    std::string senderPath_; // the unique name as request paths spell it
    unsigned counter_ = 0;
    unsigned requestSubscription_ = 0;
    unsigned requestSerial_ = 0; // of the request last made
    std::string requestPath_;
    ResponseHandler pendingHandler_ = nullptr;
    std::string session_;
    std::vector<Shortcut> asked_;           // being bound in the new session
    std::vector<Shortcut> bound_;           // what the current session was asked to hold
    std::map<std::string, HotKeyRec> byId_; // the current session's shortcuts
    int total_ = 0;
    bool tableBound_ = false;   // bound_ and report_ answer for the table last applied
    std::vector<Event> report_; // what was told of the current table
};

} // namespace presto
