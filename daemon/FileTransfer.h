#pragma once

#include "daemon/LaunchActions.h"

#include <cstdint>
#include <functional>
#include <string>

namespace presto {

// Results of a transfer besides kNoErr and kFileNotFoundErr, numbered as the Mac's.
inline constexpr OSErr kDiskFullErr = -34;
inline constexpr OSErr kIoErr = -36;
inline constexpr OSErr kBadNameErr = -37;
inline constexpr OSErr kParamErr = -50; // onto or into itself
inline constexpr OSErr kDirNotFoundErr = -120;
inline constexpr OSErr kAccessDeniedErr = -5000;

// Copies and moves files, folders (recursively, with modes, times, owners where allowed and
// symbolic links kept) and links into a folder, replacing an item of the same name:
// - the new item is completed under a temporary name beside the old one and only then takes its
//   place, so a failed transfer leaves the old item as it was;
// - a move across file systems deletes the source only once the copy is in place;
// - an item is never copied or moved onto itself or into itself, and never over a folder that
//   holds it.
class FileTransfer {
public:
    // Called now and then with the bytes copied so far.
    using Progress = std::function<void(std::uint64_t done)>;

    // The bytes of file data in the item (all files below it for a folder; links count 0).
    static std::uint64_t measure(const std::string& source);

    // `newName` empty keeps the source's name.
    static OSErr copyObject(const std::string& source, const std::string& destFolder,
                            const std::string& newName, const Progress& progress = {});
    static OSErr moveObject(const std::string& source, const std::string& destFolder,
                            const std::string& newName, const Progress& progress = {});
};

} // namespace presto
