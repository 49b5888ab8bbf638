#pragma once

#include "daemon/LaunchActions.h"
#include "platform/FinderState.h"

#include <string>

namespace presto {

// The file manager's scripts, word for word as the daemon has always sent them.
inline constexpr char kMakeNewFileScript[] = "tell application \"Finder\"\n"
                                             " try\n"
                                             "  folder of front window\n"
                                             " on error\n"
                                             "  home as string\n"
                                             "  result & \"Desktop:\"\n"
                                             " end try\n"
                                             " make new file at result with properties{file "
                                             "type:\"????\"}\n"
                                             "end tell";

inline constexpr char kGetPathScript[] = "tell application \"Finder\"\n"
                                         "\tset thePathList to \"\"\n"
                                         "\tselection\n"
                                         "\tset theList to result as list\n"
                                         "\tset theCount to count of theList\n"
                                         "\tif theCount > 0 then\n"
                                         "\t\trepeat with theIndex from 1 to theCount\n"
                                         "\t\t\titem theIndex of theList as Unicode text\n"
                                         "\t\t\tPOSIX path of result\n"
                                         "\t\t\tquoted form of result\n"
                                         "\t\t\tset thePathList to thePathList & result & return\n"
                                         "\t\tend repeat\n"
                                         "\telse\n"
                                         "\t\ttry\n"
                                         "\t\t\tfolder of front window\n"
                                         "\t\ton error\n"
                                         "\t\t\tdesktop\n"
                                         "\t\tend try\n"
                                         "\t\tresult as Unicode text\n"
                                         "\t\tPOSIX path of result\n"
                                         "\t\tquoted form of result\n"
                                         "\tend if\n"
                                         "end tell\n";

inline constexpr char kGetFileListScript[] =
    "tell application \"Finder\"\n"
    " try\n"
    "  selection\n"
    "  result as Unicode text\n"
    "  POSIX path of result\n"
    "  set thePath to result\n"
    " on error\n"
    "  try\n"
    "   folder of front window\n"
    "  on error\n"
    "   desktop\n"
    "  end try\n"
    "  result as Unicode text\n"
    "  POSIX path of result\n"
    "  set thePath to result\n"
    " end try\n"
    "end tell\n"
    "set theCommand to \"/bin/ls\" & space & quoted form of thePath\n"
    "do shell script theCommand\n"
    "return result\n";

inline constexpr char kDestinationScript[] = "tell application \"Finder\"\n"
                                             "\tselection\n"
                                             "\ttry\n"
                                             "\t\titem 1 of result\n"
                                             "\ton error\n"
                                             "\t\ttry\n"
                                             "\t\t\tfolder of front window\n"
                                             "\t\ton error\n"
                                             "\t\t\tdesktop\n"
                                             "\t\tend try\n"
                                             "\tend try\n"
                                             "end tell\n"
                                             "result as Unicode text\n"
                                             "POSIX path of result\n"
                                             "quoted form of result\n"
                                             "return result\n";

inline constexpr char kSelectionScript[] = "tell application \"Finder\"\n"
                                           "\tset thePathList to \"\"\n"
                                           "\tselection\n"
                                           "\tset theList to result as list\n"
                                           "\tset theCount to count of theList\n"
                                           "\tif theCount > 0 then\n"
                                           "\t\trepeat with theIndex from 1 to theCount\n"
                                           "\t\t\titem theIndex of theList as Unicode text\n"
                                           "\t\t\tPOSIX path of result\n"
                                           "\t\t\tset thePathList to thePathList & result & \":\"\n"
                                           "\t\tend repeat\n"
                                           "\telse\n"
                                           "\t\ttry\n"
                                           "\t\t\tfolder of front window\n"
                                           "\t\ton error\n"
                                           "\t\t\tdesktop\n"
                                           "\t\tend try\n"
                                           "\t\tresult as Unicode text\n"
                                           "\t\tPOSIX path of result\n"
                                           "\t\tquoted form of result\n"
                                           "\tend if\n"
                                           "end tell\n";

// Script errors, numbered as the Mac's.
inline constexpr OSErr kScriptSyntaxErr = -2740; // a text the runner does not know
inline constexpr OSErr kScriptRunErr = -1753;    // the script stopped with an error

// Runs the scripts above, each recognised by its exact text, computing natively from the file
// manager's state what the script would have answered. Any other text does not compile.
class ScriptRunner {
public:
    explicit ScriptRunner(FinderState& finder) : finder_(finder) {}

    // The result as text, as shown for humans (a string without its quotes).
    OSErr run(const char* script, std::string& result);

    // A path as the file manager writes a POSIX path: a folder's ends with "/".
    static std::string posixPath(const std::string& path);
    // The shell's single-quoted form: 'it'\''s'.
    static std::string quotedForm(const std::string& text);

private:
    std::string frontOrDesktop();

    FinderState& finder_;
};

} // namespace presto
