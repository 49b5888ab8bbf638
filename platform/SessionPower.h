#pragma once

namespace presto {

// Asks the session manager to put the machine to sleep, restart it or switch it off. Any
// authorisation the system wants is its own business; the request does not wait for it.
class SessionPower {
public:
    enum class Action { Sleep, Restart, ShutDown };

    virtual ~SessionPower() = default;

    // 0 when the request went out, else an error number.
    virtual int request(Action action) = 0;
};

} // namespace presto
