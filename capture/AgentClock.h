#pragma once

#include <chrono>
#include <poll.h>

namespace presto {

// The agent's time and its one wait, so its loop runs in tests on a clock of their own.
class AgentClock {
public:
    using time_point = std::chrono::steady_clock::time_point;

    virtual ~AgentClock() = default;
    virtual time_point now() = 0;
    // poll(2): waits up to timeoutMs of this clock's time for one of fds.
    virtual int poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

class SystemAgentClock : public AgentClock {
public:
    time_point now() override { return std::chrono::steady_clock::now(); }
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        return ::poll(fds, count, timeoutMs);
    }
};

} // namespace presto
