#pragma once

#include "daemon/Log.h"

#include <ctime>

namespace presto {

// The daemon's two readings of the time, injected so tests can decide what a press sees.
class Clock {
public:
    virtual ~Clock() = default;
    // Whole seconds since 1970: the time stamp text is made from it.
    virtual std::time_t seconds() = 0;
    // Seconds with microseconds from an arbitrary start: the press rules measure intervals with
    // it. Monotonic, so a step of the wall clock neither makes nor breaks a double press.
    virtual double preciseSeconds() = 0;
};

class SystemClock final : public Clock {
public:
    std::time_t seconds() override { return std::time(nullptr); }
    double preciseSeconds() override { return monotonicSeconds(); }
};

} // namespace presto
