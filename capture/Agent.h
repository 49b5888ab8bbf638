#pragma once

#include "capture/DaemonLink.h"
#include "capture/XKeyboard.h"
#include "common/PrefKEXT.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace presto {

// The key-capture agent: keeps the daemon's hot key table, grabs its keys and reports their
// presses. One thread; it sleeps in poll() until the X server, a signal, a daemon answer or the
// next poll of the daemon needs it.
class Agent {
public:
    using Clock = std::chrono::steady_clock;
    // Before the daemon has told its interval: the interval's default.
    static constexpr std::chrono::seconds kDefaultInterval{5};

    Agent(const DaemonLink& link, std::FILE* out);

    // Lines on the agent's output for a hot key that cannot be grabbed and for renewed grabs.
    void reportProblem(const HotKeyRec& rec, GrabProblem problem);
    void reportGrabs(int grabbed, int total);
    // What the keyboard should tell this agent.
    XKeyboard::Listener listener();

    // Runs until a signal arrives on signalFd (0) or the X connection ends (0 too: the session
    // is over). keyboard must have been made with listener().
    int run(XKeyboard& keyboard, int signalFd);

    const PrefKEXT& table() const { return table_; }

private:
    struct PendingReply {
        UniqueFd fd;
        HotKeyRec rec;
        Clock::time_point deadline;
    };

    void pollDaemon(XKeyboard& keyboard);
    void sendPress(const HotKeyRec& rec);
    int pollTimeoutMs(Clock::time_point now, Clock::time_point nextPoll) const;

    const DaemonLink& link_;
    std::FILE* out_;
    PrefKEXT table_;
    bool haveTable_ = false;
    bool daemonAnswered_ = true;
    std::chrono::seconds interval_ = kDefaultInterval;
    std::vector<PendingReply> replies_;
};

} // namespace presto
