#pragma once

#include "platform/SessionEnvironment.h"

#include <string>

typedef struct _GVariant GVariant;
typedef struct _GVariantType GVariantType;

namespace presto {

// Calls `method` of the user's systemd over the session bus (GDBus, loaded at the first call;
// one connection shared by every thread, made again when it closed). Takes `parameters` when
// floating. The reply, or null after any failure; never a bus started on demand.
GVariant* callUserManager(const char* interface, const char* method, GVariant* parameters,
                          const GVariantType* replyType, int timeoutMs);

// The user manager's environment, where logins record their display for what is started later.
class ManagerEnvironment final : public SessionEnvironment {
public:
    std::optional<std::vector<std::string>> read() override;
};

// What the daemon's launcher reads: the manager's environment while the daemon runs as its
// systemd unit (and so got the manager's environment at its start); null otherwise, when the
// daemon's own environment is the session's.
SessionEnvironment* systemdSessionEnvironment();

} // namespace presto
