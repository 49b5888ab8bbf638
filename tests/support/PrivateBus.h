#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace presto::test {

// A message bus of its own for one test, listening in `folder`, that starts nothing on demand:
// whatever is asked over it reaches only the stand-ins the test put there, never a real session
// or system service. It ends with the object.
class PrivateBus {
public:
    // False when dbus-daemon is not installed (scripts/install-deps test installs it).
    static bool available();

    explicit PrivateBus(const std::string& folder);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the bus did not start.
    const std::string& address() const { return address_; }

private:
    pid_t pid_ = -1;
    std::string address_;
};

// A helper program for a test (a stand-in service), its output in `outputPath`; it counts as
// ready once `readyFile` exists. Ended with SIGTERM, and waited for, with the object.
class StandIn {
public:
    StandIn(const std::vector<std::string>& argv, const std::string& outputPath,
            const std::string& readyFile);
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// The stand-ins for session managers and logind (fake_session_managers.py).
std::string fakeSessionManagers();

} // namespace presto::test
