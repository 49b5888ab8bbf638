#include "platform/linux/ProcProcessTable.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace presto {
namespace {

constexpr std::size_t kCommLength = 15;

struct Status {
    uid_t realUid = static_cast<uid_t>(-1);
    bool zombie = false;
};

std::optional<Status> readStatus(const fs::path& dir) {
    std::ifstream in(dir / "status");
    if (!in)
        return std::nullopt;
    Status status;
    bool haveUid = false;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "Uid:") {
            haveUid = static_cast<bool>(fields >> status.realUid);
        } else if (key == "State:") {
            std::string state;
            fields >> state;
            status.zombie = state == "Z" || state == "X";
        }
    }
    return haveUid ? std::optional<Status>(status) : std::nullopt;
}

bool nameMatches(const fs::path& dir, const std::string& wanted) {
    std::error_code ec;
    fs::path exe = fs::read_symlink(dir / "exe", ec);
    if (!ec) {
        std::string name = exe.filename().string();
        // A program replaced on disk while it runs still counts under its name.
        constexpr std::string_view deleted = " (deleted)";
        if (name.ends_with(deleted))
            name.erase(name.size() - deleted.size());
        return name == wanted;
    }
    std::ifstream in(dir / "comm");
    std::string comm;
    if (!std::getline(in, comm) || comm.empty())
        return false;
    if (comm.size() == kCommLength && wanted.size() > kCommLength)
        return wanted.compare(0, kCommLength, comm) == 0;
    return comm == wanted;
}

} // namespace

ProcProcessTable::ProcProcessTable(std::string procRoot) : procRoot_(std::move(procRoot)) {}

std::optional<pid_t> ProcProcessTable::findProcessByName(const std::string& name) {
    if (name == "Finder")
        return kFinderProcess;
    if (name.empty())
        return std::nullopt;
    const uid_t me = getuid();
    std::error_code ec;
    for (fs::directory_iterator it(procRoot_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        pid_t pid = 0;
        auto [rest, error] = std::from_chars(entry.data(), entry.data() + entry.size(), pid);
        if (error != std::errc() || rest != entry.data() + entry.size() || pid <= 0)
            continue;
        // Processes come and go while we look: any file that vanished just skips that one.
        std::optional<Status> status = readStatus(it->path());
        if (!status || status->realUid != me || status->zombie)
            continue;
        if (nameMatches(it->path(), name))
            return pid;
    }
    return std::nullopt;
}

bool ProcProcessTable::killProcess(pid_t pid) {
    // 0 and negative numbers would signal whole process groups, the Finder's included.
    if (pid <= 0 || pid == kFinderProcess)
        return false;
    return kill(pid, SIGTERM) == 0;
}

} // namespace presto
