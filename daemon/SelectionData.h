#pragma once

#include "platform/DaemonDialogs.h"
#include "platform/FinderState.h"

#include <stop_token>
#include <string>
#include <vector>

namespace presto {

// One press of Show Permission: a panel per selected item, in order, with its owner and mode and
// the identity the daemon runs as. From the second panel on, CANCEL ends the series.
class SelectionData {
public:
    SelectionData(FinderState& finder, DaemonDialogs& dialogs);

    // A stop request shows no further panel.
    void dispPermission(std::stop_token stop = {});

    // The selected items, one panel each; empty when nothing is selected.
    const std::vector<std::string>& paths() const { return paths_; }

private:
    DaemonDialogs& dialogs_;
    std::vector<std::string> paths_;
};

} // namespace presto
