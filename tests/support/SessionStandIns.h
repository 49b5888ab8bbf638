#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace presto::test {

// fake_session_managers.py: stand-ins for the desktops' session managers and for logind, on a
// session and a system bus of their own that start nothing on demand, so nothing asked over
// them reaches a real service. All of it ends with the object.
class SessionStandIns {
public:
    // False when dbus-daemon or python3-gi is missing (scripts/install-deps test installs them).
    static bool available();

    // `options` go to the script: "--desktop", "gnome", ...
    SessionStandIns(const std::string& folder, const std::vector<std::string>& options);
    ~SessionStandIns();
    SessionStandIns(const SessionStandIns&) = delete;
    SessionStandIns& operator=(const SessionStandIns&) = delete;

    bool ready() const { return !systemBus.empty(); }
    // One line per call the stand-ins answered: "interface.Method (arguments)".
    std::vector<std::string> calls() const;
    std::string output() const;

    std::string sessionBus; // D-Bus addresses, once ready
    std::string systemBus;

private:
    std::string folder_;
    pid_t pid_ = -1;
};

} // namespace presto::test
