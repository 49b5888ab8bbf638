#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace presto {

inline constexpr char kSocketFileName[] = "Presto_socket";
inline constexpr char kDataFolderName[] = "Presto";
inline constexpr char kDataFileName[] = "PrestoData.data";
inline constexpr char kPasteboardDirName[] = "PasteboardData";

// Where the programs keep their files and find each other. Built once from the environment in
// main() and handed on, so tests point every program at temporary folders.
struct Locations {
    // $XDG_DATA_HOME, else $HOME/.local/share, else the temporary folder.
    std::string applicationSupportDir;
    // $XDG_CONFIG_HOME/Presto, else $HOME/.config/Presto, else <temporary folder>/Presto.
    std::string preferencesDir;
    // $XDG_CONFIG_HOME, else $HOME/.config; empty without either.
    std::string configHome;
    // $XDG_RUNTIME_DIR/Presto, else <temporary folder>/Presto-<uid>.
    std::string runtimeDir;
    // $PRESTO_SOCKET_PATH when set and not empty, else $XDG_RUNTIME_DIR/Presto_socket, else
    // <temporary folder>/Presto-<uid>/Presto_socket.
    std::string socketPath;
    // The socket is $PRESTO_SOCKET_PATH: a program started outside this environment must be told.
    bool socketIsOverride = false;

    // Which folders stand in, under the temporary folder that every user shares, for a variable
    // that is unset. Another user could have made them first.
    bool dataIsFallback = false;
    bool preferencesIsFallback = false;
    bool runtimeIsFallback = false;

    std::string dataFolder() const;    // <applicationSupportDir>/Presto
    std::string dataFilePath() const;  // <dataFolder>/PrestoData.data
    std::string pasteboardDir() const; // <dataFolder>/PasteboardData
    std::string referencesDir() const; // <dataFolder>/References (long file references)
    std::string preferenceFile(std::string_view domain) const; // <preferencesDir>/<domain>.plist
    std::string finderStateFile() const; // <runtimeDir>/finder, the file managers' state

    static Locations fromEnvironment();

    // What a program uses, for securePrivateFolders.
    enum Uses : unsigned {
        UsesData = 1,        // the data folder
        UsesPreferences = 2, // the preference folder
        UsesRuntime = 4,     // the runtime folder (the file manager's state file)
        UsesSocket = 8,      // the folder of the socket, when it is the runtime folder
    };
    // Makes each fallback folder the program uses (mode 0700) when it is missing, and checks that
    // it is the user's own with mode 0700. On a refusal, writes "<program>: ..." with the folder
    // and the reason to standard error and returns false: the program must not go on.
    bool securePrivateFolders(unsigned uses, std::string_view program) const;
};

// The temporary folder: $TMPDIR when it is an absolute path that names a folder (a link to one
// counts), without final slashes; else "/tmp". The file-manager extensions (presto_state.py)
// follow the same rule, or the daemon would not find the state file they write.
std::string temporaryFolder();

// Why `dir` cannot serve as a private folder, or nullopt when it is a folder (not a link) that
// this user owns with mode 0700. A missing folder is made with mode 0700 first when `create` is
// set. A folder with the wrong owner or mode is refused, never changed.
std::optional<std::string> privateFolderProblem(const std::string& dir, bool create);

} // namespace presto
