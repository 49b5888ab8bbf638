#pragma once

#include "daemon/LaunchActions.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace presto {

// Ends the running assistant, if any, and when `show` is true starts it again with `starter`: up
// to ten attempts in immediate succession, then, if all failed, one last attempt after 10 ms
// whose outcome is not looked at.
void controllAssist(bool show, LaunchActions& actions, Launcher& starter,
                    const std::string& assistantPath);

// How the main loop has the assistant ended and restarted after each table request.
class AssistantControl {
public:
    virtual ~AssistantControl() = default;
    virtual void apply(bool show) = 0;
};

// Runs controllAssist on a thread of its own, so that a table request is never held up by the
// process scan, the launch attempts and the pause. Requests that arrive while one runs are
// folded into one more run with the latest flag.
class AssistantWorker final : public AssistantControl {
public:
    // `starter` keeps the assistant with the daemon, unlike the programs hot keys launch: it
    // ends when the daemon's unit stops.
    AssistantWorker(LaunchActions& actions, Launcher& starter, std::string assistantPath);
    // Finishes the run in progress, drops any waiting one.
    ~AssistantWorker() override;
    AssistantWorker(const AssistantWorker&) = delete;
    AssistantWorker& operator=(const AssistantWorker&) = delete;

    void apply(bool show) override;

private:
    void run();

    LaunchActions& actions_;
    Launcher& starter_;
    std::string assistantPath_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool show_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace presto
