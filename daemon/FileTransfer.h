#pragma once

#include "daemon/LaunchActions.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace presto {

// Results of a transfer besides kNoErr and kFileNotFoundErr, numbered as the Mac's.
inline constexpr OSErr kDiskFullErr = -34;
inline constexpr OSErr kIoErr = -36;
inline constexpr OSErr kBadNameErr = -37;
inline constexpr OSErr kFileBusyErr = -47;      // the source changed while it was copied: kept
inline constexpr OSErr kDuplicateNameErr = -48; // an item took the name after the question
inline constexpr OSErr kParamErr = -50;         // onto or into itself
inline constexpr OSErr kDirNotFoundErr = -120;
inline constexpr OSErr kUserCanceledErr = -128; // stopped before the end
inline constexpr OSErr kAccessDeniedErr = -5000;

// Copies and moves files, folders (recursively, with modes, times, owners where allowed, holes
// and symbolic links kept) and links into a folder, replacing an item of the same name:
// - the source's folder and the destination are opened once; everything after works relative to
//   them, so a link put in the way of either path meanwhile is never followed;
// - the new item is completed under a temporary name beside the old one and only then takes its
//   place, so a failed or stopped transfer leaves the old item as it was and no partial copy;
// - a move never puts the user's item under another name than its own or the chosen one;
// - a move across file systems deletes the source only once the copy is in place, and only while
//   it is still the item that was copied; any error while copying keeps it;
// - an item is never copied or moved onto itself or into itself, and never over a folder that
//   holds it.
class FileTransfer {
public:
    // Called now and then with the bytes done so far (holes count as done).
    using Progress = std::function<void(std::uint64_t done)>;

    // Moments at which another process may change the file system under a transfer.
    enum class Step {
        SourceOpened,         // the source is open, nothing of it read yet
        BeforePlacing,        // the item is about to take its place in the destination
        BeforeRemovingSource, // a move's copy is in place, the source not yet removed
    };

    struct Options {
        Progress progress;
        // A stop request ends the transfer with kUserCanceledErr, the source as it was.
        std::stop_token stop;
        // Tests act here as another process would.
        std::function<void(Step)> onStep;
    };

    // The bytes of file data in the item (all files below it for a folder; links count 0). An
    // error while looking at any part of it is the result, never a smaller count.
    static OSErr measure(const std::string& source, std::uint64_t& bytes,
                         std::stop_token stop = {});

    // `newName` empty keeps the source's name.
    static OSErr copyObject(const std::string& source, const std::string& destFolder,
                            const std::string& newName, const Options& options = {});
    static OSErr moveObject(const std::string& source, const std::string& destFolder,
                            const std::string& newName, const Options& options = {});
};

} // namespace presto
