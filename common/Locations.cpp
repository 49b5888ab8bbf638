#include "common/Locations.h"

#include "common/StateFileName.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// An XDG variable counts only when it holds an absolute path; otherwise fall back under $HOME.
std::string xdgDir(const char* variable, const char* underHome) {
    std::string dir = env(variable);
    if (!dir.empty() && dir.front() == '/')
        return dir;
    std::string home = env("HOME");
    if (!home.empty())
        return home + "/" + underHome;
    return {};
}

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

} // namespace

std::string temporaryFolder() {
    std::string dir = env("TMPDIR");
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    struct stat info {};
    if (dir.empty() || dir.front() != '/' || ::stat(dir.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode))
        return "/tmp";
    return dir;
}

std::string Locations::dataFolder() const {
    return applicationSupportDir + "/" + kDataFolderName;
}
std::string Locations::dataFilePath() const {
    return dataFolder() + "/" + kDataFileName;
}
std::string Locations::pasteboardDir() const {
    return dataFolder() + "/" + kPasteboardDirName;
}
std::string Locations::referencesDir() const {
    return dataFolder() + "/References";
}

std::string Locations::preferenceFile(std::string_view domain) const {
    return preferencesDir + "/" + std::string(domain) + ".plist";
}

std::string Locations::finderStateFile() const {
    return runtimeDir + "/" + kFinderStateFileName;
}

Locations Locations::fromEnvironment() {
    Locations loc;
    loc.applicationSupportDir = xdgDir("XDG_DATA_HOME", ".local/share");
    if (loc.applicationSupportDir.empty()) {
        loc.applicationSupportDir = temporaryFolder();
        loc.dataIsFallback = true;
    }

    loc.configHome = xdgDir("XDG_CONFIG_HOME", ".config");
    std::string config = loc.configHome;
    if (config.empty()) {
        config = temporaryFolder();
        loc.preferencesIsFallback = true;
    }
    loc.preferencesDir = config + "/Presto";

    std::string runtime = env("XDG_RUNTIME_DIR");
    std::string socketDir;
    if (!runtime.empty() && runtime.front() == '/') {
        loc.runtimeDir = runtime + "/Presto";
        socketDir = runtime;
    } else {
        const std::string tmp = temporaryFolder();
        loc.runtimeDir = (tmp == "/" ? "" : tmp) + "/Presto-" + std::to_string(::getuid());
        loc.runtimeIsFallback = true;
        socketDir = loc.runtimeDir;
    }

    std::string socket = env("PRESTO_SOCKET_PATH");
    loc.socketPath = socket.empty() ? socketDir + "/" + kSocketFileName : socket;
    loc.socketIsOverride = !socket.empty();
    return loc;
}

bool Locations::securePrivateFolders(unsigned uses, std::string_view program) const {
    const bool socketInRuntime =
        runtimeIsFallback && socketPath == runtimeDir + "/" + kSocketFileName;
    struct Folder {
        bool needed;
        std::string path;
    };
    const Folder folders[] = {
        {(uses & UsesData) && dataIsFallback, dataFolder()},
        {(uses & UsesPreferences) && preferencesIsFallback, preferencesDir},
        {((uses & UsesRuntime) && runtimeIsFallback) || ((uses & UsesSocket) && socketInRuntime),
         runtimeDir},
    };
    for (const Folder& folder : folders) {
        if (!folder.needed)
            continue;
        if (auto problem = privateFolderProblem(folder.path, true)) {
            std::fprintf(stderr, "%.*s: refusing the folder %s: %s\n",
                         static_cast<int>(program.size()), program.data(), folder.path.c_str(),
                         problem->c_str());
            return false;
        }
    }
    return true;
}

std::optional<std::string> privateFolderProblem(const std::string& dir, bool create) {
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0) {
        if (errno != ENOENT || !create)
            return std::string("cannot look at it: ") + std::strerror(errno);
        if (::mkdir(dir.c_str(), 0700) == 0)
            ::chmod(dir.c_str(),
                    0700); // ours, made a moment ago: a strict umask must not lock us out
        else if (errno != EEXIST)
            return std::string("cannot make it: ") + std::strerror(errno);
        if (::lstat(dir.c_str(), &info) != 0)
            return std::string("cannot look at it: ") + std::strerror(errno);
    }
    if (S_ISLNK(info.st_mode))
        return std::string("it is a symbolic link, not a folder");
    if (!S_ISDIR(info.st_mode))
        return std::string("it is not a folder");
    if (info.st_uid != ::geteuid())
        return "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    if ((info.st_mode & 07777) != 0700)
        return "its mode is " + octal(info.st_mode) + ", not 0700";
    return std::nullopt;
}

} // namespace presto
