#include "daemon/FinderFunctions.h"

#include "common/ClipboardTypes.h"
#include "daemon/FinderQueries.h"
#include "daemon/Log.h"
#include "daemon/PasteboardData.h"
#include "daemon/SelectionData.h"

#include <algorithm>
#include <utility>

namespace presto {
namespace {

// A service's error number in the daemon's 16-bit status.
OSErr statusOf(int error) {
    return static_cast<OSErr>(error == 0 ? 0 : -std::min(error, 32767));
}

} // namespace

FinderFunctions::FinderFunctions(SessionPower& power, Trash& trash, FinderState& finder,
                                 Pasteboard& pasteboard, DaemonDialogs& dialogs,
                                 WorkerStarter startWorker)
    : power_(power), trash_(trash), finder_(finder), pasteboard_(pasteboard), dialogs_(dialogs),
      startWorker_(startWorker ? std::move(startWorker) : WorkerStarter([this](Work work) {
          workers_.start(std::move(work));
      })) {}

OSErr FinderFunctions::LaunchFinderSystem(int number) {
    if (number <= 0)
        return kNoErr;
    switch (number / 10) {
    case 0:
        return LaunchSystemItem(number);
    case 1:
        return LaunchFinderItem(number);
    case 2:
        return LaunchEtcItem(number);
    default:
        return kNoErr;
    }
}

OSErr FinderFunctions::LaunchSystemItem(int number) {
    switch (number) {
    case kFnSleep:
        return statusOf(power_.request(SessionPower::Action::Sleep));
    case kFnRestart:
        return statusOf(power_.request(SessionPower::Action::Restart));
    case kFnShutDown:
        return statusOf(power_.request(SessionPower::Action::ShutDown));
    default:
        return kNoErr;
    }
}

OSErr FinderFunctions::LaunchFinderItem(int number) {
    if (number == kFnEmptyTrash)
        return statusOf(trash_.emptyTrash());
    return kNoErr;
}

OSErr FinderFunctions::LaunchEtcItem(int number) {
    switch (number) {
    case kFnMoveToTrash:
        return DeleteItem();
    case kFnMakeNewFile:
        return MakeNewFile();
    case kFnGetPath:
        return GetPath();
    case kFnGetFileList:
        return GetFileList();
    case kFnCopyTo:
        return CopyItem();
    case kFnMoveTo:
        return MoveItem();
    case kFnCopyToByNewName:
        return CopyNewItem();
    case kFnMoveToByNewName:
        return MoveNewItem();
    case kFnShowPermission:
        return ShowPermission();
    default:
        return kNoErr;
    }
}

OSErr FinderFunctions::DeleteItem() {
    std::vector<std::string> selection = finder_.selection();
    if (selection.empty())
        return kNoErr;
    return statusOf(trash_.moveToTrash(selection));
}

OSErr FinderFunctions::MakeNewFile() {
    return FinderQueries(finder_).makeNewFile();
}

OSErr FinderFunctions::GetPath() {
    return textToPasteboard(FinderQueries(finder_).pathList());
}

OSErr FinderFunctions::GetFileList() {
    std::string list;
    if (OSErr status = FinderQueries(finder_).fileList(list))
        return status;
    return textToPasteboard(std::move(list));
}

OSErr FinderFunctions::textToPasteboard(std::string text) {
    // Only the bytes up to a NUL: the text went through a C string.
    text.resize(std::min(text.size(), text.find('\0')));
    if (!pasteboard_.replaceContents(kUtf8PlainTextType,
                                     std::vector<std::uint8_t>(text.begin(), text.end())))
        return kPasteboardErr;
    return kNoErr;
}

OSErr FinderFunctions::startWorker(Work work) {
    startWorker_(std::move(work));
    return kNoErr;
}

bool FinderFunctions::stopWorkers(std::chrono::steady_clock::time_point deadline) {
    return workers_.stopAll(deadline);
}

OSErr FinderFunctions::CopyItem() {
    return startWorker([this](std::stop_token stop) {
        PasteboardData(finder_, pasteboard_, dialogs_).copyPathsAll(stop);
    });
}

OSErr FinderFunctions::MoveItem() {
    return startWorker([this](std::stop_token stop) {
        PasteboardData(finder_, pasteboard_, dialogs_).movePathsAll(stop);
    });
}

OSErr FinderFunctions::CopyNewItem() {
    return startWorker([this](std::stop_token stop) {
        PasteboardData(finder_, pasteboard_, dialogs_, PasteboardData::kCopyByNewName)
            .copyPathsAll(stop);
    });
}

OSErr FinderFunctions::MoveNewItem() {
    return startWorker([this](std::stop_token stop) {
        PasteboardData(finder_, pasteboard_, dialogs_, PasteboardData::kMoveByNewName)
            .movePathsAll(stop);
    });
}

OSErr FinderFunctions::ShowPermission() {
    return startWorker(
        [this](std::stop_token stop) { SelectionData(finder_, dialogs_).dispPermission(stop); });
}

} // namespace presto
