#pragma once

#include "platform/Pasteboard.h"

#include <map>
#include <mutex>
#include <utility>

namespace presto::test {

// A clipboard in memory that records every replaceContents call.
class MemoryPasteboard final : public Pasteboard {
public:
    struct Replacement {
        std::string typeIdentifier;
        std::vector<std::uint8_t> data;
        bool operator==(const Replacement&) const = default;
    };

    bool replaceContents(const std::string& typeIdentifier,
                         const std::vector<std::uint8_t>& data) override {
        std::lock_guard lock(mutex_);
        replacements_.push_back({typeIdentifier, data});
        if (failing_)
            return false;
        items_.clear();
        items_[typeIdentifier] = data;
        return true;
    }

    std::optional<std::vector<std::uint8_t>> contents(const std::string& typeIdentifier) override {
        std::lock_guard lock(mutex_);
        auto it = items_.find(typeIdentifier);
        return it == items_.end() ? std::nullopt : std::optional(it->second);
    }

    // While failing, replaceContents is recorded but changes nothing and returns false.
    void setFailing(bool failing) {
        std::lock_guard lock(mutex_);
        failing_ = failing;
    }
    std::vector<Replacement> replacements() const {
        std::lock_guard lock(mutex_);
        return replacements_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<std::uint8_t>> items_;
    std::vector<Replacement> replacements_;
    bool failing_ = false;
};

} // namespace presto::test
