#include "capture/GlobalShortcutsPortal.h"

#include "capture/KdeShortcutRegistry.h"
#include "capture/KeyText.h"
#include "capture/ShortcutText.h"

#include <gio/gio.h>
#include <set>
#include <sys/eventfd.h>
#include <unistd.h>

namespace presto {
namespace {

constexpr char kBusName[] = "org.freedesktop.portal.Desktop";
constexpr char kObjectPath[] = "/org/freedesktop/portal/desktop";
constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr char kRequestInterface[] = "org.freedesktop.portal.Request";
constexpr char kSessionInterface[] = "org.freedesktop.portal.Session";
constexpr char kRegistryInterface[] = "org.freedesktop.host.portal.Registry";
// The portal may start on demand, and BindShortcuts may wait for the user to confirm.
constexpr int kProbeTimeoutMs = 5000;
constexpr int kCallTimeoutMs = 120000;
constexpr int kCloseTimeoutMs = 5000;
// An answer to BindShortcuts that takes longer waits for the user.
constexpr unsigned kConfirmationDelayMs = 1500;
// A request's response codes.
constexpr unsigned kResponseSuccess = 0;
constexpr unsigned kResponseCancelled = 1;
constexpr unsigned kResponseFailed = 2;

std::string lookupString(GVariant* dict, const char* key) {
    GVariant* value = g_variant_lookup_value(dict, key, nullptr);
    if (!value)
        return "";
    std::string text;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
        g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH))
        text = g_variant_get_string(value, nullptr);
    g_variant_unref(value);
    return text;
}

} // namespace

bool GlobalShortcutsPortal::offered() {
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!address) {
        g_clear_error(&error);
        return false;
    }
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(address);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kBusName, kObjectPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        kProbeTimeoutMs, nullptr, &error);
    const bool offered = reply != nullptr;
    if (reply)
        g_variant_unref(reply);
    g_clear_error(&error);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    return offered;
}

GlobalShortcutsPortal::GlobalShortcutsPortal(Listener listener)
    : listener_(std::move(listener)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    cancel_ = g_cancellable_new();
    thread_ = std::thread([this] { threadMain(); });
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() {
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
    thread_.join();
    g_object_unref(cancel_);
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

bool GlobalShortcutsPortal::connected() const {
    std::lock_guard lock(mutex_);
    return !gone_;
}

void GlobalShortcutsPortal::setHotKeys(std::vector<HotKeyRec> hotKeys) {
    {
        std::lock_guard lock(mutex_);
        wanted_ = std::move(hotKeys);
        tableChanged_ = true;
    }
    GSource* apply = g_idle_source_new();
    g_source_set_callback(
        apply,
        [](gpointer self) -> gboolean {
            static_cast<GlobalShortcutsPortal*>(self)->applyTable();
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(apply, context_);
    g_source_unref(apply);
}

void GlobalShortcutsPortal::post(Event event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

void GlobalShortcutsPortal::report(Event event) {
    report_.push_back(event);
    post(std::move(event));
}

void GlobalShortcutsPortal::dispatchEvents(const PressHandler& onPress) {
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(wake_.get(), &count, sizeof count);
    std::vector<Event> events;
    {
        std::lock_guard lock(mutex_);
        events.swap(events_);
    }
    for (const Event& event : events) {
        if (const auto* press = std::get_if<Press>(&event))
            onPress(press->rec);
        else if (const auto* problem = std::get_if<Problem>(&event); problem && listener_.problem)
            listener_.problem(problem->rec, problem->problem);
        else if (const auto* changed = std::get_if<Changed>(&event); changed && listener_.changed)
            listener_.changed(changed->rec, changed->boundTo);
        else if (const auto* working = std::get_if<Working>(&event); working && listener_.working)
            listener_.working(working->rec);
        else if (const auto* renewed = std::get_if<Renewed>(&event); renewed && listener_.renewed)
            listener_.renewed(renewed->bound, renewed->total);
        else if (const auto* failed = std::get_if<Failed>(&event); failed && listener_.failed)
            listener_.failed(failed->why);
    }
}

void GlobalShortcutsPortal::threadMain() {
    g_main_context_push_thread_default(context_);
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, cancel_, &error);
    if (address)
        bus_ = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, cancel_, &error);
    g_free(address);
    if (!bus_) {
        failed_ = true;
        post(Failed{std::string("no session bus: ") + (error ? error->message : "")});
        g_clear_error(&error);
        g_main_context_pop_thread_default(context_);
        return;
    }
    g_dbus_connection_set_exit_on_close(bus_, FALSE);
    g_signal_connect(bus_, "closed",
                     G_CALLBACK(+[](GDBusConnection*, gboolean, GError*, gpointer self) {
                         auto* portal = static_cast<GlobalShortcutsPortal*>(self);
                         {
                             std::lock_guard lock(portal->mutex_);
                             portal->gone_ = true;
                         }
                         portal->post(Renewed{0, portal->total_});
                     }),
                     this);
    // Request paths carry the unique name without its colon, dots made underscores.
    senderPath_ = g_dbus_connection_get_unique_name(bus_) + 1;
    for (char& c : senderPath_)
        if (c == '.')
            c = '_';

    // Recent portals want to know the application before anything else; older ones have no
    // registry and answer with an error, which changes nothing.
    GVariant* registered =
        g_dbus_connection_call_sync(bus_, kBusName, kObjectPath, kRegistryInterface, "Register",
                                    g_variant_new("(sa{sv})", kApplicationId, nullptr), nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMs, cancel_, &error);
    if (registered)
        g_variant_unref(registered);
    g_clear_error(&error);
    GVariant* version = g_dbus_connection_call_sync(
        bus_, kBusName, kObjectPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        kProbeTimeoutMs, cancel_, nullptr);
    if (version) {
        GVariant* value = nullptr;
        g_variant_get(version, "(v)", &value);
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32))
            version_ = g_variant_get_uint32(value);
        g_variant_unref(value);
        g_variant_unref(version);
    }

    activatedSubscription_ = g_dbus_connection_signal_subscribe(
        bus_, kBusName, kInterface, "Activated", kObjectPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
            GVariant* parameters,
            gpointer self) { static_cast<GlobalShortcutsPortal*>(self)->onActivated(parameters); },
        this, nullptr);

    applyTable();
    g_main_loop_run(loop_);

    stopConfirmationTimer();
    closeSession();
    // Keys of an agent that has ended are nobody's: the desktop may give them to others.
    if (started_)
        kde::dropClosedSessionsShortcuts(bus_, kSessionToken);
    g_cancellable_cancel(cancel_);
    while (callsInFlight_ > 0)
        g_main_context_iteration(context_, TRUE);
    if (requestSubscription_)
        g_dbus_connection_signal_unsubscribe(bus_, requestSubscription_);
    g_dbus_connection_signal_unsubscribe(bus_, activatedSubscription_);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
    bus_ = nullptr;
    // Whatever the unsubscriptions left to run.
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_pop_thread_default(context_);
}

void GlobalShortcutsPortal::applyTable() {
    if (!bus_ || failed_)
        return;
    if (pendingHandler_) {
        // The answer being waited for applies the table when it comes; until then a key that
        // waits for the user's confirmation still does.
        if (unconfirmedTold_)
            for (const Shortcut& shortcut : asked_)
                post(Problem{shortcut.rec, GrabProblem::Unconfirmed});
        return;
    }
    std::vector<HotKeyRec> wanted;
    {
        std::lock_guard lock(mutex_);
        if (!tableChanged_)
            return;
        wanted = wanted_;
        tableChanged_ = false;
    }

    std::vector<Shortcut> shortcuts;
    std::vector<HotKeyRec> unexpressible;
    std::set<std::string> ids;
    for (const HotKeyRec& rec : wanted) {
        auto trigger = xdgTrigger(rec);
        if (!trigger)
            unexpressible.push_back(rec);
        else if (ids.insert(shortcutId(rec)).second)
            shortcuts.push_back({rec, *trigger});
    }
    // A session binds once, so only a changed table costs a new one.
    if (tableBound_ && shortcuts == bound_ && total_ == static_cast<int>(wanted.size())) {
        for (const Event& event : report_)
            post(event);
        return;
    }

    report_.clear();
    bound_.clear();
    byId_.clear();
    total_ = static_cast<int>(wanted.size());
    for (const HotKeyRec& rec : unexpressible)
        report(Problem{rec, GrabProblem::Unexpressible});
    asked_ = std::move(shortcuts);
    tableBound_ = false;
    closeSession();
    // KDE keeps the shortcuts of a closed session, and one registered again forgets the
    // combination it wanted: dropped first, each is registered afresh and tells who holds it.
    // With no key wanted, none stays held by the desktop either.
    kde::dropClosedSessionsShortcuts(bus_, kSessionToken);
    if (asked_.empty() && started_) {
        tableBound_ = true;
        report(Renewed{0, total_});
        return;
    }
    // The first table makes a session even without keys: whether the portal works here is
    // learnt at start, when another source can still take over.
    createSession();
}

GVariant* GlobalShortcutsPortal::shortcutList(const std::vector<Shortcut>& shortcuts) {
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
    for (const Shortcut& shortcut : shortcuts) {
        GVariantBuilder properties;
        g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
        const std::string description = "Presto hot key " + describeHotKey(shortcut.rec);
        g_variant_builder_add(&properties, "{sv}", "description",
                              g_variant_new_string(description.c_str()));
        g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                              g_variant_new_string(shortcut.trigger.c_str()));
        g_variant_builder_add(&list, "(sa{sv})", shortcutId(shortcut.rec).c_str(), &properties);
    }
    return g_variant_builder_end(&list);
}

void GlobalShortcutsPortal::createSession() {
    const std::string token = "presto" + std::to_string(++counter_);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "session_handle_token",
                          g_variant_new_string(kSessionToken));
    // The first version's portals (Plasma 5.27) bind only what CreateSession names; later
    // versions name no such option.
    if (version_ <= 1 && !asked_.empty())
        g_variant_builder_add(&options, "{sv}", "shortcuts", shortcutList(asked_));
    request("CreateSession", g_variant_new("(a{sv})", &options), token,
            &GlobalShortcutsPortal::onSessionCreated);
}

void GlobalShortcutsPortal::closeSession() {
    if (session_.empty() || !bus_)
        return;
    // Waited for: the next session has the same path, which must be free again.
    GVariant* reply = g_dbus_connection_call_sync(
        bus_, kBusName, session_.c_str(), kSessionInterface, "Close", nullptr, nullptr,
        G_DBUS_CALL_FLAGS_NONE, kCloseTimeoutMs, nullptr, nullptr);
    if (reply)
        g_variant_unref(reply);
    session_.clear();
    byId_.clear();
}

bool GlobalShortcutsPortal::request(const char* method, GVariant* parameters,
                                    const std::string& token, ResponseHandler handler) {
    // Subscribed before the call, so an answer that comes at once is not lost.
    requestPath_ = std::string(kObjectPath) + "/request/" + senderPath_ + "/" + token;
    const auto onSignal = +[](GDBusConnection*, const gchar*, const gchar* path, const gchar*,
                              const gchar*, GVariant* parameters, gpointer self) {
        static_cast<GlobalShortcutsPortal*>(self)->onResponse(path, parameters);
    };
    requestSubscription_ = g_dbus_connection_signal_subscribe(
        bus_, kBusName, kRequestInterface, "Response", requestPath_.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, onSignal, this, nullptr);
    pendingHandler_ = handler;
    requestError_.clear();
    callStarted();
    struct Call {
        GlobalShortcutsPortal* portal;
        unsigned serial;
    };
    g_dbus_connection_call(
        bus_, kBusName, kObjectPath, kInterface, method, parameters, G_VARIANT_TYPE("(o)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, cancel_,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            const Call call = *static_cast<Call*>(data);
            delete static_cast<Call*>(data);
            call.portal->callEnded();
            GError* error = nullptr;
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            call.portal->onCallReturned(call.serial, reply, error);
            if (reply)
                g_variant_unref(reply);
            g_clear_error(&error);
        },
        new Call{this, ++requestSerial_});
    return true;
}

void GlobalShortcutsPortal::onCallReturned(unsigned serial, GVariant* reply, GError* error) {
    // The Response may have come before the reply; then another request may be pending now.
    if (serial != requestSerial_ || !pendingHandler_)
        return;
    if (!reply) {
        if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            return;
        g_dbus_connection_signal_unsubscribe(bus_, requestSubscription_);
        requestSubscription_ = 0;
        ResponseHandler handler = pendingHandler_;
        pendingHandler_ = nullptr;
        if (error) {
            gchar* remote = g_dbus_error_get_remote_error(error);
            g_dbus_error_strip_remote_error(error);
            requestError_ = error->message;
            g_free(remote);
        }
        GVariant* none =
            g_variant_ref_sink(g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
        (this->*handler)(kResponseFailed, none);
        g_variant_unref(none);
        applyTable();
        return;
    }
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    if (requestPath_ == path)
        return;
    // Portals before the request protocol settled chose the path themselves.
    g_dbus_connection_signal_unsubscribe(bus_, requestSubscription_);
    requestPath_ = path;
    requestSubscription_ = g_dbus_connection_signal_subscribe(
        bus_, kBusName, kRequestInterface, "Response", path, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, const gchar* p, const gchar*, const gchar*,
            GVariant* parameters, gpointer self) {
            static_cast<GlobalShortcutsPortal*>(self)->onResponse(p, parameters);
        },
        this, nullptr);
}

void GlobalShortcutsPortal::onResponse(const char* path, GVariant* parameters) {
    if (!pendingHandler_ || requestPath_ != path ||
        !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
        return;
    g_dbus_connection_signal_unsubscribe(bus_, requestSubscription_);
    requestSubscription_ = 0;
    ResponseHandler handler = pendingHandler_;
    pendingHandler_ = nullptr;
    guint32 code = 0;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &code, &results);
    (this->*handler)(code, results);
    g_variant_unref(results);
    applyTable(); // a table that came while waiting
}

void GlobalShortcutsPortal::onSessionCreated(unsigned code, GVariant* results) {
    const std::string session = lookupString(results, "session_handle");
    if (code != kResponseSuccess || session.empty()) {
        if (started_) {
            failWholeTable(GrabProblem::Refused);
            return;
        }
        // Nothing ever worked: another source may.
        failed_ = true;
        std::string why = !requestError_.empty()       ? requestError_
                          : code == kResponseCancelled ? "the desktop declined the session"
                                                       : "the portal's backend failed";
        post(Failed{why});
        return;
    }
    started_ = true;
    session_ = session;
    // Plasma 5.27 answers with what it bound; asked again, it would keep the shortcuts alive
    // past the session's end.
    const Triggers triggers = triggersOf(results);
    if (asked_.empty() || !triggers.empty()) {
        finishTable(triggers, GrabProblem::Refused);
        return;
    }
    const std::string token = "presto" + std::to_string(++counter_);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    request(
        "BindShortcuts",
        g_variant_new("(o@a(sa{sv})sa{sv})", session_.c_str(), shortcutList(asked_), "", &options),
        token, &GlobalShortcutsPortal::onShortcutsBound);
    // A desktop that asks the user first answers when they have; meanwhile the keys say so.
    confirmationTimer_ = g_timeout_source_new(kConfirmationDelayMs);
    g_source_set_callback(
        confirmationTimer_,
        [](gpointer self) -> gboolean {
            static_cast<GlobalShortcutsPortal*>(self)->onConfirmationAwaited();
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(confirmationTimer_, context_);
}

void GlobalShortcutsPortal::onConfirmationAwaited() {
    g_source_unref(confirmationTimer_);
    confirmationTimer_ = nullptr;
    if (pendingHandler_ != &GlobalShortcutsPortal::onShortcutsBound)
        return;
    unconfirmedTold_ = true;
    for (const Shortcut& shortcut : asked_)
        post(Problem{shortcut.rec, GrabProblem::Unconfirmed});
}

void GlobalShortcutsPortal::stopConfirmationTimer() {
    if (!confirmationTimer_)
        return;
    g_source_destroy(confirmationTimer_);
    g_source_unref(confirmationTimer_);
    confirmationTimer_ = nullptr;
}

GlobalShortcutsPortal::Triggers GlobalShortcutsPortal::triggersOf(GVariant* results) {
    Triggers triggers;
    if (GVariant* list =
            g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"))) {
        GVariantIter iter;
        g_variant_iter_init(&iter, list);
        const gchar* id = nullptr;
        GVariant* properties = nullptr;
        while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &properties)) {
            triggers[id] = lookupString(properties, "trigger_description");
            g_variant_unref(properties);
        }
        g_variant_unref(list);
    }
    return triggers;
}

void GlobalShortcutsPortal::onShortcutsBound(unsigned code, GVariant* results) {
    stopConfirmationTimer();
    if (code != kResponseSuccess) {
        // Turned down by the user, or the desktop could not bind them.
        failWholeTable(GrabProblem::Refused);
        return;
    }
    const Triggers triggers = triggersOf(results);
    if (!triggers.empty()) {
        finishTable(triggers, GrabProblem::Refused);
        return;
    }
    // An empty answer may mean the keys were bound before (Plasma 5.27 binds at CreateSession
    // and answers with nothing) or that none was: the session's list tells.
    const std::string token = "presto" + std::to_string(++counter_);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    request("ListShortcuts", g_variant_new("(oa{sv})", session_.c_str(), &options), token,
            &GlobalShortcutsPortal::onShortcutsListed);
}

void GlobalShortcutsPortal::onShortcutsListed(unsigned code, GVariant* results) {
    // A portal that binds none of the shortcuts it was given cannot bind them at all.
    finishTable(code == kResponseSuccess ? triggersOf(results) : Triggers{},
                GrabProblem::Unoffered);
}

void GlobalShortcutsPortal::finishTable(const Triggers& triggers, GrabProblem missing) {
    // KDE's registry knows better than its portal.
    const auto registry = kde::shortcutStates(bus_, kSessionToken);
    int bound = 0;
    for (const Shortcut& shortcut : asked_) {
        const std::string id = shortcutId(shortcut.rec);
        auto found = triggers.find(id);
        std::optional<GrabProblem> problem;
        if (found == triggers.end()) {
            problem = missing;
        } else if (registry) {
            auto state = registry->find(id);
            if (state == registry->end() || state->second == kde::KeyState::Inactive)
                problem = GrabProblem::Refused;
            else if (state->second == kde::KeyState::HeldElsewhere)
                problem = GrabProblem::HeldElsewhere;
        }
        if (problem) {
            report(Problem{shortcut.rec, *problem});
            continue;
        }
        // Some portals leave the description empty: nothing says the trigger differs.
        if (!found->second.empty() && !sameTrigger(found->second, shortcut.trigger))
            report(Changed{shortcut.rec, found->second});
        else if (unconfirmedTold_)
            post(Working{shortcut.rec});
        byId_[id] = shortcut.rec;
        ++bound;
    }
    unconfirmedTold_ = false;
    bound_ = std::move(asked_);
    asked_.clear();
    tableBound_ = true;
    report(Renewed{bound, total_});
}

void GlobalShortcutsPortal::failWholeTable(GrabProblem problem) {
    for (const Shortcut& shortcut : asked_)
        report(Problem{shortcut.rec, problem});
    unconfirmedTold_ = false;
    closeSession();
    // Remembered as bound, so the same table is not asked for again at every fetch: a user who
    // turned the desktop's question down is not asked again until the table changes.
    bound_ = std::move(asked_);
    asked_.clear();
    tableBound_ = true;
    report(Renewed{0, total_});
}

void GlobalShortcutsPortal::onActivated(GVariant* parameters) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})")))
        return;
    const gchar* session = nullptr;
    const gchar* id = nullptr;
    g_variant_get(parameters, "(&o&sta{sv})", &session, &id, nullptr, nullptr);
    if (session_ != session)
        return;
    auto found = byId_.find(id);
    if (found == byId_.end())
        return;
    HotKeyRec rec = found->second;
    rec.eventType = kKeyDownEventType;
    post(Press{rec});
}

} // namespace presto
