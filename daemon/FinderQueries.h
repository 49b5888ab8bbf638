#pragma once

#include "daemon/LaunchActions.h"
#include "platform/FinderState.h"

#include <string>
#include <vector>

namespace presto {

// A query that stopped with an error, numbered as the Mac's script errors are.
inline constexpr OSErr kScriptRunErr = -1753;

// What the file-manager functions ask the file manager, answered from its state. The texts are
// the ones users and their scripts have always got: shell-quoted paths, a folder's ending in "/".
class FinderQueries {
public:
    explicit FinderQueries(FinderState& finder) : finder_(finder) {}

    // A new empty file in the front window's folder, or on the desktop without a window.
    OSErr makeNewFile();
    // Each selected item quoted and followed by a return (CR); with nothing selected, the front
    // folder or the desktop, quoted, with no return.
    std::string pathList();
    // `/bin/ls` of the one selected item, else of the front folder or the desktop: its output
    // without the final line feed.
    OSErr fileList(std::string& result);
    // The first selected item, else the front folder or the desktop, quoted.
    std::string destination();
    // The selected items in order, each as a path of its own; empty when nothing is selected.
    std::vector<std::string> selectedItems();

    // A path as the file manager writes a POSIX path: a folder's ends with "/".
    static std::string posixPath(const std::string& path);
    // The shell's single-quoted form: 'it'\''s'.
    static std::string quotedForm(const std::string& text);

private:
    std::string frontOrDesktop();

    FinderState& finder_;
};

} // namespace presto
