#pragma once

#include "common/Locations.h"
#include "platform/FinderState.h"

#include <string>

namespace presto {

// The file manager's state as its integrations leave it in a small text file:
//   line 1      the folder of the front window, or empty when no window is open
//   more lines  the selected paths, one a line (empty lines are skipped)
// A path with a line feed in it stands on its line as a local file: URI. Only absolute paths are
// taken. A file that is missing, unreadable, not a regular file, not the
// user's own or larger than 1 MiB means no window and nothing selected. The file is read on every
// call, since the file manager rewrites it whenever the user acts.
// The desktop is XDG_DESKTOP_DIR of <configHome>/user-dirs.dirs, else <home>/Desktop.
class FinderStateFile final : public FinderState {
public:
    // An empty configHome means <home>/.config.
    FinderStateFile(std::string stateFile, std::string home, std::string configHome);
    // The locations' state file and config home, with $HOME.
    static FinderStateFile fromEnvironment(const Locations& locations);

    std::vector<std::string> selection() override;
    std::optional<std::string> frontWindowFolder() override;
    std::string desktopFolder() override;

private:
    std::string stateFile_;
    std::string home_;
    std::string configHome_;
};

} // namespace presto
