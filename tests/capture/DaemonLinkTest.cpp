#include "capture/DaemonLink.h"

#include "tests/support/OtherUser.h"
#include "tests/support/TempWorld.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace presto {
namespace {

using namespace std::chrono_literals;

// A daemon stand-in that serves exactly one connection: it records the request and answers with
// the given bytes, or holds the connection open without answering for a while.
class OneShotDaemon {
public:
    OneShotDaemon(const std::string& path, std::vector<std::uint8_t> reply,
                  std::chrono::milliseconds silence = 0ms)
        : reply_(std::move(reply)), silence_(silence) {
        listener_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::unlink(path.c_str());
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_.get(), 4) != 0)
            throw std::runtime_error("cannot listen");
        thread_ = std::thread([this] { serve(); });
    }
    ~OneShotDaemon() { thread_.join(); }

    // What arrived, once the connection is over.
    std::vector<std::uint8_t> request() {
        thread_.join();
        thread_ = std::thread([] {});
        return request_;
    }

private:
    void serve() {
        UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        std::uint8_t buffer[4800];
        ssize_t n = ::recv(connection.get(), buffer, sizeof buffer, 0);
        if (n > 0)
            request_.assign(buffer, buffer + n);
        std::this_thread::sleep_for(silence_);
        if (!reply_.empty())
            ::send(connection.get(), reply_.data(), reply_.size(), MSG_NOSIGNAL);
    }

    UniqueFd listener_;
    std::vector<std::uint8_t> reply_;
    std::chrono::milliseconds silence_;
    std::vector<std::uint8_t> request_;
    std::thread thread_;
};

std::vector<std::uint8_t> bytesOf(const char* text, std::size_t size) {
    return std::vector<std::uint8_t>(text, text + size);
}

class DaemonLinkTest : public ::testing::Test {
protected:
    test::TempWorld world;
    std::string socketPath = world.locations().socketPath;
    DaemonLink link{socketPath, 300ms};
};

TEST_F(DaemonLinkTest, GetVersionAsksWithTheKeywordAndReadsTheSyncRecord) {
    PrefKEXTSyncRec sync;
    sync.interval = 5;
    sync.setTimeStamp("1765141234");
    auto wire = sync.toBytes();
    OneShotDaemon daemon(socketPath, {wire.begin(), wire.end()});
    auto got = link.getVersion();
    EXPECT_EQ(daemon.request(), bytesOf("GETVERS", 8));
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, sync);
}

TEST_F(DaemonLinkTest, AShortSyncRecordIsNoAnswer) {
    OneShotDaemon daemon(socketPath, std::vector<std::uint8_t>(15, '1'));
    EXPECT_FALSE(link.getVersion());
}

TEST_F(DaemonLinkTest, GetPrefReadsAWholeTableAndAnEmptyOne) {
    std::vector<std::uint8_t> table(DaemonLink::kMaxTableBytes);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint8_t>(i * 7);
    {
        OneShotDaemon daemon(socketPath, table);
        auto got = link.getPref();
        EXPECT_EQ(daemon.request(), bytesOf("GETPREF", 8));
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, table);
    }
    {
        OneShotDaemon daemon(socketPath, {});
        auto got = link.getPref();
        ASSERT_TRUE(got) << "an empty table is an answer: no hot key is active";
        EXPECT_TRUE(got->empty());
    }
}

TEST_F(DaemonLinkTest, NoDaemonIsNoAnswer) {
    EXPECT_FALSE(link.getVersion());
    EXPECT_FALSE(link.getPref());
    EXPECT_FALSE(link.sendHotKey(HotKeyRec{}));
    EXPECT_FALSE(DaemonLink("", 300ms).getVersion());
    EXPECT_FALSE(DaemonLink(std::string(200, 'x'), 300ms).getVersion());
}

TEST_F(DaemonLinkTest, ASilentDaemonIsNoAnswerAfterTheTimeOut) {
    OneShotDaemon daemon(socketPath, std::vector<std::uint8_t>(16, '1'), 2000ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.getVersion());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
}

// A daemon stand-in that takes connections into its queue and never accepts them.
class DeafDaemon {
public:
    explicit DeafDaemon(const std::string& path)
        : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_.get(), 16) != 0)
            throw std::runtime_error("cannot listen");
    }
    int fd() const { return fd_.get(); }

private:
    UniqueFd fd_;
};

// Runs a request on another thread, so that one that never ends fails the test instead of
// hanging it.
template <typename Request> auto finishes(Request request) {
    auto result = std::async(std::launch::async, request);
    if (result.wait_for(60s) != std::future_status::ready)
        ADD_FAILURE() << "the request did not end";
    return result;
}

TEST_F(DaemonLinkTest, ADaemonThatTricklesItsReplyIsCutOffAtTheDeadline) {
    DeafDaemon daemon(socketPath);
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        UniqueFd connection(::accept4(daemon.fd(), nullptr, nullptr, SOCK_CLOEXEC));
        // A byte at a time, each well within any per-read time-out, never closing.
        while (!done && ::send(connection.get(), "x", 1, MSG_NOSIGNAL) == 1)
            std::this_thread::sleep_for(20ms);
    });
    auto reply = finishes([&] { return link.getPref(); });
    done = true;
    EXPECT_FALSE(reply.get());
    trickle.join();
}

TEST_F(DaemonLinkTest, TheCancelDescriptorEndsAWaitingRequestAtOnce) {
    DeafDaemon daemon(socketPath);
    int stop[2];
    ASSERT_EQ(::pipe2(stop, O_CLOEXEC), 0);
    UniqueFd readEnd(stop[0]), writeEnd(stop[1]);
    // Nothing but the cancel descriptor can end these in time: the deadline is far away.
    DaemonLink patient(socketPath, std::chrono::hours(1), readEnd.get());
    ASSERT_EQ(::write(writeEnd.get(), "s", 1), 1);
    EXPECT_FALSE(finishes([&] { return patient.getVersion(); }).get());
    EXPECT_FALSE(finishes([&] { return patient.getPref(); }).get());
}

TEST_F(DaemonLinkTest, TheIntervalIsClampedToOneSecondToOneHour) {
    for (auto [sent, taken] : {std::pair{0x7fffffff, 3600}, std::pair{3601, 3600}, std::pair{0, 1},
                               std::pair{-7, 1}, std::pair{17, 17}}) {
        PrefKEXTSyncRec sync;
        sync.interval = sent;
        sync.setTimeStamp("1765141234");
        auto wire = sync.toBytes();
        OneShotDaemon daemon(socketPath, {wire.begin(), wire.end()});
        auto got = link.getVersion();
        ASSERT_TRUE(got);
        EXPECT_EQ(got->interval, taken) << "sent " << sent;
        EXPECT_EQ(got->timeStampText(), "1765141234");
    }
}

TEST(DaemonLinkWithForeignServer, TalksOnlyToAServerOfItsOwnUser) {
    auto other = test::OtherUser::find();
    if (!other)
        GTEST_SKIP() << test::kNeedsRoot;
    test::ForeignServer server(*other);
    ASSERT_TRUE(server.started());
    DaemonLink link(server.path());
    EXPECT_FALSE(link.getVersion());
    EXPECT_FALSE(link.getPref());
    HotKeyRec press{kKeyDownEventType, kCommandBit, 0, 'a', 'a', kKindLaunch, 0, 0, 0};
    EXPECT_FALSE(link.sendHotKey(press));
    // Every connection ended without a byte: no press, no request reached the other user.
    EXPECT_EQ(server.connections(3), (std::vector<std::uint32_t>{0, 0, 0}));
}

TEST_F(DaemonLinkTest, APressGoesOutAsTheRecordAndNgIsRecognised) {
    HotKeyRec press{
        kKeyDownEventType, kCommandBit | kNumericPadBit, 0, 'a', 'a', kKindLaunch, 0, 0, 0};
    auto wire = press.toBytes();
    {
        OneShotDaemon daemon(socketPath, {'N', 'G', 0});
        UniqueFd fd = link.sendHotKey(press);
        ASSERT_TRUE(fd);
        EXPECT_EQ(daemon.request(), std::vector<std::uint8_t>(wire.begin(), wire.end()));
        EXPECT_TRUE(DaemonLink::isNotFoundReply(fd.get()));
    }
    {
        OneShotDaemon daemon(socketPath, {});
        UniqueFd fd = link.sendHotKey(press);
        ASSERT_TRUE(fd);
        daemon.request(); // the daemon has closed without a word: it knew the key
        EXPECT_FALSE(DaemonLink::isNotFoundReply(fd.get()));
    }
}

TEST_F(DaemonLinkTest, NoDescriptorIsLeftOpen) {
    const int before = test::openDescriptorCount();
    for (int i = 0; i < 3; ++i) {
        OneShotDaemon daemon(socketPath, std::vector<std::uint8_t>(16, '1'));
        link.getVersion();
    }
    link.getPref();
    EXPECT_EQ(test::openDescriptorCount(), before);
}

} // namespace
} // namespace presto
