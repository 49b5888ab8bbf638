#include "common/Locations.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace presto {
namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string temporaryFolder() {
    std::error_code ec;
    auto dir = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : dir.string();
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

} // namespace

std::string Locations::dataFolder() const { return applicationSupportDir + "/" + kDataFolderName; }
std::string Locations::dataFilePath() const { return dataFolder() + "/" + kDataFileName; }
std::string Locations::pasteboardDir() const { return dataFolder() + "/" + kPasteboardDirName; }
std::string Locations::referencesDir() const { return dataFolder() + "/References"; }

std::string Locations::preferenceFile(std::string_view domain) const {
    return preferencesDir + "/" + std::string(domain) + ".plist";
}

Locations Locations::fromEnvironment() {
    Locations loc;
    loc.applicationSupportDir = xdgDir("XDG_DATA_HOME", ".local/share");
    if (loc.applicationSupportDir.empty())
        loc.applicationSupportDir = temporaryFolder();

    std::string config = xdgDir("XDG_CONFIG_HOME", ".config");
    if (config.empty())
        config = temporaryFolder();
    loc.preferencesDir = config + "/Presto";

    std::string runtime = env("XDG_RUNTIME_DIR");
    loc.runtimeDir = (!runtime.empty() && runtime.front() == '/')
                         ? runtime + "/Presto"
                         : temporaryFolder() + "/Presto-" + std::to_string(getuid());

    std::string socket = env("PRESTO_SOCKET_PATH");
    loc.socketPath = socket.empty() ? std::string(kDefaultSocketPath) : socket;
    return loc;
}

} // namespace presto
