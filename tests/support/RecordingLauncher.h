#pragma once

#include "platform/Launcher.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace presto::test {

// Records every call, in order, from any thread; starts nothing.
class RecordingLauncher final : public Launcher {
public:
    enum class Kind { OpenItem, OpenSelectionWith };
    struct Call {
        Kind kind;
        std::string path;
        bool operator==(const Call&) const = default;
    };

    int openItem(const std::string& path) override { return record(Kind::OpenItem, path); }
    int openSelectionWith(const std::string& appPath) override {
        return record(Kind::OpenSelectionWith, appPath);
    }

    bool canOpenFiles(const std::string& path) override;

    // What every following call returns.
    void setResult(int result);
    // The items that count as applications taking files; nothing else does.
    void setApplications(std::set<std::string> paths);
    std::vector<Call> calls() const;
    // True once at least `count` calls have been made; false when the time-out passed first.
    bool waitForCalls(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    int record(Kind kind, const std::string& path);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Call> calls_;
    std::set<std::string> applications_;
    int result_ = 0;
};

} // namespace presto::test
