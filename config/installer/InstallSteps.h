#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The privileged steps of installing and removing the modules, as the install helper performs
// them with administrator rights. Every source and destination is fixed here: a request names a
// step and at most one of the fixed names, never a path of its caller's choosing. No Qt: the
// helper runs as root and stays small.
namespace presto::install {

enum class Operation { Install, Uninstall };

// The helper's exit statuses, told apart from pkexec's own 126 and 127.
inline constexpr int kExitFailed = 1;      // a step of a whole operation failed
inline constexpr int kExitUsage = 2;       // an unknown operation or option
inline constexpr int kExitNotAdmin = 3;    // started without administrator rights
inline constexpr int kExitPackaged = 4;    // the package manager owns the modules
inline constexpr int kBadRequest = 64;     // answer to a request outside the operation's steps
inline constexpr int kCannotExecute = 127; // answer when a program it runs could not start

struct Place {
    // Put before every installed path; only tests set it, and only without pkexec.
    std::string root;
    // The folder the helper itself lies in: the programs it installs lie beside it.
    std::string sources;
};

// Performs one request of `operation` ("copy PrestoKeys", "mkdir /opt/Presto/", "enable", ...):
// 0 when it succeeded, else an errno value, kBadRequest or the exit status of systemctl.
int perform(Operation operation, const std::vector<std::string>& request, const Place& place);

// The names "copy" takes, in the order the installer copies them.
std::vector<std::string> copyOrder();

// Every step of `operation` in the installer's order, for an administrator at a terminal; the
// user's own units are left to the next login. One line per step to `out`; 0 when all succeeded.
int performAll(Operation operation, const Place& place, std::FILE* out);

// The package that dpkg's records say installed the programs, under `place.root`; empty when none
// did. Its files are the package manager's to change, even when they are missing.
std::string packageOwner(const Place& place);

// Removes `path`, a folder with everything in it. Links are removed, never followed, so nothing
// outside is touched. True when nothing is left, also when nothing was there.
bool removeTree(const std::string& path);

} // namespace presto::install
