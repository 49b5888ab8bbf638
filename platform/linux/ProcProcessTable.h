#pragma once

#include "platform/ProcessTable.h"

#include <string>

namespace presto {

// The processes of this user (by real uid) as /proc lists them. A process is named by the file
// name of its executable; when that link cannot be read, by its comm, which the kernel cuts to
// 15 characters, so a longer name matches a comm of its first 15.
class ProcProcessTable final : public ProcessTable {
public:
    explicit ProcProcessTable(std::string procRoot = "/proc");

    std::optional<pid_t> findProcessByName(const std::string& name) override;
    bool killProcess(pid_t pid) override;

private:
    std::string procRoot_;
};

} // namespace presto
