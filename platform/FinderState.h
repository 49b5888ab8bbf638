#pragma once

#include <optional>
#include <string>
#include <vector>

namespace presto {

// What the file manager shows: its selection, the folder of its front window and the desktop.
class FinderState {
public:
    virtual ~FinderState() = default;

    // The selected paths, in order; empty when nothing is selected.
    virtual std::vector<std::string> selection() = 0;
    // The folder of the front window; nullopt when no window is open.
    virtual std::optional<std::string> frontWindowFolder() = 0;
    virtual std::string desktopFolder() = 0;
};

} // namespace presto
