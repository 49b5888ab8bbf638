#include "daemon/AssistControl.h"

#include "daemon/Log.h"

#include <chrono>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <system_error>
#include <utility>

namespace presto {

void controllAssist(bool show, LaunchActions& actions, Launcher& starter,
                    const std::string& assistantPath) {
    pid_t running = 0;
    if (actions.FindProcessByName(running, cPrestoAssist) == kNoErr)
        actions.processes().killProcess(running);
    if (!show)
        return;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (starter.openItem(assistantPath) == 0)
            return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    starter.openItem(assistantPath);
}

AssistantWorker::AssistantWorker(LaunchActions& actions, Launcher& starter,
                                 std::string assistantPath)
    : actions_(actions), starter_(starter), assistantPath_(std::move(assistantPath)) {}

AssistantWorker::~AssistantWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void AssistantWorker::apply(bool show) {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
        show_ = show;
        // Started on first use: a daemon nobody asks for the table never runs the thread.
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread(&AssistantWorker::run, this);
            } catch (const std::system_error& error) {
                // At the user's process limit. The request stays; the next one tries again.
                logLine(std::string(getCharSysTime()) +
                        " Presto.daemon cannot start the assistant control: " + error.what() +
                        "\n");
                return;
            }
        }
    }
    wake_.notify_one();
}

void AssistantWorker::run() {
    // Background work: the process scan and the launch attempts take only otherwise idle CPU,
    // so the table requests they follow are never slowed.
    sched_param idle{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || stopping_; });
        if (stopping_)
            return;
        bool show = show_;
        requested_ = false;
        lock.unlock();
        controllAssist(show, actions_, starter_, assistantPath_);
        lock.lock();
    }
}

} // namespace presto
