#include "assist/FolderSearch.h"

#include "common/ProgramVersion.h"
#include "common/SearchPath.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

std::vector<std::string> splitList(const char* value) {
    std::vector<std::string> parts = splitSearchList(value);
    // Relative entries would depend on where the assistant happens to run.
    std::erase_if(parts, [](const std::string& part) { return !part.starts_with('/'); });
    return parts;
}

// Creation time where the file system keeps one, else the time of the last change.
struct timespec creationTime(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_CTIME, &info) == 0) {
        const statx_timestamp& t = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime;
        return {static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
    }
    return {0, 0};
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The value of Exec in the [Desktop Entry] group, unescaped as the desktop entry rules say.
std::string execLine(const std::string& desktopFile) {
    std::ifstream in(desktopFile);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.front() == '[') {
            inEntry = line.rfind("[Desktop Entry]", 0) == 0;
            continue;
        }
        if (!inEntry)
            continue;
        auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals);
        key.erase(key.find_last_not_of(" \t") + 1);
        if (key != "Exec")
            continue;
        std::string value = line.substr(equals + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        std::string unescaped;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                char next = value[++i];
                unescaped += next == 's' ? ' ' : next == 't' ? '\t' : next;
            } else {
                unescaped += value[i];
            }
        }
        return unescaped;
    }
    return {};
}

} // namespace

SearchPlaces SearchPlaces::fromEnvironment(const std::string& installedFolder,
                                           const std::string& ownFolder) {
    SearchPlaces places;
    places.folders.push_back(installedFolder);
    places.folders.push_back(ownFolder);
    places.pathFolders = splitList(std::getenv("PATH"));
    places.folders.insert(places.folders.end(), places.pathFolders.begin(),
                          places.pathFolders.end());

    std::vector<std::string> data;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && dataHome[0] == '/')
        data.push_back(dataHome);
    else if (home && home[0] == '/')
        data.push_back(std::string(home) + "/.local/share");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    auto dirs = splitList(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
    data.insert(data.end(), dirs.begin(), dirs.end());
    for (const std::string& dir : data)
        places.applicationFolders.push_back(dir + "/applications");
    return places;
}

std::string desktopEntryProgram(const std::string& desktopFile,
                                const std::vector<std::string>& pathFolders) {
    const QStringList words = QProcess::splitCommand(QString::fromStdString(execLine(desktopFile)));
    if (words.isEmpty())
        return {};
    const std::string program = words.front().toStdString();
    if (program.find('/') != std::string::npos)
        return program.front() == '/' ? program : std::string();
    for (const std::string& folder : pathFolders) {
        const std::string candidate = folder + "/" + program;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

std::vector<std::string> findConfigurationApplications(const SearchPlaces& places,
                                                       const std::string& version) {
    std::vector<std::string> candidates;
    for (const std::string& folder : places.folders)
        candidates.push_back(folder + "/" + kConfigurationAppName);
    for (const std::string& folder : places.applicationFolders) {
        const std::string entry = folder + "/" + kConfigurationAppDesktopFile;
        if (::access(entry.c_str(), R_OK) == 0) {
            std::string program = desktopEntryProgram(entry, places.pathFolders);
            if (!program.empty())
                candidates.push_back(program);
        }
    }

    struct Found {
        std::string path;
        struct timespec created;
    };
    std::vector<Found> found;
    std::set<std::string> seen;
    for (const std::string& path : candidates) {
        if (!isExecutableFile(path))
            continue;
        // The same file reached through a link or twice through PATH counts once.
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real)
            continue;
        const bool fresh = seen.insert(real).second;
        std::free(real);
        if (!fresh || readVersionMark(path, kConfigurationAppName) != version)
            continue;
        found.push_back({path, creationTime(path)});
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.created.tv_sec != b.created.tv_sec ? a.created.tv_sec < b.created.tv_sec
                                                    : a.created.tv_nsec < b.created.tv_nsec;
    });
    std::vector<std::string> paths;
    for (const Found& f : found)
        paths.push_back(f.path);
    return paths;
}

FolderApplicationSearch::FolderApplicationSearch(SearchPlaces places)
    : places_(std::move(places)), receiver_(std::make_unique<QObject>()) {}

FolderApplicationSearch::~FolderApplicationSearch() {
    ++generation_;
    for (std::thread& thread : threads_)
        thread.join();
}

void FolderApplicationSearch::start(const std::string& version, Done done) {
    const unsigned generation = ++generation_;
    threads_.emplace_back([this, generation, version, done = std::move(done)] {
        std::vector<std::string> paths = findConfigurationApplications(places_, version);
        if (generation_ != generation)
            return;
        QMetaObject::invokeMethod(
            receiver_.get(),
            [this, generation, done, paths = std::move(paths)] {
                if (generation_ == generation)
                    done(paths);
            },
            Qt::QueuedConnection);
    });
}

} // namespace presto
