#pragma once

#include "daemon/FinderWorkers.h"
#include "daemon/LaunchActions.h"
#include "platform/DaemonDialogs.h"
#include "platform/FinderState.h"
#include "platform/Pasteboard.h"
#include "platform/SessionPower.h"
#include "platform/Trash.h"

#include <chrono>
#include <functional>
#include <stop_token>

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
// on the calling thread; 25 to 29 hand their work to a worker that the press does not wait for.
class FinderFunctions {
public:
    // Starts a worker for a transfer or the permission display; the work ends early once its
    // token asks it to stop. The default runs it on FinderWorkers of this object; when it cannot
    // start the press does nothing.
    using Work = FinderWorkers::Work;
    using WorkerStarter = std::function<void(Work)>;

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

    // Asks the workers under way to stop and waits for them until the deadline; true when all
    // have ended. Those still running keep using this object and its services.
    bool stopWorkers(std::chrono::steady_clock::time_point deadline);

private:
    // The text replaces the clipboard.
    OSErr textToPasteboard(std::string text);
    OSErr startWorker(Work work);

    SessionPower& power_;
    Trash& trash_;
    FinderState& finder_;
    Pasteboard& pasteboard_;
    DaemonDialogs& dialogs_;
    WorkerStarter startWorker_;
    FinderWorkers workers_; // last: stopped and joined before anything they use goes
};

} // namespace presto
