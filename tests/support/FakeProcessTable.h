#pragma once

#include "platform/ProcessTable.h"

#include <map>
#include <mutex>
#include <vector>

namespace presto::test {

// A process table the test fills. It starts with "Finder", which is always there; a killed
// process leaves the table, and every kill is recorded.
class FakeProcessTable final : public ProcessTable {
public:
    void addProcess(const std::string& name, pid_t pid) {
        std::lock_guard lock(mutex_);
        processes_[name] = pid;
    }

    std::optional<pid_t> findProcessByName(const std::string& name) override {
        std::lock_guard lock(mutex_);
        auto it = processes_.find(name);
        return it == processes_.end() ? std::nullopt : std::optional<pid_t>(it->second);
    }

    bool killProcess(pid_t pid) override {
        std::lock_guard lock(mutex_);
        kills_.push_back(pid);
        return std::erase_if(processes_, [&](const auto& entry) { return entry.second == pid; }) >
               0;
    }

    std::vector<pid_t> kills() const {
        std::lock_guard lock(mutex_);
        return kills_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, pid_t> processes_{{"Finder", kFinderProcess}};
    std::vector<pid_t> kills_;
};

} // namespace presto::test
