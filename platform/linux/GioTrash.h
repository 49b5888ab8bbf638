#pragma once

#include "platform/Trash.h"

#include <functional>
#include <string>
#include <vector>

namespace presto {

// The freedesktop trash. Items go there with GIO's g_file_trash (GIO is loaded at the first use).
// Emptying goes through the trash:/// backend when GIO offers one; otherwise the trash folders
// are emptied directly: the home trash and, on each mounted file system, .Trash/<uid> (only in a
// sticky, real .Trash folder) and .Trash-<uid>, each only when it is a real folder of ours. Each
// is opened once, without following a link, checked on that descriptor and emptied relative to
// it, so swapping it for a link after the check empties nothing else.
class GioTrash final : public Trash {
public:
    struct Options {
        std::string homeTrash; // <data home>/Trash
        // The mount points whose trash folders are emptied; the machine's by default.
        std::function<std::vector<std::string>()> mountPoints;
        // False keeps emptying to the folders above (tests: the backend would empty the
        // session's real trash, whatever this process's environment says).
        bool useTrashBackend = true;
        // Tests: called with each trash folder found to be ours, before it is emptied.
        std::function<void(const std::string& trashFolder)> beforeEmptying;
    };

    explicit GioTrash(Options options);

    int moveToTrash(const std::vector<std::string>& paths) override;
    int emptyTrash() override;

    // The mount points listed in /proc/self/mountinfo.
    static std::vector<std::string> systemMountPoints();

private:
    int emptyFolders();
    Options options_;
};

} // namespace presto
