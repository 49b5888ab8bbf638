#include "platform/linux/SystemctlPower.h"

#include "common/SearchPath.h"
#include "platform/linux/Subprocess.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace presto {

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
