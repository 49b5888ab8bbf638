#pragma once

#include "common/PreferenceDomain.h"

#include <cstdint>
#include <string>

namespace presto {

// The daemon's copy of the settings of both domains, refreshed at start and on "UPDTPREF". A key
// that is missing or of another kind keeps the value it had.
class Preference {
public:
    // Sets the defaults, then reads both domains.
    Preference(const std::string& prestoPlist, const std::string& assistPlist);

    void getPreference();

    bool serviceStatus = true;     // FlagServiceStatus
    bool showIcon = true;          // FlagShowIcon
    bool recommended = true;       // FlagRecomended, read but not used
    std::int32_t intervalKind = 2; // KindIntervalHotKey
    float hotKeyInterval = 1.0f;   // ValueIntervalHotKey, seconds
    std::int32_t kextInterval = 5; // ValueIntervalKEXT, seconds

private:
    PreferenceDomain presto_;
    PreferenceDomain assist_;
};

} // namespace presto
