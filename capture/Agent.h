#pragma once

#include "capture/AgentClock.h"
#include "capture/DaemonLink.h"
#include "capture/KeySource.h"
#include "capture/ReloadWatch.h"
#include "capture/StatusFile.h"
#include "common/PrefKEXT.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace presto {

// The key-capture agent: keeps the daemon's hot key table, hands its keys to the key source and
// reports their presses. One thread; it sleeps in poll() until the key source, a signal, a daemon
// answer, the daemon's reload notice or the next poll of the daemon needs it.
class Agent {
public:
    using Clock = AgentClock;
    // Before the daemon has told its interval: the interval's default.
    static constexpr std::chrono::seconds kDefaultInterval{5};

    // status may be null: no status file is kept.
    Agent(const DaemonLink& link, std::FILE* out, AgentClock& clock, StatusFile* status = nullptr);

    // Lines on the agent's output for a hot key that does not work and for renewed keys.
    void reportProblem(const HotKeyRec& rec, GrabProblem problem);
    void reportGrabs(int grabbed, int total);
    void reportChanged(const HotKeyRec& rec, const std::string& boundTo);
    // What the key source should tell this agent.
    KeySource::Listener listener();

    // Runs until a signal arrives on signalFd (0) or the key source has gone (0 too: the session
    // is over). source must have been made with listener(). A notice of the daemon's reload
    // seen by reload (may be null) has the table fetched at once.
    int run(KeySource& source, int signalFd, ReloadWatch* reload = nullptr);

    const PrefKEXT& table() const { return table_; }

private:
    struct PendingReply {
        UniqueFd fd;
        HotKeyRec rec;
        AgentClock::time_point deadline;
    };

    void pollDaemon(KeySource& source, bool fetchAnyway);
    void sendPress(const HotKeyRec& rec);
    int pollTimeoutMs(AgentClock::time_point now, AgentClock::time_point nextPoll) const;
    void writeStatus();

    const DaemonLink& link_;
    std::FILE* out_;
    AgentClock& clock_;
    StatusFile* status_;
    PrefKEXT table_;
    bool haveTable_ = false;
    bool daemonAnswered_ = true;
    std::chrono::seconds interval_ = kDefaultInterval;
    std::vector<PendingReply> replies_;
};

} // namespace presto
