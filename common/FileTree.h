#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

namespace presto {

// Every entry of the open folder `fd` but "." and "..", from its start. 0, or the error that
// stopped the listing: a listing cut short is never taken for the whole folder.
int listFolder(int fd, std::vector<std::string>& names);

// Deletes the entry `name` of the folder open as `dirFd`, with everything below it when it is a
// folder. Each folder is opened once, never through a link, and emptied relative to that
// descriptor, never by its path again; links are removed, not followed; nothing on another file
// system (or below another mount) is touched. 0, or the first error (the rest is still tried).
int removeTreeAt(int dirFd, const std::string& name);
// The same, only while the entry is still the object `expected` describes (device and inode):
// ESTALE, with nothing removed, when it is another one now.
int removeTreeAt(int dirFd, const std::string& name, const struct stat& expected);

// Deletes everything in the open folder `fd`, keeping the folder, as removeTreeAt does.
int emptyFolderAt(int fd);

} // namespace presto
