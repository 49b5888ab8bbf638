#pragma once

#include "capture/DaemonLink.h"
#include "capture/KeySource.h"
#include "capture/SourceChoice.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

typedef struct _GCancellable GCancellable;
typedef struct _GError GError;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GSource GSource;
typedef struct _GVariant GVariant;

namespace presto {

// The desktop's org.freedesktop.portal.GlobalShortcuts as the key source (KDE Plasma, recent
// GNOME, Hyprland on Wayland). Each table is bound in a session, one shortcut per hot key with an
// id made of its key and modifiers; the portal's Activated signal becomes a press.
//
// Portals differ in where they take the shortcuts: KDE Plasma 5.27 only from CreateSession's
// "shortcuts" option, later ones from BindShortcuts. Both are given where the portal's version
// allows. Every session of the agent has the same handle token, since KDE names the desktop's
// shortcut group after it: a new name would find every key still held by the old group. A key
// counts as bound only when the desktop says so, asked again with ListShortcuts when the answer
// to BindShortcuts cannot tell and, on KDE, in the desktop's own shortcut registry, whose answer
// is the only one that tells a key another program holds.
//
// The portal talks through its request objects: a call returns a request's path and the answer
// comes later as that request's Response signal, to which the agent subscribes before calling,
// on the path it predicts from its token. That runs on a thread of its own with a GLib main loop;
// what it learns reaches the agent's thread through fd().
class GlobalShortcutsPortal : public KeySource {
public:
    static constexpr char kApplicationId[] = "com.nimbo.Presto";
    static constexpr char kSessionToken[] = "presto";

    // Whether the session bus has a portal with GlobalShortcuts; waits for its start at most
    // a few seconds.
    static bool offered();

    // Connects to the session bus; registers the application id where the portal has a registry.
    // A portal whose first session cannot be made tells listener.failed.
    explicit GlobalShortcutsPortal(Listener listener);
    // Closes the session and lets the desktop forget its keys.
    ~GlobalShortcutsPortal() override;
    GlobalShortcutsPortal(const GlobalShortcutsPortal&) = delete;
    GlobalShortcutsPortal& operator=(const GlobalShortcutsPortal&) = delete;

    std::string name() const override { return sourceTitle(SourceKind::Portal); }
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
    struct Working {
        HotKeyRec rec;
    };
    struct Renewed {
        int bound;
        int total;
    };
    struct Failed {
        std::string why;
    };
    using Event = std::variant<Press, Problem, Changed, Working, Renewed, Failed>;
    struct Shortcut {
        HotKeyRec rec;
        std::string trigger;
        bool operator==(const Shortcut& other) const {
            return rec == other.rec && trigger == other.trigger;
        }
    };
    using ResponseHandler = void (GlobalShortcutsPortal::*)(unsigned code, GVariant* results);
    using Triggers = std::map<std::string, std::string>; // shortcut id -> what the desktop bound

    // On the portal's thread.
    void threadMain();
    void applyTable();
    void createSession();
    void closeSession();
    bool request(const char* method, GVariant* parameters, const std::string& token,
                 ResponseHandler handler);
    void onCallReturned(unsigned serial, GVariant* reply, GError* error);
    void onResponse(const char* path, GVariant* parameters);
    void onSessionCreated(unsigned code, GVariant* results);
    void onShortcutsBound(unsigned code, GVariant* results);
    void onShortcutsListed(unsigned code, GVariant* results);
    void onConfirmationAwaited();
    static GVariant* shortcutList(const std::vector<Shortcut>& shortcuts);
    static Triggers triggersOf(GVariant* results);
    void finishTable(const Triggers& triggers, GrabProblem missing);
    void failWholeTable(GrabProblem problem);
    void onActivated(GVariant* parameters);
    void stopConfirmationTimer();
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
    unsigned version_ = 1;
    unsigned counter_ = 0;
    unsigned requestSubscription_ = 0;
    unsigned requestSerial_ = 0; // of the request last made
    std::string requestPath_;
    std::string requestError_; // why the call last made failed
    ResponseHandler pendingHandler_ = nullptr;
    GSource* confirmationTimer_ = nullptr;
    bool unconfirmedTold_ = false;
    bool started_ = false; // a session was made once: the portal works here
    bool failed_ = false;
    std::string session_;
    std::vector<Shortcut> asked_;           // being bound in the new session
    std::vector<Shortcut> bound_;           // what the current session was asked to hold
    std::map<std::string, HotKeyRec> byId_; // the current session's shortcuts
    int total_ = 0;
    bool tableBound_ = false;   // bound_ and report_ answer for the table last applied
    std::vector<Event> report_; // what was told of the current table
};

} // namespace presto
