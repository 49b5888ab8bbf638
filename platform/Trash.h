#pragma once

#include <string>
#include <vector>

namespace presto {

// The desktop's trash.
class Trash {
public:
    virtual ~Trash() = default;

    // Moves each path to the trash, in order. An item that cannot be trashed stays where it is
    // (it is never deleted instead); the others still go. 0 when all went, else the first error
    // number.
    virtual int moveToTrash(const std::vector<std::string>& paths) = 0;
    // Deletes everything in the user's trash. 0 when all went, else the first error number.
    virtual int emptyTrash() = 0;
};

} // namespace presto
