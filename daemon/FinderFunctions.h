#pragma once

#include "daemon/LaunchActions.h"
#include "platform/DaemonDialogs.h"
#include "platform/FinderState.h"
#include "platform/Pasteboard.h"
#include "platform/SessionPower.h"
#include "platform/Trash.h"

#include <functional>

namespace presto {

// The catalogue numbers of the file-manager functions.
enum FinderFunctionNo : int {
    kFnSleep = 1,
    kFnRestart = 2,
    kFnShutDown = 3,
    kFnEmptyTrash = 11,
    kFnMoveToTrash = 21,
    kFnMakeNewFile = 22,
    kFnGetPath = 23,
    kFnGetFileList = 24,
    kFnCopyTo = 25,
    kFnMoveTo = 26,
    kFnCopyToByNewName = 27,
    kFnMoveToByNewName = 28,
    kFnShowPermission = 29,
};

// Carries out the file-manager function of a pressed hot key. Functions 1 to 24 run to their end
// on the calling thread; 25 to 29 hand their work to a worker nobody waits for.
class FinderFunctions {
public:
    // Starts a worker for a transfer or the permission display. The default starts a detached
    // thread; when none can be had the press does nothing.
    using WorkerStarter = std::function<void(std::function<void()>)>;

    FinderFunctions(SessionPower& power, Trash& trash, FinderState& finder, Pasteboard& pasteboard,
                    DaemonDialogs& dialogs, WorkerStarter startWorker = {});

    // Any number outside the catalogue does nothing; the result is 0 or the error that stopped
    // the action (callers ignore it).
    OSErr LaunchFinderSystem(int number);

    OSErr LaunchSystemItem(int number);
    OSErr LaunchFinderItem(int number);
    OSErr LaunchEtcItem(int number);

    OSErr DeleteItem();
    OSErr MakeNewFile();
    OSErr GetPath();
    OSErr GetFileList();
    OSErr CopyItem();
    OSErr MoveItem();
    OSErr CopyNewItem();
    OSErr MoveNewItem();
    OSErr ShowPermission();

private:
    // The text replaces the clipboard.
    OSErr textToPasteboard(std::string text);
    OSErr startWorker(std::function<void()> work);

    SessionPower& power_;
    Trash& trash_;
    FinderState& finder_;
    Pasteboard& pasteboard_;
    DaemonDialogs& dialogs_;
    WorkerStarter startWorker_;
};

} // namespace presto
