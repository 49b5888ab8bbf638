#include "daemon/Daemon.h"
#include "daemon/ServerSocket.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/MemoryPasteboard.h"
#include "tests/support/RecordingLauncher.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>

namespace presto {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

class NoAssistant final : public AssistantControl {
public:
    void apply(bool) override {}
};

// The loop in a thread of the test, over a real socket in a temporary folder.
class DaemonLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeDataFile(loc, {{test::hotKey(1, kCommandBit, kKindFinder, 0, 1), {}}});
        daemon = std::make_unique<Daemon>(loc, actions, assistant, clock);
        ASSERT_TRUE(server.prepareSocket());
        exitCode = std::async(std::launch::async, [this] { return daemon->run(server); });
    }
    void TearDown() override {
        if (exitCode.valid()) {
            server.requestStop();
            exitCode.wait();
        }
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
    test::RecordingLauncher launcher;
    test::ScriptedFinder finder;
    test::FakeProcessTable processes;
    test::MemoryPasteboard pasteboard;
    SystemClock clock;
    NoAssistant assistant;
    LaunchActions actions{launcher, finder, processes, pasteboard,
                          FileReferences(loc.referencesDir())};
    std::unique_ptr<Daemon> daemon;
    ServerSocket server{loc.socketPath};
    std::future<int> exitCode;
};

TEST_F(DaemonLoopTest, ServesEachRequestAndEndsCleanlyWhenAskedTo) {
    EXPECT_EQ(test::request(loc.socketPath, test::bytesOf("GETPREF"))->size(), 48u);
    EXPECT_EQ(test::request(loc.socketPath, test::bytesOf("GETVERS"))->size(), 16u);
    EXPECT_EQ(test::request(loc.socketPath, test::bytesOf("UPDTPREF")), Bytes{});
    EXPECT_EQ(test::request(loc.socketPath, test::pressOf(test::hotKey(1, kCommandBit))), Bytes{});
    server.requestStop();
    ASSERT_EQ(exitCode.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(exitCode.get(), 0);
}

TEST_F(DaemonLoopTest, LostListenerIsPreparedAgainAfterAPause) {
    // A silent client is connected while no descriptor is left for the next accept.
    const int descriptors = test::openDescriptorCount();
    int silent = test::connectTo(loc.socketPath);
    ASSERT_TRUE(test::eventually([&] { return test::openDescriptorCount() == descriptors + 2; }));
    int queued = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(queued, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    loc.socketPath.copy(addr.sun_path, sizeof addr.sun_path - 1);
    timeval timeout{5, 0};
    ::setsockopt(queued, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 3; // stdin, stdout and stderr
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    int connected = ::connect(queued, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::send(queued, "GETVERS", 7, MSG_NOSIGNAL);
    // The queued connection goes down with the listener that could not accept it.
    auto lost = test::readToEnd(queued);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_EQ(connected, 0);
    EXPECT_TRUE(!lost || lost->empty());
    ::close(queued);
    ::close(silent);

    std::optional<Bytes> reply;
    EXPECT_TRUE(test::eventually([&] {
        reply = test::request(loc.socketPath, test::bytesOf("GETVERS"));
        return reply.has_value();
    }));
    EXPECT_EQ(reply->size(), 16u);
    EXPECT_EQ(exitCode.wait_for(0s), std::future_status::timeout);
}

} // namespace
} // namespace presto
