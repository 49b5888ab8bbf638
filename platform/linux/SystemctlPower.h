#pragma once

#include "platform/SessionPower.h"

namespace presto {

// Sleep, restart and power-off through logind, with `systemctl suspend|reboot|poweroff` found in
// PATH. It runs detached: a polkit question may keep it waiting, and the daemon does not wait.
class SystemctlPower final : public SessionPower {
public:
    int request(Action action) override;
};

} // namespace presto
