#pragma once

#include "common/FileReferences.h"
#include "platform/FinderState.h"
#include "platform/Launcher.h"
#include "platform/Pasteboard.h"
#include "platform/ProcessTable.h"

#include <cstdint>
#include <sys/types.h>

namespace presto {

// Status codes of the actions, numbered as the Mac's, in the 16-bit style of the rest of the
// daemon; callers mostly ignore them. The launcher's own results are passed on.
using OSErr = std::int16_t;
inline constexpr OSErr kNoErr = 0;
inline constexpr OSErr kFileNotFoundErr = -43;  // the reference no longer names a file
inline constexpr OSErr kPasteboardErr = -25130; // the clipboard would not take the data
inline constexpr OSErr kProcNotFoundErr = -600;

// The process name of the file manager and of the assistant.
inline constexpr char kFinderProcessName[] = "Finder";
inline constexpr char cPrestoAssist[] = "PrestoAssist";

// What a hot key is bound to, carried out: opening a referenced item, opening the file
// manager's selection with an application, restoring a clipboard snapshot. References are turned
// into paths at the moment of acting, so an item deleted since the table was loaded opens
// nothing. Safe to call from several threads when the services are.
class LaunchActions {
public:
    LaunchActions(Launcher& launcher, FinderState& finder, ProcessTable& processes,
                  Pasteboard& pasteboard, FileReferences references);

    // Opens the referenced item.
    OSErr lsOpenFSRef(const FileRef& ref);
    // Asks the file manager to open its selection with the referenced application; nothing is
    // asked when the file manager is not running.
    OSErr OpenDocument(const FileRef& appRef);
    // True when OpenDocument with the referenced item would open something now: the file
    // manager runs and has a selection, and the item is an application that takes files.
    bool canOpenSelectionWith(const FileRef& appRef);
    // Fills pid with the first of the user's processes named exactly `name`.
    OSErr FindProcessByName(pid_t& pid, const char* name);
    // Replaces the clipboard with the snapshot in the referenced file. A snapshot that does not
    // read whole leaves the clipboard untouched and still counts as done.
    OSErr Copy2Pasteboard(const FileRef& snapshotRef);

    Launcher& launcher() { return launcher_; }
    ProcessTable& processes() { return processes_; }

private:
    Launcher& launcher_;
    FinderState& finder_;
    ProcessTable& processes_;
    Pasteboard& pasteboard_;
    FileReferences references_;
};

} // namespace presto
