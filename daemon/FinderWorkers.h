#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <stop_token>
#include <thread>

namespace presto {

// The threads of the file-manager functions that outlive their press: the transfers and the
// permission display. At most kMaxRunning run at once, so a flood of presses cannot use up the
// user's threads; a press beyond that is dropped with a log line. Each work gets a stop token:
// stopAll() asks every one to stop (a transfer then ends the item under way, keeping its source
// and removing its partial copy) and waits for them until a deadline. They block SIGTERM and
// SIGINT, so those reach the main loop. Started and stopped from the main loop only.
class FinderWorkers {
public:
    using Work = std::function<void(std::stop_token)>;

    static constexpr std::size_t kMaxRunning = 8;
    // How long the daemon's exit waits for them: far less than a service manager's stop time-out,
    // far more than a transfer needs to see a stop.
    static constexpr std::chrono::seconds kStopBound{5};

    FinderWorkers() = default;
    // Stops and joins every worker, however long that takes.
    ~FinderWorkers();
    FinderWorkers(const FinderWorkers&) = delete;
    FinderWorkers& operator=(const FinderWorkers&) = delete;

    // False, with a log line, when the work is dropped: kMaxRunning run already, or no thread
    // could be made.
    bool start(Work work);
    // True when every worker has ended by the deadline; those still running are left running.
    bool stopAll(std::chrono::steady_clock::time_point deadline);
    std::size_t running() const;

private:
    struct Worker {
        std::jthread thread;
        bool finished = false;
    };
    void reapFinished();

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    std::list<Worker> workers_;
};

} // namespace presto
