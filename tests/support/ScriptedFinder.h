#pragma once

#include "platform/FinderState.h"

#include <mutex>
#include <utility>

namespace presto::test {

// A file manager whose state the test sets; safe to read from other threads.
class ScriptedFinder final : public FinderState {
public:
    void setSelection(std::vector<std::string> paths) {
        std::lock_guard lock(mutex_);
        selection_ = std::move(paths);
    }
    void setFrontWindowFolder(std::optional<std::string> folder) {
        std::lock_guard lock(mutex_);
        front_ = std::move(folder);
    }
    void setDesktopFolder(std::string folder) {
        std::lock_guard lock(mutex_);
        desktop_ = std::move(folder);
    }

    std::vector<std::string> selection() override {
        std::lock_guard lock(mutex_);
        return selection_;
    }
    std::optional<std::string> frontWindowFolder() override {
        std::lock_guard lock(mutex_);
        return front_;
    }
    std::string desktopFolder() override {
        std::lock_guard lock(mutex_);
        return desktop_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> selection_;
    std::optional<std::string> front_;
    std::string desktop_;
};

} // namespace presto::test
