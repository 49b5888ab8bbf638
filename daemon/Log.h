#pragma once

#include <string>
#include <string_view>

namespace presto {

// The current local time as ctime prints it: 24 characters and a line feed. It is the first
// field of every diagnostic line. The text stays valid on this thread until the next call.
const char* getCharSysTime();

// The current time in seconds with microseconds, as the press rules measure it.
double gettimeofday_sec();

// Writes one diagnostic to standard output at once: a pipe or the journal reads it live, and a
// daemon ended by a signal must not lose what it said.
void logLine(std::string_view text);

} // namespace presto
