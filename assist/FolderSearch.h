#pragma once

#include "assist/AssistServices.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace presto {

inline constexpr char kConfigurationAppName[] = "Presto";
inline constexpr char kConfigurationAppDesktopFile[] = "com.nimbo.Presto.desktop";

// Where Linux keeps programs, in the order they are looked at.
struct SearchPlaces {
    // Folders that may hold a program named "Presto": the installed folder, the assistant's own
    // folder, the folders of PATH.
    std::vector<std::string> folders;
    // Folders that may hold "com.nimbo.Presto.desktop", whose Exec names the program.
    std::vector<std::string> applicationFolders;
    // The folders of PATH, to find an Exec that names no folder.
    std::vector<std::string> pathFolders;

    // installedFolder, ownFolder, $PATH; $XDG_DATA_HOME and $XDG_DATA_DIRS (each with
    // "applications").
    static SearchPlaces fromEnvironment(const std::string& installedFolder,
                                        const std::string& ownFolder);
};

// Every copy of the configuration application of the version in the places: executable regular
// files named "Presto" whose version mark says `version`, each file once, the oldest by creation
// time (change time where the file system keeps none) first. Nothing found is run.
std::vector<std::string> findConfigurationApplications(const SearchPlaces& places,
                                                       const std::string& version);

// The program an application's desktop entry starts: its Exec's first word, looked up in
// `pathFolders` when it names no folder. Empty when there is none.
std::string desktopEntryProgram(const std::string& desktopFile,
                                const std::vector<std::string>& pathFolders);

// findConfigurationApplications on a thread of its own per search.
class FolderApplicationSearch final : public ApplicationSearch {
public:
    explicit FolderApplicationSearch(SearchPlaces places);
    // Waits for searches still running; their results are dropped.
    ~FolderApplicationSearch() override;

    void start(const std::string& version, Done done) override;

private:
    SearchPlaces places_;
    // Delivers results on the thread that started the search; gone with this object.
    std::unique_ptr<QObject> receiver_;
    std::atomic<unsigned> generation_{0};
    std::vector<std::thread> threads_;
};

} // namespace presto
