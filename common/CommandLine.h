#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Every program's --help and --version, and its own options, by GNU conventions: answered before
// the program opens a display, a socket or a log, so asking never starts anything.
namespace presto::cli {

// The version all programs share.
extern const char* const kVersion;

struct Option {
    const char* name;     // without the dashes
    const char* argument; // the value's name in the help ("PATH"), or null for a switch
    const char* help;
};

struct Program {
    const char* name;        // as the user types it
    const char* operands;    // after "[OPTION]..." in the usage line, or ""
    const char* description; // what it is for; filled into lines of 79 columns
    std::span<const Option> options = {};
    // Exactly how many operands it takes.
    int operandCount = 0;
    // A Qt program: the toolkit's own options (-platform NAME, -style NAME and the like, single
    // dash) and their values are left to Qt; only "--" options are checked here.
    bool toolkitOptions = false;
    // Shown after the options: environment, files, exit status.
    const char* notes = nullptr;
};

struct CommandLine {
    // Set when the program must end at once with this status: 0 after --help or --version, 2
    // after a line on standard error about what was wrong.
    std::optional<int> exitStatus;
    // The program's own options that were given, with their values ("" for a switch).
    std::map<std::string, std::string> options;
    std::vector<std::string> operands;

    bool has(const std::string& option) const { return options.count(option) > 0; }
};

CommandLine parse(int argc, char** argv, const Program& program, std::FILE* out = stdout,
                  std::FILE* err = stderr);

} // namespace presto::cli
