#pragma once

#include <string>
#include <string_view>

namespace presto {

// The current local time as ctime prints it: 24 characters and a line feed. It is the first
// field of every diagnostic line. The text stays valid on this thread until the next call.
const char* getCharSysTime();

// The wall-clock time in seconds with microseconds.
double gettimeofday_sec();
// Seconds with microseconds on the monotonic clock, which time synchronisation never steps: the
// press rules measure intervals with it.
double monotonicSeconds();

// Writes one diagnostic to standard output at once: a pipe or the journal reads it live, and a
// daemon ended by a signal must not lose what it said. It never waits: a line that cannot be
// written at once (nobody reads the pipe) is dropped and counted, and the count is written first
// once writing works again. All of the daemon's diagnostics go through here, never through stdio.
void logLine(std::string_view text);

} // namespace presto
