#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace presto {

// The wait of a delayed single press, as the press rules count it: seconds times 1,000,000,
// negative as 0, 2^32 microseconds or more as 4294967295.
std::uint32_t delayMicroseconds(float seconds);

// Threads that each wait a delay and then act, unless cancelled during the wait. The last one
// started is the pending one, which a second press cancels; the others run their course. A
// cancellation is looked at once more after the wait, so one that lands as the wait ends still
// counts; once acting has begun it goes through. Finished threads are joined by reapFinished().
// At most kMaxWaiting launches wait at once, so a flood of presses with a long delay cannot use up
// the user's threads. Used from the main loop only.
class DelayedLaunches {
public:
    using Action = std::function<void()>;

    DelayedLaunches() = default;
    // Cancels every launch still waiting and joins all threads.
    ~DelayedLaunches();
    DelayedLaunches(const DelayedLaunches&) = delete;
    DelayedLaunches& operator=(const DelayedLaunches&) = delete;

    static constexpr std::size_t kMaxWaiting = 32;

    // The action owns everything it uses: nothing of the caller's may change under it. False,
    // with a log line, when the launch is dropped: kMaxWaiting launches wait already, or no
    // thread could be made. There is no pending launch then.
    bool start(float delaySeconds, Action action);
    void cancelPending();
    void reapFinished();
    // Threads started and not yet joined.
    std::size_t threadCount() const { return launches_.size(); }
    // Threads whose launch has not finished.
    std::size_t waitingCount() const;

private:
    struct Launch {
        std::mutex mutex;
        std::condition_variable wake;
        bool cancelled = false;
        std::atomic<bool> finished{false};
        std::thread thread;
    };
    static void cancel(Launch& launch);
    static void run(Launch& launch, std::uint32_t micros, const Action& action);

    std::vector<std::unique_ptr<Launch>> launches_;
    Launch* pending_ = nullptr;
};

} // namespace presto
