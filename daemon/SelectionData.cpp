#include "daemon/SelectionData.h"

#include "daemon/FinderScripts.h"
#include "daemon/UserIdentity.h"

#include <system_error>
#include <thread>

namespace presto {

SelectionData::SelectionData(FinderState& finder, DaemonDialogs& dialogs) : dialogs_(dialogs) {
    getSelectionData(finder);
}

void SelectionData::getSelectionData(FinderState& finder) {
    ScriptRunner runner(finder);
    std::string text;
    if (runner.run(kSelectionScript, text) != kNoErr)
        return;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = text.find(':', start);
        pieces_.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
}

void SelectionData::dispPermission(std::stop_token stop) {
    // Nothing selected gives a single piece: the quoted folder, not a selection.
    if (pieces_.size() < 2)
        return;
    const std::size_t count = pieces_.size() - 1;
    const std::string user = identity::userText();
    for (std::size_t i = 0; i < count && !stop.stop_requested(); ++i) {
        DaemonDialogs::Alert panel;
        panel.level = DaemonDialogs::Level::Note;
        panel.header = identity::pathText(pieces_[i]);
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
