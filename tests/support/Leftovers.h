#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace presto::test {

// Processes (this one aside) whose environment holds `entry` ("NAME=value") exactly. Every program
// a test starts inherits its environment, also when it leaves the test's process group, so an
// entry only the test sets finds all of them.
std::vector<pid_t> processesWithEnvironment(const std::string& entry);

// Starts the watcher (leftovers.py) outside this program's process tree and marks this program's
// environment (PRESTO_TEST_OWNER), so that whatever it starts carries the mark. Once this program
// is gone, also when it was killed, the watcher gives what is still marked a few seconds to end,
// then names it in the file PRESTO_TEST_LEFTOVERS names (when set) and kills it. `name` says
// which test it was.
void endLeftoversWhenGone(const std::string& name);

} // namespace presto::test
