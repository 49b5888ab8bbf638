#include "daemon/FinderQueries.h"

#include "platform/linux/Subprocess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

constexpr auto kListTimeout = std::chrono::seconds(60);

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

// A new empty file "untitled", "untitled 2", ...; taken names are skipped, never truncated.
OSErr makeUntitledFile(const std::string& folder) {
    for (int n = 1; n < 10000; ++n) {
        std::string name = "untitled";
        if (n > 1)
            name.append(" ").append(std::to_string(n));
        int fd = open(inFolder(folder, name).c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return kNoErr;
        }
        if (errno != EEXIST)
            return kScriptRunErr;
    }
    return kScriptRunErr;
}

// `/bin/ls path` run directly, its output without the final line feed, as a shell script's
// result comes.
OSErr listFolder(const std::string& path, std::string& result) {
    int error = 0;
    auto ls =
        subprocess::Helper::start({"/bin/ls", path}, subprocess::Helper::Pipe::FromStdout, error);
    if (!ls)
        return kScriptRunErr;
    auto deadline = subprocess::Clock::now() + kListTimeout;
    auto out = ls->readAll(deadline);
    if (!out || !ls->succeeded(deadline))
        return kScriptRunErr;
    result.assign(out->begin(), out->end());
    if (result.ends_with('\n'))
        result.pop_back();
    return kNoErr;
}

} // namespace

std::string FinderQueries::posixPath(const std::string& path) {
    struct stat st {};
    if (!path.ends_with('/') && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return path + "/";
    return path;
}

std::string FinderQueries::quotedForm(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string FinderQueries::frontOrDesktop() {
    std::optional<std::string> front = finder_.frontWindowFolder();
    return posixPath(front ? *front : finder_.desktopFolder());
}

OSErr FinderQueries::makeNewFile() {
    std::optional<std::string> front = finder_.frontWindowFolder();
    return makeUntitledFile(front ? *front : finder_.desktopFolder());
}

std::string FinderQueries::pathList() {
    std::vector<std::string> selection = finder_.selection();
    if (selection.empty())
        return quotedForm(frontOrDesktop());
    std::string list;
    for (const std::string& item : selection)
        list += quotedForm(posixPath(item)) + "\r";
    return list;
}

OSErr FinderQueries::fileList(std::string& result) {
    result.clear();
    // A selection of several items does not make one path: the front folder is listed.
    std::vector<std::string> selection = finder_.selection();
    return listFolder(selection.size() == 1 ? posixPath(selection.front()) : frontOrDesktop(),
                      result);
}

std::string FinderQueries::destination() {
    std::vector<std::string> selection = finder_.selection();
    return quotedForm(selection.empty() ? frontOrDesktop() : posixPath(selection.front()));
}

std::vector<std::string> FinderQueries::selectedItems() {
    std::vector<std::string> items = finder_.selection();
    for (std::string& item : items)
        item = posixPath(item);
    return items;
}

} // namespace presto
