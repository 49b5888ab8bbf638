#include "daemon/DelayedLaunches.h"

#include "daemon/Log.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <system_error>

namespace presto {

std::uint32_t delayMicroseconds(float seconds) {
    double micros = double(seconds) * 1000000.0;
    if (!(micros > 0.0))
        return 0;
    if (micros >= 4294967296.0)
        return 4294967295u;
    return static_cast<std::uint32_t>(micros);
}

DelayedLaunches::~DelayedLaunches() {
    for (auto& launch : launches_)
        cancel(*launch);
    for (auto& launch : launches_)
        launch->thread.join();
}

bool DelayedLaunches::start(float delaySeconds, Action action) {
    reapFinished();
    pending_ = nullptr;
    if (waitingCount() >= kMaxWaiting) {
        logLine(std::string(getCharSysTime()) + " Presto.daemon " + std::to_string(kMaxWaiting) +
                " delayed launches wait already; press dropped\n");
        return false;
    }
    auto launch = std::make_unique<Launch>();
    Launch& ref = *launch;
    try {
        ref.thread = std::thread(&DelayedLaunches::run, std::ref(ref),
                                 delayMicroseconds(delaySeconds), std::move(action));
    } catch (const std::system_error& error) {
        // At the user's process limit: this press is lost, the daemon is not.
        logLine(std::string(getCharSysTime()) + " Presto.daemon cannot start a delayed launch: " +
                error.what() + "; press dropped\n");
        return false;
    }
    pending_ = &ref;
    launches_.push_back(std::move(launch));
    return true;
}

std::size_t DelayedLaunches::waitingCount() const {
    return static_cast<std::size_t>(
        std::count_if(launches_.begin(), launches_.end(), [](const std::unique_ptr<Launch>& l) {
            return !l->finished.load(std::memory_order_acquire);
        }));
}

void DelayedLaunches::cancelPending() {
    if (pending_)
        cancel(*pending_);
}

void DelayedLaunches::reapFinished() {
    auto done = [this](const std::unique_ptr<Launch>& launch) {
        if (!launch->finished.load(std::memory_order_acquire))
            return false;
        launch->thread.join();
        if (pending_ == launch.get())
            pending_ = nullptr;
        return true;
    };
    launches_.erase(std::remove_if(launches_.begin(), launches_.end(), done), launches_.end());
}

void DelayedLaunches::cancel(Launch& launch) {
    {
        std::lock_guard lock(launch.mutex);
        launch.cancelled = true;
    }
    launch.wake.notify_one();
}

void DelayedLaunches::run(Launch& launch, std::uint32_t micros, const Action& action) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
    bool cancelled;
    {
        std::unique_lock lock(launch.mutex);
        launch.wake.wait_until(lock, deadline, [&] { return launch.cancelled; });
        cancelled = launch.cancelled;
    }
    if (!cancelled)
        action();
    launch.finished.store(true, std::memory_order_release);
}

} // namespace presto
