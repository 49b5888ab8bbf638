#include "daemon/FinderScripts.h"

#include "platform/linux/Subprocess.h"

#include <cerrno>
#include <cstring>
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

std::string ScriptRunner::posixPath(const std::string& path) {
    struct stat st {};
    if (!path.ends_with('/') && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return path + "/";
    return path;
}

std::string ScriptRunner::quotedForm(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string ScriptRunner::frontOrDesktop() {
    std::optional<std::string> front = finder_.frontWindowFolder();
    return posixPath(front ? *front : finder_.desktopFolder());
}

OSErr ScriptRunner::run(const char* script, std::string& result) {
    result.clear();
    if (!script)
        return kScriptSyntaxErr;
    if (std::strcmp(script, kMakeNewFileScript) == 0) {
        std::optional<std::string> front = finder_.frontWindowFolder();
        return makeUntitledFile(front ? *front : finder_.desktopFolder());
    }
    if (std::strcmp(script, kGetPathScript) == 0) {
        std::vector<std::string> selection = finder_.selection();
        for (const std::string& item : selection)
            result += quotedForm(posixPath(item)) + "\r";
        if (selection.empty())
            result = quotedForm(frontOrDesktop());
        return kNoErr;
    }
    if (std::strcmp(script, kSelectionScript) == 0) {
        std::vector<std::string> selection = finder_.selection();
        for (const std::string& item : selection)
            result += posixPath(item) + ":";
        if (selection.empty())
            result = quotedForm(frontOrDesktop());
        return kNoErr;
    }
    if (std::strcmp(script, kDestinationScript) == 0) {
        std::vector<std::string> selection = finder_.selection();
        result = quotedForm(selection.empty() ? frontOrDesktop() : posixPath(selection.front()));
        return kNoErr;
    }
    if (std::strcmp(script, kGetFileListScript) == 0) {
        // A selection of several items does not make one path: the front folder is listed.
        std::vector<std::string> selection = finder_.selection();
        return listFolder(selection.size() == 1 ? posixPath(selection.front()) : frontOrDesktop(),
                          result);
    }
    return kScriptSyntaxErr;
}

} // namespace presto
