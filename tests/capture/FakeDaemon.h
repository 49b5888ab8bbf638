#pragma once

#include "capture/DaemonLink.h"
#include "common/HotKeyRec.h"
#include "common/PrefKEXTRec.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace presto::test {

// A daemon stand-in on a socket: answers "GETVERS" and "GETPREF" from a table the test sets,
// records every other request as a pressed hot key and answers "NG" for keys not in its table.
class FakeDaemon {
public:
    explicit FakeDaemon(const std::string& path);
    ~FakeDaemon();

    void setTable(const std::vector<HotKeyRec>& hotKeys, const std::string& stamp,
                  std::int32_t interval = 5);
    std::vector<HotKeyRec> presses() const;
    int getPrefCount() const;
    // Waits (with a generous ceiling) until count presses have arrived.
    bool waitForPresses(std::size_t count) const;

private:
    void serve();

    UniqueFd listener_;
    UniqueFd stopRead_, stopWrite_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<HotKeyRec> table_;
    PrefKEXTSyncRec sync_;
    std::vector<HotKeyRec> presses_;
    int getPrefCount_ = 0;
    std::thread thread_;
};

} // namespace presto::test
