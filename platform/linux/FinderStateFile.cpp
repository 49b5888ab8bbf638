#include "platform/linux/FinderStateFile.h"

#include "common/FileIo.h"

#include <cstdlib>
#include <fstream>
#include <glib.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace presto {
namespace {

struct StateLines {
    bool present = false;
    std::string front;
    std::vector<std::string> selected;
};

// A state file is a few paths; anything larger is not the file manager's.
constexpr std::size_t kMaxStateFileSize = 1024 * 1024;

// Only a regular file of this user's, of sane size, is believed: the lines become arguments of
// programs the user's hot keys start.
std::optional<std::string> readStateText(const std::string& file) {
    int fd = openRegularFile(file);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::string text;
    bool trusted = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() &&
                   static_cast<std::size_t>(info.st_size) <= kMaxStateFileSize;
    if (trusted) {
        // One byte more than allowed shows a file that grew since fstat.
        text.resize(kMaxStateFileSize + 1);
        text.resize(readFully(fd, text.data(), text.size()));
        trusted = text.size() <= kMaxStateFileSize;
    }
    ::close(fd);
    if (!trusted)
        return std::nullopt;
    return text;
}

// A line is an absolute path, or a local file: URI for a path with a line feed in it. Only
// absolute paths count, so no line can pass for an option of the program it is given to.
std::optional<std::string> pathOfLine(const std::string& line) {
    if (line.starts_with('/'))
        return line;
    if (!line.starts_with("file://"))
        return std::nullopt;
    gchar* host = nullptr;
    gchar* decoded = g_filename_from_uri(line.c_str(), &host, nullptr);
    std::optional<std::string> path;
    const bool local = !host || !*host || g_ascii_strcasecmp(host, "localhost") == 0;
    if (decoded && local && decoded[0] == '/')
        path = decoded;
    g_free(decoded);
    g_free(host);
    return path;
}

StateLines readState(const std::string& file) {
    StateLines state;
    std::optional<std::string> text = readStateText(file);
    if (!text)
        return state;
    state.present = true;
    std::istringstream in(*text);
    std::string line;
    std::getline(in, line);
    state.front = pathOfLine(line).value_or("");
    while (std::getline(in, line))
        if (std::optional<std::string> path = pathOfLine(line))
            state.selected.push_back(std::move(*path));
    return state;
}

// The value of one line `XDG_DESKTOP_DIR="..."`: "$HOME/..." or an absolute path, with
// backslash escapes; nullopt for anything else, as the XDG user-dirs rules say.
std::optional<std::string> desktopEntry(const std::string& line, const std::string& home) {
    std::size_t p = line.find_first_not_of(" \t");
    const std::string key = "XDG_DESKTOP_DIR";
    if (p == std::string::npos || line.compare(p, key.size(), key) != 0)
        return std::nullopt;
    p = line.find_first_not_of(" \t", p + key.size());
    if (p == std::string::npos || line[p] != '=')
        return std::nullopt;
    p = line.find_first_not_of(" \t", p + 1);
    if (p == std::string::npos || line[p] != '"')
        return std::nullopt;
    ++p;

    std::string value;
    if (line.compare(p, 5, "$HOME") == 0) {
        p += 5;
        if (p < line.size() && line[p] != '/' && line[p] != '"')
            return std::nullopt;
        value = home;
    } else if (p >= line.size() || line[p] != '/') {
        return std::nullopt;
    }
    for (; p < line.size() && line[p] != '"'; ++p) {
        if (line[p] == '\\' && p + 1 < line.size())
            ++p;
        value += line[p];
    }
    if (p >= line.size())
        return std::nullopt;
    while (value.size() > 1 && value.back() == '/')
        value.pop_back();
    return value.empty() ? std::nullopt : std::optional<std::string>(value);
}

std::string envOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

FinderStateFile::FinderStateFile(std::string stateFile, std::string home, std::string configHome)
    : stateFile_(std::move(stateFile)), home_(std::move(home)), configHome_(std::move(configHome)) {
    if (configHome_.empty())
        configHome_ = home_ + "/.config";
}

FinderStateFile FinderStateFile::fromEnvironment(const Locations& locations) {
    return FinderStateFile(locations.finderStateFile(), envOrEmpty("HOME"), locations.configHome);
}

std::vector<std::string> FinderStateFile::selection() {
    return readState(stateFile_).selected;
}

std::optional<std::string> FinderStateFile::frontWindowFolder() {
    StateLines state = readState(stateFile_);
    if (!state.present || state.front.empty())
        return std::nullopt;
    return state.front;
}

std::string FinderStateFile::desktopFolder() {
    std::optional<std::string> desktop;
    std::ifstream in(configHome_ + "/user-dirs.dirs");
    for (std::string line; std::getline(in, line);)
        if (auto entry = desktopEntry(line, home_))
            desktop = std::move(entry);
    return desktop ? *desktop : home_ + "/Desktop";
}

} // namespace presto
