#pragma once

#include "common/DaemonProtocol.h"
#include "common/FileReferences.h"
#include "common/HotKeyRec.h"
#include "common/Locations.h"
#include "common/PrefKEXT.h"
#include "common/PrefKEXTRec.h"
#include "daemon/AssistControl.h"
#include "daemon/Clock.h"
#include "daemon/DelayedLaunches.h"
#include "daemon/FinderFunctions.h"
#include "daemon/LaunchActions.h"
#include "daemon/PrefData.h"
#include "daemon/Preference.h"
#include "daemon/ServerSocket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace presto {

// A request matches a keyword when its first min(length, |keyword| + 1) bytes are the keyword's
// with its terminator: sent with or without the terminator, trailing bytes ignored, and an empty
// request matches anything.
bool matchesKeyword(const std::uint8_t* request, std::size_t length, const char* keyword);

// The daemon's state and what it does with one request. It alone owns the hot key table, the
// key-capture table with its sync record, the preference values, the last key and the last press
// time; everything is touched from the main loop only. Delayed launches run on threads of their
// own with their own copy of what they open.
class Daemon {
public:
    // Loads the table and the preferences and makes the first time stamp. Without file-manager
    // functions a key of kind 'F' does nothing.
    Daemon(const Locations& locations, LaunchActions& actions, AssistantControl& assistant,
           Clock& clock, FinderFunctions* finderFunctions = nullptr);

    struct Reply {
        enum Kind {
            None,     // close the connection without a reply
            Bytes,    // send data/size (size may be 0)
            NotFound, // send data/size ("NG" with its terminator), then log `pressed`
        };
        Kind kind = None;
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        const char* name = ""; // what the reply answers, for the log
        HotKeyRec pressed;     // NotFound only
    };
    // Acts on one request of `length` bytes (at most 4800 are looked at).
    Reply dispatch(const std::uint8_t* request, std::size_t length);

    // Serves until the server is asked to stop; 0 then. A listening socket lost to an accept
    // failure is prepared again after a pause of a second; if that fails, the result is 1.
    int run(ServerSocket& server);

    const PrefKEXTSyncRec& syncRec() const { return kext_.syncRec(); }
    std::string timeStamp() const { return timeStamp_; }
    const Preference& preference() const { return preference_; }
    // Delayed-launch threads not yet reclaimed.
    std::size_t launchThreads() const { return delayed_.threadCount(); }
    void reapFinishedLaunches() { delayed_.reapFinished(); }

private:
    void loadTables();
    void renewTimeStamp();
    void storeSyncRec();
    void reloadPreferences();
    void press(const HotKeyRec& pressed, const PrefData::Entry& entry);
    void pressLaunchItem(const HotKeyRec& pressed, const FileRef& ref);
    // Acts at once when a second press could change nothing, else starts the delayed launch.
    void firstPress(const HotKeyRec& pressed, const FileRef& ref, double now, bool openDocument);
    void sendReply(ServerSocket& server, const Reply& reply);

    LaunchActions& actions_;
    AssistantControl& assistant_;
    Clock& clock_;
    FinderFunctions* finderFunctions_;
    std::string dataFilePath_;
    std::string runtimeDir_;
    PrefData data_;
    PrefKEXT kext_;
    Preference preference_;
    bool savedServiceStatus_ = true;
    bool savedShowIcon_ = true;
    std::string timeStamp_;
    HotKeyRec lastKey_{};
    double lastPressTime_ = 0;
    // The last key's first press acted at once, leaving nothing for a second press to do.
    bool firstPressActed_ = false;
    DelayedLaunches delayed_;
};

} // namespace presto
