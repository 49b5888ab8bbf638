#include "tests/assist/AssistTestSupport.h"

#include "common/PreferenceDomain.h"

#include <QThread>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace presto::test {

bool processEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

std::string writeProgram(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
    ::chmod(path.c_str(), 0755);
    return path;
}

std::string fakeConfigurationApp(const std::string& path, const std::string& version,
                                 const std::string& marker) {
    return writeProgram(path, "#!/bin/sh\n# @(#)Presto " + version + "\necho \"$0 $*\" >> '" +
                                  marker + "'\n");
}

FakeDaemon::FakeDaemon(std::string socketPath, std::string assistDomainFile)
    : socketPath_(std::move(socketPath)), domainFile_(std::move(assistDomainFile)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath_.copy(address.sun_path, sizeof address.sun_path - 1);
    ::unlink(socketPath_.c_str());
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0)
        std::abort();
    thread_ = std::thread(&FakeDaemon::serve, this);
}

FakeDaemon::~FakeDaemon() {
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    ::unlink(socketPath_.c_str());
}

void FakeDaemon::serve() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        // What the domain says when the connection is taken.
        PreferenceDomain domain(domainFile_);
        Message message{{}, domain.getBool(kFlagServiceStatus)};
        char buffer[64];
        ssize_t n;
        while ((n = ::read(client, buffer, sizeof buffer)) > 0)
            message.bytes.append(buffer, static_cast<std::size_t>(n));
        ::close(client);
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
}

std::vector<FakeDaemon::Message> FakeDaemon::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

bool FakeDaemon::waitForMessages(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (messages().size() < count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace presto::test
