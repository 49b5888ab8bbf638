#include "platform/linux/TransientScope.h"

#include "common/Installation.h"
#include "platform/linux/UserManager.h"

#include <cctype>
#include <fstream>
#include <glib.h>
#include <signal.h>
#include <system_error>

namespace presto {
namespace {

GVariant* parameters(const ScopeRequest& request) {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a(sv)"));
    const guint32 pid = static_cast<guint32>(request.pid);
    g_variant_builder_add(&properties, "(sv)", "PIDs",
                          g_variant_new_fixed_array(G_VARIANT_TYPE_UINT32, &pid, 1, sizeof pid));
    // The scope goes away with its last process, failed or not.
    g_variant_builder_add(&properties, "(sv)", "CollectMode",
                          g_variant_new_string("inactive-or-failed"));
    return g_variant_new("(ss@a(sv)@a(sa(sv)))", request.unitName.c_str(), "fail",
                         g_variant_builder_end(&properties),
                         g_variant_new_array(G_VARIANT_TYPE("(sa(sv))"), nullptr, 0));
}

} // namespace

BackgroundScopePlacer::~BackgroundScopePlacer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void BackgroundScopePlacer::place(pid_t pid, const std::string& program) {
    if (pid <= 0)
        return;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({pid, unitName(pid, program)});
        if (!worker_.joinable()) {
            try {
                worker_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                // At the process limit the program stays in the daemon's unit; the next
                // launch tries again.
                pending_.clear();
                return;
            }
        }
    }
    wake_.notify_one();
}

void BackgroundScopePlacer::run() {
    // Signals are for the daemon's main thread.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (;;) {
        ScopeRequest request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (stopping_)
                return;
            request = std::move(pending_.front());
            pending_.pop_front();
        }
        send_(request);
    }
}

std::string BackgroundScopePlacer::unitName(pid_t pid, const std::string& program) {
    std::string name = program.substr(program.find_last_of('/') + 1);
    if (name.ends_with(".desktop"))
        name.resize(name.size() - 8);
    if (name.size() > 100)
        name.resize(100);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != ':')
            c = '_';
    if (name.empty())
        name = "program";
    return "app-presto-" + name + "-" + std::to_string(pid) + ".scope";
}

std::string startTransientScopeParameters(const ScopeRequest& request) {
    GVariant* value = g_variant_ref_sink(parameters(request));
    gchar* text = g_variant_print(value, TRUE);
    std::string result = text;
    g_free(text);
    g_variant_unref(value);
    return result;
}

void startTransientScope(const ScopeRequest& request) {
    if (GVariant* reply = callUserManager("org.freedesktop.systemd1.Manager", "StartTransientUnit",
                                          parameters(request), G_VARIANT_TYPE("(o)"), 10'000))
        g_variant_unref(reply);
}

bool runsAsDaemonUnit(const std::string& cgroupFile) {
    std::ifstream in(cgroupFile);
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with("0::") && line.ends_with(std::string("/") + kDaemonUnit))
            return true;
    return false;
}

ScopePlacer* systemdScopePlacer() {
    // Never destroyed: its worker may be sending while the process exits.
    static ScopePlacer* placer =
        runsAsDaemonUnit() ? new BackgroundScopePlacer(&startTransientScope) : nullptr;
    return placer;
}

} // namespace presto
