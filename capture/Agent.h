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

    enum class RunEnd {
        Stopped,      // a signal arrived
        SourceGone,   // the key source has gone: the session is over
        SourceFailed, // the key source cannot work here; sourceFailure() says why
        WaitFailed,   // poll() failed
    };

    // Lines on the agent's output for a hot key that does not work and for renewed keys.
    void reportProblem(const HotKeyRec& rec, GrabProblem problem);
    void reportGrabs(int grabbed, int total);
    void reportChanged(const HotKeyRec& rec, const std::string& boundTo);
    void reportWorking(const HotKeyRec& rec);
    // One line on the output and in the status file when a source is given up for the next.
    void reportFallback(const std::string& failed, const std::string& why, const std::string& next);
    // What the key source should tell this agent.
    KeySource::Listener listener();

    // Runs until a signal arrives on signalFd, the key source has gone or has failed. source must
    // have been made with listener(); a table already fetched is handed to it at once, so a
    // source that takes over from a failed one starts with it. A notice of the daemon's reload
    // seen by reload (may be null) has the table fetched at once.
    RunEnd run(KeySource& source, int signalFd, ReloadWatch* reload = nullptr);
    const std::string& sourceFailure() const { return sourceFailure_; }

    const PrefKEXT& table() const { return table_; }

private:
    struct PendingReply {
        UniqueFd fd;
        HotKeyRec rec;
        AgentClock::time_point deadline;
    };

    void pollDaemon(KeySource& source, bool fetchAnyway);
    void handTable(KeySource& source);
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
    std::string sourceFailure_;
};

} // namespace presto
