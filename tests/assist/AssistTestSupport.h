#pragma once

#include "assist/AssistServices.h"
#include "tests/support/QtTestApplication.h"

#include <QApplication>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace presto::test {

// Runs the event loop until the condition holds or the (generous) time is up.
bool processEventsUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Writes an executable file (parent folders made) and returns its path.
std::string writeProgram(const std::string& path, const std::string& text);

// A stand-in for the configuration application: a script carrying the version mark of
// `version` that appends a line to `marker` whenever it runs.
std::string fakeConfigurationApp(const std::string& path, const std::string& version,
                                 const std::string& marker);

class FakeTray final : public TrayProbe {
public:
    bool isAvailable() const override { return available; }
    bool leftClickOpensApplication() const override { return leftClickOpens; }
    void change(bool nowAvailable) {
        available = nowAvailable;
        emit mayHaveChanged();
    }

    bool available = true;
    bool leftClickOpens = false;
};

class RecordingOpener final : public ApplicationOpener {
public:
    int open(const std::string& path) override {
        opened.push_back(path);
        return 0;
    }
    int openPreferences(const std::string& path) override {
        preferences.push_back(path);
        return 0;
    }

    std::vector<std::string> opened;
    std::vector<std::string> preferences;
};

// A daemon socket that takes one message per connection and notes, for each, what the
// assistant's domain said about the service at the moment the message arrived.
class FakeDaemon {
public:
    struct Message {
        std::string bytes;
        std::optional<bool> serviceStatus;
    };

    FakeDaemon(std::string socketPath, std::string assistDomainFile);
    ~FakeDaemon();
    FakeDaemon(const FakeDaemon&) = delete;
    FakeDaemon& operator=(const FakeDaemon&) = delete;

    std::vector<Message> messages() const;
    bool waitForMessages(std::size_t count) const;

private:
    void serve();

    std::string socketPath_;
    std::string domainFile_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::thread thread_;
};

} // namespace presto::test
