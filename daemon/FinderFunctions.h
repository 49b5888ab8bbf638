#pragma once

#include "daemon/LaunchActions.h"

namespace presto {

// Runs the file-manager function with the given catalogue number (1, 2, 3, 11, 21 to 29).
// None of them is built yet: every number does nothing and reports success.
OSErr runFinderFunction(int number);

} // namespace presto
