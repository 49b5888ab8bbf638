#pragma once

#include <string>

namespace presto {

// Deletes `name` in the folder open as `dirFd`, with everything below it when it is a folder.
// Symbolic links are removed, never followed. 0, or the first error number (the rest is still
// tried).
int removeTreeAt(int dirFd, const std::string& name);

// removeTreeAt for a whole path.
int removeTree(const std::string& path);

// Deletes everything inside the folder at `path`, keeping the folder. 0 when the folder is
// empty afterwards or did not exist.
int emptyFolder(const std::string& path);

} // namespace presto
