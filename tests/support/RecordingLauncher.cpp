#include "tests/support/RecordingLauncher.h"

namespace presto::test {

void RecordingLauncher::setResult(int result) {
    std::lock_guard lock(mutex_);
    result_ = result;
}

bool RecordingLauncher::canOpenFiles(const std::string& path) {
    std::lock_guard lock(mutex_);
    return applications_.count(path) > 0;
}

void RecordingLauncher::setApplications(std::set<std::string> paths) {
    std::lock_guard lock(mutex_);
    applications_ = std::move(paths);
}

std::vector<RecordingLauncher::Call> RecordingLauncher::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool RecordingLauncher::waitForCalls(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return calls_.size() >= count; });
}

int RecordingLauncher::record(Kind kind, const std::string& path) {
    int result;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back({kind, path});
        result = result_;
    }
    changed_.notify_all();
    return result;
}

} // namespace presto::test
