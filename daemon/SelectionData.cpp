#include "daemon/SelectionData.h"

#include "daemon/FinderQueries.h"
#include "daemon/UserIdentity.h"

#include <system_error>
#include <thread>

namespace presto {

SelectionData::SelectionData(FinderState& finder, DaemonDialogs& dialogs)
    : dialogs_(dialogs), paths_(FinderQueries(finder).selectedItems()) {}

void SelectionData::dispPermission(std::stop_token stop) {
    if (paths_.empty())
        return;
    const std::size_t count = paths_.size();
    const std::string user = identity::userText();
    for (std::size_t i = 0; i < count && !stop.stop_requested(); ++i) {
        DaemonDialogs::Alert panel;
        panel.level = DaemonDialogs::Level::Note;
        panel.header = identity::pathText(paths_[i]);
        panel.message = user;
        if (count > 1 && i >= 1)
            panel.alternateButton = "CANCEL";
        DaemonDialogs::Response response = DaemonDialogs::Response::NotShown;
        // Each panel on a thread of its own, waited for at once, so panels never overlap.
        auto show = [&] { response = dialogs_.showAlert(panel); };
        try {
            std::thread(show).join();
        } catch (const std::system_error&) {
            show();
        }
        // A panel that could not be shown is skipped; any answer but the default ends the series.
        if (response == DaemonDialogs::Response::Alternate ||
            response == DaemonDialogs::Response::Other)
            break;
    }
}

} // namespace presto
