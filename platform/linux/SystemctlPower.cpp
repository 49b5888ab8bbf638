#include "platform/linux/SystemctlPower.h"

#include "platform/linux/Subprocess.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace presto {
namespace {

std::string findInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        std::size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace

int SystemctlPower::request(Action action) {
    const char* verb = action == Action::Sleep     ? "suspend"
                       : action == Action::Restart ? "reboot"
                                                   : "poweroff";
    std::string systemctl = findInPath("systemctl");
    if (systemctl.empty())
        return ENOENT;
    return subprocess::spawnDetached({systemctl, verb});
}

} // namespace presto
