#include "tests/capture/FakeDaemon.h"

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace presto::test {

FakeDaemon::FakeDaemon(const std::string& path) {
    listener_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 16) != 0)
        throw std::runtime_error("cannot listen on " + path);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    stopRead_ = UniqueFd(pipeFds[0]);
    stopWrite_ = UniqueFd(pipeFds[1]);
    sync_.interval = 5;
    thread_ = std::thread([this] { serve(); });
}

FakeDaemon::~FakeDaemon() {
    [[maybe_unused]] ssize_t n = ::write(stopWrite_.get(), "x", 1);
    thread_.join();
}

void FakeDaemon::setTable(const std::vector<HotKeyRec>& hotKeys, const std::string& stamp,
                          std::int32_t interval) {
    std::lock_guard lock(mutex_);
    table_ = hotKeys;
    sync_.interval = interval;
    sync_.setTimeStamp(stamp);
}

std::vector<HotKeyRec> FakeDaemon::presses() const {
    std::lock_guard lock(mutex_);
    return presses_;
}

int FakeDaemon::getPrefCount() const {
    std::lock_guard lock(mutex_);
    return getPrefCount_;
}

bool FakeDaemon::waitForPresses(std::size_t count) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return presses_.size() >= count; });
}

void FakeDaemon::serve() {
    for (;;) {
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stopRead_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection)
            continue;
        std::uint8_t request[64] = {};
        ssize_t n = ::recv(connection.get(), request, sizeof request, 0);
        if (n <= 0)
            continue;
        std::vector<std::uint8_t> reply;
        {
            std::lock_guard lock(mutex_);
            if (std::memcmp(request, "GETVERS", 8) == 0) {
                auto bytes = sync_.toBytes();
                reply.assign(bytes.begin(), bytes.end());
            } else if (std::memcmp(request, "GETPREF", 8) == 0) {
                ++getPrefCount_;
                for (const HotKeyRec& rec : table_) {
                    auto bytes = PrefKEXTRec::forHotKey(rec).toBytes();
                    reply.insert(reply.end(), bytes.begin(), bytes.end());
                }
            } else {
                HotKeyRec pressed = HotKeyRec::fromBytes(request);
                presses_.push_back(pressed);
                bool known = false;
                for (const HotKeyRec& rec : table_)
                    known = known || matchesStoredHotKey(rec, pressed);
                if (!known)
                    reply = {'N', 'G', 0};
                changed_.notify_all();
            }
        }
        if (!reply.empty())
            ::send(connection.get(), reply.data(), reply.size(), MSG_NOSIGNAL);
    }
}

} // namespace presto::test
