#pragma once

#include "common/DataFile.h"
#include "common/HotKeyRec.h"
#include "tests/capture/XHarness.h"
#include "tests/support/TempWorld.h"

#include <memory>
#include <string>
#include <vector>

namespace presto::test {

// A running Presto in a temporary world on a private X server: preference files, a data file of
// hot keys that run small marker programs, the real Presto.daemon and the real PrestoKeys.
class PrestoSession {
public:
    PrestoSession(const TempWorld& world, std::string display);

    // The folder of the built programs: $PRESTO_BIN_DIR, else bin/ beside this program's folder.
    static std::string binDir();

    // The hot key on a physical key (evdev code), with the Mac code the shared table gives it.
    static HotKeyRec hotKey(std::uint32_t evdev, char16_t character, std::uint32_t modFlags);

    // Single presses open at once, the agent polls every intervalSeconds, no tray assistant.
    void writePreferences(int intervalSeconds = 1);
    // Switches the service as the assistant does: the preference, then "UPDTPREF".
    void setServiceStatus(bool on);

    // An executable that appends a line to its own hits file each time it runs.
    std::string markerProgram(const std::string& name);
    int hits(const std::string& name) const;
    bool waitForHits(const std::string& name, int count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

    // Writes the data file; each entry runs the marker program of the given name.
    void writeData(const std::vector<std::pair<HotKeyRec, std::string>>& hotKeys);
    // Writes the data file; each entry opens the item at the given path.
    void writeDataItems(const std::vector<std::pair<HotKeyRec, std::string>>& hotKeys);

    // Starts Presto.daemon and waits until it answers on its socket.
    void startDaemon();
    void stopDaemon();
    // extraEnv: "NAME=value" entries for the agent, e.g. the key source it must use.
    void startAgent(const std::vector<std::string>& extraEnv = {});
    void stopAgent();
    ChildProcess& agent() { return *agent_; }
    std::string agentOutput() const;
    // The agent's status file; empty while there is none.
    std::string keysStatus() const;

private:
    const TempWorld& world_;
    std::string display_;
    std::unique_ptr<ChildProcess> daemon_;
    std::unique_ptr<ChildProcess> agent_;
};

} // namespace presto::test
