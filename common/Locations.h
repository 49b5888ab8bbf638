#pragma once

#include <string>
#include <string_view>

namespace presto {

inline constexpr char kDefaultSocketPath[] = "/tmp/Presto_socket";
inline constexpr char kDataFolderName[] = "Presto";
inline constexpr char kDataFileName[] = "PrestoData.data";
inline constexpr char kPasteboardDirName[] = "PasteboardData";

// Where the programs keep their files and find each other. Built once from the environment in
// main() and handed on, so tests point every program at temporary folders.
struct Locations {
    // $XDG_DATA_HOME, else $HOME/.local/share, else the temporary folder.
    std::string applicationSupportDir;
    // $XDG_CONFIG_HOME/Presto, else $HOME/.config/Presto.
    std::string preferencesDir;
    // $XDG_RUNTIME_DIR/Presto, else <temporary folder>/Presto-<uid>.
    std::string runtimeDir;
    // $PRESTO_SOCKET_PATH when set and not empty, else /tmp/Presto_socket.
    std::string socketPath;

    std::string dataFolder() const;       // <applicationSupportDir>/Presto
    std::string dataFilePath() const;     // <dataFolder>/PrestoData.data
    std::string pasteboardDir() const;    // <dataFolder>/PasteboardData
    std::string referencesDir() const;    // <dataFolder>/References (long file references)
    std::string preferenceFile(std::string_view domain) const; // <preferencesDir>/<domain>.plist

    static Locations fromEnvironment();
};

} // namespace presto
