#include "daemon/LaunchActions.h"

#include "common/SnapshotFile.h"

#include <algorithm>
#include <utility>

namespace presto {

LaunchActions::LaunchActions(Launcher& launcher, FinderState& finder, ProcessTable& processes,
                             Pasteboard& pasteboard, FileReferences references)
    : launcher_(launcher), finder_(finder), processes_(processes), pasteboard_(pasteboard),
      references_(std::move(references)) {}

OSErr LaunchActions::lsOpenFSRef(const FileRef& ref) {
    auto path = references_.refMakePath(ref);
    if (!path)
        return kFileNotFoundErr;
    return static_cast<OSErr>(launcher_.openItem(*path));
}

OSErr LaunchActions::OpenDocument(const FileRef& appRef) {
    pid_t finder = 0;
    if (OSErr err = FindProcessByName(finder, kFinderProcessName); err != kNoErr)
        return err;
    auto path = references_.refMakePath(appRef);
    if (!path)
        return kFileNotFoundErr;
    return static_cast<OSErr>(launcher_.openSelectionWith(*path));
}

bool LaunchActions::canOpenSelectionWith(const FileRef& appRef) {
    auto path = references_.refMakePath(appRef);
    if (!path || !launcher_.canOpenFiles(*path))
        return false;
    pid_t finder = 0;
    return FindProcessByName(finder, kFinderProcessName) == kNoErr && !finder_.selection().empty();
}

OSErr LaunchActions::FindProcessByName(pid_t& pid, const char* name) {
    auto found = processes_.findProcessByName(name);
    if (!found)
        return kProcNotFoundErr;
    pid = *found;
    return kNoErr;
}

OSErr LaunchActions::Copy2Pasteboard(const FileRef& snapshotRef) {
    auto path = references_.refMakePath(snapshotRef);
    if (!path)
        return kFileNotFoundErr;
    auto snapshot = readSnapshotFile(*path);
    if (!snapshot)
        return kNoErr;
    // The type is taken as ASCII text; bytes that are not ASCII make no type at all.
    if (std::any_of(snapshot->type.begin(), snapshot->type.end(),
                    [](char c) { return static_cast<unsigned char>(c) > 0x7F; }))
        return kNoErr;
    return pasteboard_.replaceContents(snapshot->type, snapshot->data) ? kNoErr : kPasteboardErr;
}

} // namespace presto
