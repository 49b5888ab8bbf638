#include "daemon/FinderWorkers.h"

#include "daemon/Log.h"

#include <algorithm>
#include <csignal>
#include <string>
#include <system_error>

namespace presto {

FinderWorkers::~FinderWorkers() {
    // Each jthread asks its work to stop and joins it as it goes.
    workers_.clear();
}

bool FinderWorkers::start(Work work) {
    reapFinished();
    if (running() >= kMaxRunning) {
        logLine(std::string(getCharSysTime()) + " Presto.daemon " + std::to_string(kMaxRunning) +
                " file-manager functions run already; press dropped\n");
        return false;
    }
    Worker& worker = workers_.emplace_back();
    // The new thread starts with the stop signals blocked, as it inherits this thread's mask.
    sigset_t stopSignals, previous;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
    try {
        worker.thread = std::jthread([this, &worker, work = std::move(work)](std::stop_token stop) {
            work(stop);
            std::lock_guard lock(mutex_);
            worker.finished = true;
            ended_.notify_all();
        });
    } catch (const std::system_error& error) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        workers_.pop_back();
        // At the user's process limit: this press is lost, the daemon is not.
        logLine(std::string(getCharSysTime()) +
                " Presto.daemon cannot start a file-manager function: " + error.what() + "\n");
        return false;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
}

bool FinderWorkers::stopAll(std::chrono::steady_clock::time_point deadline) {
    for (Worker& worker : workers_)
        worker.thread.request_stop();
    if (std::size_t count = running())
        logLine(std::string(getCharSysTime()) + " Presto.daemon stopping: waiting for " +
                std::to_string(count) + " file-manager function(s)\n");
    bool all;
    {
        std::unique_lock lock(mutex_);
        all = ended_.wait_until(lock, deadline, [this] {
            return std::all_of(workers_.begin(), workers_.end(),
                               [](const Worker& worker) { return worker.finished; });
        });
    }
    reapFinished();
    return all;
}

std::size_t FinderWorkers::running() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        workers_.begin(), workers_.end(), [](const Worker& worker) { return !worker.finished; }));
}

void FinderWorkers::reapFinished() {
    std::list<Worker> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            auto next = std::next(it);
            if (it->finished)
                finished.splice(finished.end(), workers_, it);
            it = next;
        }
    }
    // Joined outside the lock: a thread that has just finished still takes it to say so.
    finished.clear();
}

} // namespace presto
