#include "platform/linux/ProcProcessTable.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace presto {
namespace {

// The scan runs in the resident daemon: descriptors and stack buffers only, so it maps none of
// the runtime's stream or file-system code and leaves no heap behind.

constexpr std::size_t kCommLength = 15;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// As much of the file as fits, or nothing when it cannot be read.
std::string_view readSmallFile(int dirFd, const char* name, char* buffer, std::size_t size) {
    Fd fd(::openat(dirFd, name, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return {};
    std::size_t length = 0;
    while (length < size) {
        ssize_t n = ::read(fd.get(), buffer + length, size - length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        length += static_cast<std::size_t>(n);
    }
    return {buffer, length};
}

// The value after "key:" on one of the lines, leading blanks skipped.
std::string_view fieldOf(std::string_view text, std::string_view key) {
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.starts_with(key)) {
            line.remove_prefix(key.size());
            std::size_t first = line.find_first_not_of(" \t");
            return first == std::string_view::npos ? std::string_view() : line.substr(first);
        }
        start = end + 1;
    }
    return {};
}

// Alive (neither zombie nor dead) and of this real uid.
bool isOwnLiveProcess(int dirFd, uid_t me) {
    // State and Uid come within the first few hundred bytes.
    char buffer[2048];
    std::string_view status = readSmallFile(dirFd, "status", buffer, sizeof buffer);
    std::string_view uidText = fieldOf(status, "Uid:");
    uid_t uid = 0;
    auto parsed = std::from_chars(uidText.data(), uidText.data() + uidText.size(), uid);
    if (uidText.empty() || parsed.ec != std::errc() || uid != me)
        return false;
    std::string_view state = fieldOf(status, "State:");
    bool gone = (state.starts_with('Z') || state.starts_with('X')) &&
                (state.size() == 1 || state[1] == ' ' || state[1] == '\t');
    return !gone;
}

// The executable's path, without the mark of a program replaced on disk while it runs; empty
// when the link cannot be read.
std::string_view executableOf(int dirFd, char (&buffer)[PATH_MAX]) {
    ssize_t n = ::readlinkat(dirFd, "exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer)
        return {};
    std::string_view path(buffer, static_cast<std::size_t>(n));
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted))
        path.remove_suffix(deleted.size());
    return path;
}

bool commMatches(int dirFd, std::string_view wanted) {
    char buffer[64];
    std::string_view comm = readSmallFile(dirFd, "comm", buffer, sizeof buffer);
    comm = comm.substr(0, comm.find('\n'));
    if (comm.empty())
        return false;
    if (comm.size() == kCommLength && wanted.size() > kCommLength)
        return wanted.substr(0, kCommLength) == comm;
    return comm == wanted;
}

} // namespace

ProcProcessTable::ProcProcessTable(std::string procRoot) : procRoot_(std::move(procRoot)) {}

void ProcProcessTable::restrictToExecutable(std::string name, std::string executable) {
    restrictedName_ = std::move(name);
    restrictedExecutable_ = std::move(executable);
}

std::optional<pid_t> ProcProcessTable::findProcessByName(const std::string& name) {
    if (name == "Finder")
        return kFinderProcess;
    if (name.empty())
        return std::nullopt;
    const bool restricted = !restrictedName_.empty() && name == restrictedName_;
    // A running program's link names the file itself, never a symlink to it.
    char resolved[PATH_MAX];
    std::string_view program = restrictedExecutable_;
    if (restricted && ::realpath(restrictedExecutable_.c_str(), resolved))
        program = resolved;
    DIR* dir = ::opendir(procRoot_.c_str());
    if (!dir)
        return std::nullopt;
    const uid_t me = ::getuid();
    std::optional<pid_t> found;
    while (const dirent* entry = ::readdir(dir)) {
        const char* end = entry->d_name + std::strlen(entry->d_name);
        pid_t pid = 0;
        auto [rest, error] = std::from_chars(entry->d_name, end, pid);
        if (error != std::errc() || rest != end || pid <= 0)
            continue;
        // Processes come and go while we look: any file that vanished just skips that one.
        Fd pidDir(::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (pidDir.get() < 0 || !isOwnLiveProcess(pidDir.get(), me))
            continue;
        char exe[PATH_MAX];
        std::string_view path = executableOf(pidDir.get(), exe);
        bool named = path.empty() ? commMatches(pidDir.get(), name)
                                  : path.substr(path.find_last_of('/') + 1) == name;
        // A restricted name is never taken on the comm alone: the program must be known.
        if (named && (!restricted || (!path.empty() && path == program))) {
            found = pid;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool ProcProcessTable::killProcess(pid_t pid) {
    // 0 and negative numbers would signal whole process groups, the Finder's included.
    if (pid <= 0 || pid == kFinderProcess)
        return false;
    return ::kill(pid, SIGTERM) == 0;
}

} // namespace presto
