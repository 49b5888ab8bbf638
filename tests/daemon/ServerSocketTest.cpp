#include "daemon/ServerSocket.h"

#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace presto {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

class ServerSocketTest : public ::testing::Test {
protected:
    // A client that has sent its request before the server looks: the kernel queues both.
    int sendEarly(const Bytes& message) {
        int fd = test::connectTo(path);
        EXPECT_GE(fd, 0);
        if (!message.empty()) {
            EXPECT_EQ(::send(fd, message.data(), message.size(), MSG_NOSIGNAL),
                      ssize_t(message.size()));
        }
        return fd;
    }

    test::TempWorld world;
    std::string path = world.locations().socketPath;
};

TEST_F(ServerSocketTest, SocketFileIsPrivateAndTheUmaskIsLeftAsItWas) {
    mode_t before = ::umask(022);
    ServerSocket server(path);
    ASSERT_TRUE(server.prepareSocket());
    EXPECT_EQ(::umask(before), 022u);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ServerSocketTest, OneReceiveOneReplyThenTheConnectionIsClosed) {
    ServerSocket server(path);
    ASSERT_TRUE(server.prepareSocket());
    int client = sendEarly(test::bytesOf("GETVERS"));
    auto got = server.receiveMessage();
    ASSERT_EQ(got.status, ServerSocket::Received::Message);
    ASSERT_EQ(got.length, 7u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(server.buffer()), 8),
              std::string("GETVERS\0", 8));
    EXPECT_EQ(server.sendMessage("NG", 3), 3);
    EXPECT_EQ(test::readToEnd(client), (Bytes{'N', 'G', 0}));
    ::close(client);

    client = sendEarly(test::bytesOf("UPDTDATA"));
    ASSERT_EQ(server.receiveMessage().status, ServerSocket::Received::Message);
    server.releaseSocket();
    EXPECT_EQ(test::readToEnd(client), Bytes{});
    ::close(client);
}

TEST_F(ServerSocketTest, LongRequestIsCutAndTheBufferClearedBetweenRequests) {
    ServerSocket server(path);
    ASSERT_TRUE(server.prepareSocket());
    int client = sendEarly(Bytes(6000, 'x'));
    auto got = server.receiveMessage();
    EXPECT_EQ(got.length, ServerSocket::kBufferSize);
    server.releaseSocket();
    ::close(client);

    client = sendEarly(test::bytesOf("GET"));
    got = server.receiveMessage();
    ASSERT_EQ(got.length, 3u);
    EXPECT_EQ(server.buffer()[3], 0);
    EXPECT_EQ(server.buffer()[ServerSocket::kBufferSize - 1], 0);
    server.releaseSocket();
    ::close(client);
}

TEST_F(ServerSocketTest, SilentClientWaitsAsideAndIsGivenUpAfterTheIdleLimit) {
    ServerSocket server(path, 50ms);
    ASSERT_TRUE(server.prepareSocket());
    int silent = sendEarly({});
    int next = sendEarly(test::bytesOf("GETPREF"));
    auto got = server.receiveMessage();
    EXPECT_EQ(got.status, ServerSocket::Received::Message);
    EXPECT_EQ(got.length, 7u);
    server.releaseSocket();
    EXPECT_EQ(server.receiveMessage().status, ServerSocket::Received::ReceiveFailed);
    EXPECT_EQ(test::readToEnd(silent), Bytes{}) << "closed by the server";
    ::close(silent);
    ::close(next);
}

// Idle connections are left open for as long as the idle limit allows, so a request is answered
// while they all stay open; beyond the limit of silent connections the oldest make room.
TEST_F(ServerSocketTest, IdleConnectionsNeverHoldUpAnotherClientsRequest) {
    ServerSocket server(path, std::chrono::hours(1));
    ASSERT_TRUE(server.prepareSocket());
    std::vector<int> idle;
    for (std::size_t i = 0; i < ServerSocket::kMaxWaiting + 10; ++i)
        idle.push_back(sendEarly({}));
    for (const char* request : {"GETPREF", "GETVERS"}) {
        int client = sendEarly(test::bytesOf(request));
        auto got = server.receiveMessage();
        ASSERT_EQ(got.status, ServerSocket::Received::Message);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(server.buffer())), request);
        EXPECT_EQ(server.sendMessage("NG", 3), 3);
        EXPECT_EQ(test::readToEnd(client), (Bytes{'N', 'G', 0}));
        ::close(client);
    }
    auto isOpen = [](int fd) {
        char byte;
        return ::recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
    };
    // The first client, accepted with the idle ones, took a place among them too.
    for (std::size_t i = 0; i < idle.size(); ++i)
        EXPECT_EQ(isOpen(idle[i]), i >= 11) << i;
    for (int fd : idle)
        ::close(fd);
}

TEST_F(ServerSocketTest, PeerThatLeftMakesTheSendFailWithoutASignal) {
    ServerSocket server(path);
    ASSERT_TRUE(server.prepareSocket());
    int client = sendEarly(test::bytesOf("GETPREF"));
    ::close(client);
    ASSERT_EQ(server.receiveMessage().status, ServerSocket::Received::Message);
    // Default SIGPIPE handling is in force here: a send that raised it would end the test.
    EXPECT_LT(server.sendMessage(Bytes(4800, 1).data(), 4800), 0);
}

TEST_F(ServerSocketTest, StopEndsTheWaitFromAnotherThreadOrBeforeIt) {
    ServerSocket server(path);
    ASSERT_TRUE(server.prepareSocket());
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        server.requestStop();
    });
    EXPECT_EQ(server.receiveMessage().status, ServerSocket::Received::Stopped);
    stopper.join();

    ServerSocket early(path);
    early.requestStop();
    ASSERT_TRUE(early.prepareSocket());
    int client = sendEarly(test::bytesOf("GETVERS"));
    EXPECT_EQ(early.receiveMessage().status, ServerSocket::Received::Stopped);
    ::close(client);
}

TEST_F(ServerSocketTest, SecondServerTakesThePathOverAndKeepsItWhenTheFirstGoes) {
    auto first = std::make_unique<ServerSocket>(path);
    ASSERT_TRUE(first->prepareSocket());
    ServerSocket second(path);
    ASSERT_TRUE(second.prepareSocket());
    first.reset();
    ASSERT_TRUE(std::filesystem::exists(path));
    int client = sendEarly(test::bytesOf("GETVERS"));
    EXPECT_EQ(second.receiveMessage().length, 7u);
    second.releaseSocket();
    ::close(client);
}

TEST_F(ServerSocketTest, UnpreparableSocketSaysWhyAndStaysClosed) {
    ServerSocket server(world.root() + "/no/such/folder/socket");
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(server.prepareSocket());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "ServerSocket::prepareSocket makeSocket failure!\n");
    EXPECT_FALSE(server.isPrepared());
    EXPECT_EQ(server.receiveMessage().status, ServerSocket::Received::AcceptFailed);
}

TEST_F(ServerSocketTest, AcceptFailureClosesTheListenerInsteadOfSpinning) {
    ServerSocket server(path);
    ASSERT_TRUE(server.prepareSocket());
    int client = sendEarly(test::bytesOf("GETVERS"));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 3; // stdin, stdout and stderr: no descriptor is left for accept
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    auto got = server.receiveMessage();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(got.status, ServerSocket::Received::AcceptFailed);
    EXPECT_FALSE(server.isPrepared());
    ::close(client);
    ASSERT_TRUE(server.prepareSocket());
}

// Only root can be another user here; the refusal must hold even where the file would let a
// stranger in.
TEST_F(ServerSocketTest, OtherUsersAreRefusedWithoutAReply) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ServerSocket server(path);
    ASSERT_TRUE(server.prepareSocket());
    ::chmod(world.root().c_str(), 0755);
    ::chmod((world.root() + "/runtime").c_str(), 0755);

    int ready[2], result[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(result), 0);
    pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        // The private socket file keeps a stranger out on its own...
        char verdict = test::connectTo(path) < 0 && errno == EACCES ? 'd' : 'o';
        // ...and a stranger let in by the file is still not answered.
        [[maybe_unused]] ssize_t w = ::write(ready[1], &verdict, 1);
        char go;
        [[maybe_unused]] ssize_t r = ::read(result[0], &go, 1);
        int fd = test::connectTo(path);
        if (fd < 0)
            ::_exit(3);
        ::send(fd, "GETVERS", 7, MSG_NOSIGNAL);
        w = ::write(ready[1], "s", 1);
        auto reply = test::readToEnd(fd);
        // Closed unread: the stranger sees the end or a reset, never a byte of a reply.
        ::_exit(!reply || reply->empty() ? 0 : 4);
    }
    char verdict = 0;
    ASSERT_EQ(::read(ready[0], &verdict, 1), 1);
    EXPECT_EQ(verdict, 'd');
    ::chmod(path.c_str(), 0666);
    ASSERT_EQ(::write(result[1], "g", 1), 1);

    char sent = 0;
    ASSERT_EQ(::read(ready[0], &sent, 1), 1);
    // The stranger's connection, queued first, is dropped inside the wait; ours is received.
    int own = sendEarly(test::bytesOf("GETPREF"));
    auto got = server.receiveMessage();
    EXPECT_EQ(got.length, 7u);
    server.releaseSocket();
    ::close(own);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (int fd : {ready[0], ready[1], result[0], result[1]})
        ::close(fd);
}

} // namespace
} // namespace presto
