#pragma once

#include "common/Locations.h"

#include <string>

namespace presto::test {

// A private home for one test: HOME, XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and
// PRESTO_SOCKET_PATH point into a fresh temporary folder while it lives (so programs started by
// the test see it too), and everything is removed afterwards.
class TempWorld {
public:
    TempWorld();
    ~TempWorld();
    TempWorld(const TempWorld&) = delete;
    TempWorld& operator=(const TempWorld&) = delete;

    const std::string& root() const { return root_; }
    const Locations& locations() const { return locations_; }
    // A path below the root; parent folders are created.
    std::string path(const std::string& relative) const;
    // Writes a file below the root and returns its full path.
    std::string writeFile(const std::string& relative, const std::string& content) const;

private:
    std::string root_;
    Locations locations_;
};

// The number of descriptors this process has open.
int openDescriptorCount();

} // namespace presto::test
