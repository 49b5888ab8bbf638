#pragma once

#include "platform/SessionPower.h"
#include "platform/Trash.h"

#include <mutex>
#include <string>
#include <vector>

namespace presto::test {

// Records each power request; never touches the session.
class RecordingSessionPower final : public SessionPower {
public:
    int request(Action action) override {
        std::lock_guard lock(mutex_);
        requests_.push_back(action);
        return 0;
    }
    std::vector<Action> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Action> requests_;
};

// Records what would go to the trash and each emptying; touches no file.
class RecordingTrash final : public Trash {
public:
    int moveToTrash(const std::vector<std::string>& paths) override {
        std::lock_guard lock(mutex_);
        trashed_.push_back(paths);
        return 0;
    }
    int emptyTrash() override {
        std::lock_guard lock(mutex_);
        ++emptied_;
        return 0;
    }
    std::vector<std::vector<std::string>> trashed() const {
        std::lock_guard lock(mutex_);
        return trashed_;
    }
    int emptied() const {
        std::lock_guard lock(mutex_);
        return emptied_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::vector<std::string>> trashed_;
    int emptied_ = 0;
};

} // namespace presto::test
