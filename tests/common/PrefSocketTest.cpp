#include "common/PrefSocket.h"

#include "tests/support/OtherUser.h"
#include "tests/support/TempWorld.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace presto {
namespace {

using namespace std::chrono_literals;
using test::openDescriptorCount;
using test::TempWorld;

// A stand-in for the daemon's end of the socket.
class Listener {
public:
    Listener(const std::string& path, int backlog) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.data(), path.size());
        bound_ = fd_ >= 0 &&
                 ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(fd_, backlog) == 0;
    }
    ~Listener() { close(); }

    bool bound() const { return bound_; }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // The next connection within the wait, or -1.
    int accept(std::chrono::milliseconds wait) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(wait.count())) != 1)
            return -1;
        return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }

    // Everything the peer sent before it closed its end.
    static std::string readToEnd(int connection) {
        std::string received;
        char buffer[256];
        ssize_t n;
        while ((n = ::read(connection, buffer, sizeof buffer)) > 0)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(connection);
        return received;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

long sendText(PrefSocket& socket, const std::string& text) {
    return socket.sendMessage(text.data(), static_cast<long>(text.size()));
}

TEST(PrefSocketWithoutDaemon, ReturnsNoConnectionAndLeavesNoDescriptorOpen) {
    TempWorld world;
    const int before = openDescriptorCount();
    PrefSocket socket(world.locations().socketPath);
    int otherResults = 0;
    for (int i = 0; i < 1000; ++i) {
        if (sendText(socket, kUpdateDataMessage) != PrefSocket::kNoConnection)
            ++otherResults;
    }
    EXPECT_EQ(otherResults, 0);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(PrefSocketWithoutDaemon, SocketFileLeftByADeadDaemonRefusesTheConnection) {
    TempWorld world;
    const std::string path = world.locations().socketPath;
    {
        Listener dead(path, 4);
        ASSERT_TRUE(dead.bound());
    }
    ASSERT_EQ(::access(path.c_str(), F_OK), 0);
    const int before = openDescriptorCount();
    PrefSocket socket(path);
    EXPECT_EQ(sendText(socket, kUpdatePrefMessage), PrefSocket::kNoConnection);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(PrefSocketAddress, LongestPathThatFitsWorksAndOneByteMoreIsRefused) {
    TempWorld world;
    const std::size_t fits = sizeof(sockaddr_un::sun_path) - 1;
    std::string path = world.root() + "/";
    ASSERT_LT(path.size(), fits);
    path.append(fits - path.size(), 's');
    ASSERT_EQ(path.size(), fits);

    Listener daemon(path, 4);
    ASSERT_TRUE(daemon.bound());
    PrefSocket fitting(path);
    EXPECT_EQ(sendText(fitting, kUpdateDataMessage), 8);
    int connection = daemon.accept(30s);
    ASSERT_GE(connection, 0);
    EXPECT_EQ(Listener::readToEnd(connection), "UPDTDATA");

    const int before = openDescriptorCount();
    PrefSocket tooLong(path + "s");
    EXPECT_EQ(sendText(tooLong, kUpdateDataMessage), PrefSocket::kNoConnection);
    PrefSocket empty("");
    EXPECT_EQ(sendText(empty, kUpdateDataMessage), PrefSocket::kNoConnection);
    EXPECT_EQ(openDescriptorCount(), before);
    // The too-long path must not have been cut down to the fitting one.
    EXPECT_EQ(daemon.accept(0ms), -1);
}

TEST(PrefSocketWithDaemon, EachMessageArrivesAloneOnItsOwnConnectionWithoutTerminator) {
    TempWorld world;
    const int before = openDescriptorCount();
    {
        Listener daemon(world.locations().socketPath, 8);
        ASSERT_TRUE(daemon.bound());
        PrefSocket socket(world.locations().socketPath);
        EXPECT_EQ(socket.sendMessage(kUpdateDataMessage, 8), 8);
        EXPECT_EQ(socket.sendMessage(kUpdatePrefMessage, 8), 8);

        int first = daemon.accept(30s);
        ASSERT_GE(first, 0);
        EXPECT_EQ(Listener::readToEnd(first), std::string("UPDTDATA", 8));
        int second = daemon.accept(30s);
        ASSERT_GE(second, 0);
        EXPECT_EQ(Listener::readToEnd(second), std::string("UPDTPREF", 8));
        EXPECT_EQ(daemon.accept(0ms), -1);
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(PrefSocketWithDaemon, ManyMessagesLeaveNoDescriptorOpen) {
    TempWorld world;
    const int before = openDescriptorCount();
    std::atomic<int> received{0};
    {
        Listener daemon(world.locations().socketPath, 16);
        ASSERT_TRUE(daemon.bound());
        std::atomic<bool> stop{false};
        std::thread server([&] {
            while (!stop) {
                int connection = daemon.accept(20ms);
                if (connection >= 0 && Listener::readToEnd(connection) == "UPDTDATA")
                    ++received;
            }
        });
        PrefSocket socket(world.locations().socketPath);
        int failures = 0;
        for (int i = 0; i < 300; ++i) {
            if (sendText(socket, kUpdateDataMessage) != 8)
                ++failures;
        }
        auto deadline = std::chrono::steady_clock::now() + 60s;
        while (received < 300 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        stop = true;
        server.join();
        EXPECT_EQ(failures, 0);
    }
    EXPECT_EQ(received, 300);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(PrefSocketWithDaemon, DaemonThatNeverAcceptsDoesNotHoldTheCallerBeyondTheTimeOut) {
    TempWorld world;
    const int before = openDescriptorCount();
    {
        // Backlog 0: the kernel queues at most one connection, later ones wait for room.
        Listener stuck(world.locations().socketPath, 0);
        ASSERT_TRUE(stuck.bound());
        PrefSocket socket(world.locations().socketPath);

        // Run on another thread so a missing time-out fails the test instead of hanging it;
        // closing the listener releases a caller that is still waiting.
        auto attempts = std::async(std::launch::async, [&] {
            std::vector<std::pair<long, int>> results;
            for (int i = 0; i < 4; ++i) {
                long result = sendText(socket, kUpdateDataMessage);
                results.emplace_back(result, i);
                if (result == PrefSocket::kNoConnection)
                    break;
            }
            return results;
        });
        bool finished = attempts.wait_for(60s) == std::future_status::ready;
        stuck.close();
        auto results = attempts.get();
        ASSERT_TRUE(finished) << "a send waited for a daemon that never accepts";
        ASSERT_FALSE(results.empty());
        EXPECT_EQ(results.back().first, PrefSocket::kNoConnection);
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(PrefSocketWithForeignServer, TalksOnlyToAServerOfItsOwnUser) {
    auto other = test::OtherUser::find();
    if (!other)
        GTEST_SKIP() << test::kNeedsRoot;
    test::ForeignServer server(*other);
    ASSERT_TRUE(server.started());
    const int before = openDescriptorCount();
    PrefSocket socket(server.path());
    EXPECT_EQ(sendText(socket, kUpdateDataMessage), PrefSocket::kNoConnection);
    EXPECT_EQ(sendText(socket, kUpdatePrefMessage), PrefSocket::kNoConnection);
    // Both connections were made and ended: the server has seen all there will be.
    EXPECT_EQ(server.connections(2), (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(openDescriptorCount(), before);
}

} // namespace
} // namespace presto
