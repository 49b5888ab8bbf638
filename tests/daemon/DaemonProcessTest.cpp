// The built Presto.daemon, started in a temporary world and driven over its socket as the
// key-capture agent, the configuration application and the assistant drive it.
#include "tests/daemon/DaemonProcess.h"

#include "common/PrefKEXTRec.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/NestedPlist.h"
#include "tests/support/OtherUser.h"
#include "tests/support/TempWorld.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <utility>

extern char** environ;

namespace presto {
namespace {

using test::Bytes;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

class DaemonProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The assistant stays out of these tests: it would be a real tray program.
        test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
            d.setBool(kFlagShowIcon, false);
            d.setInteger(kKindIntervalHotKey, 0);
        });
    }

    std::unique_ptr<test::DaemonProcess> start(const std::string& program = test::builtDaemon()) {
        auto daemon = std::make_unique<test::DaemonProcess>(program);
        EXPECT_TRUE(test::eventually([&] {
            int fd = test::connectTo(loc.socketPath);
            if (fd < 0)
                return false;
            ::close(fd); // an empty request: answered as "GETPREF", harmless
            return true;
        })) << "the daemon did not come up";
        return daemon;
    }

    Bytes ask(const Bytes& message) {
        auto reply = test::request(loc.socketPath, message);
        EXPECT_TRUE(reply.has_value());
        return reply.value_or(Bytes{});
    }

    // A file-manager hot key of a number the catalogue leaves free: pressing it runs nothing
    // (number 1 would put the machine to sleep).
    HotKeyRec finderKey(std::uint32_t keyCode, std::uint32_t modFlags) {
        return test::hotKey(keyCode, modFlags, kKindFinder, 0, 4);
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
};

TEST_F(DaemonProcessTest, EveryFormOfGetPrefGetsTheTableUntilTheServiceIsSwitchedOff) {
    test::writeDataFile(loc, {{finderKey(1, kCommandBit), {}},
                              {finderKey(2, kCommandBit), {}},
                              {finderKey(3, kCommandBit), {}}});
    auto daemon = start();
    Bytes withTrailing = test::bytesOf("GETPREF", true);
    withTrailing.insert(withTrailing.end(), {'z', 'z', 'z'});
    for (const Bytes& form :
         {test::bytesOf("GETPREF"), test::bytesOf("GETPREF", true), withTrailing, Bytes{}})
        EXPECT_EQ(ask(form).size(), 144u) << form.size() << " bytes";

    test::editPreferences(loc, kPrestoAssistDomain,
                          [](PreferenceDomain& d) { d.setBool(kFlagServiceStatus, false); });
    EXPECT_EQ(ask(test::bytesOf("UPDTPREF")), Bytes{});
    EXPECT_EQ(ask(test::bytesOf("GETPREF")), Bytes{});

    struct stat st {};
    ASSERT_EQ(::stat(loc.socketPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(DaemonProcessTest, StampChangesWithADataReloadButNotWithTheHotKeyInterval) {
    auto daemon = start();
    Bytes first = ask(test::bytesOf("GETVERS"));
    ASSERT_EQ(first.size(), 16u);
    EXPECT_EQ(first[0], 5);

    test::editPreferences(loc, kPrestoDomain,
                          [](PreferenceDomain& d) { d.setReal(kValueIntervalHotKey, 0.3); });
    ask(test::bytesOf("UPDTPREF"));
    EXPECT_EQ(ask(test::bytesOf("GETVERS")), first);

    // The stamp counts whole seconds: the reload must fall in a later one to show.
    std::string stamp(reinterpret_cast<const char*>(first.data()) + 4);
    ASSERT_TRUE(test::eventually([&] { return std::to_string(std::time(nullptr)) != stamp; }));
    test::writeDataFile(loc, {{finderKey(1, 0), {}}});
    ask(test::bytesOf("UPDTDATA"));
    Bytes after = ask(test::bytesOf("GETVERS"));
    ASSERT_EQ(after.size(), 16u);
    EXPECT_NE(after, first);
    EXPECT_EQ(ask(test::bytesOf("GETPREF")).size(), 48u);
}

TEST_F(DaemonProcessTest, UnknownKeyGetsNGAndTwoLogLines) {
    auto daemon = start();
    EXPECT_EQ(ask(test::pressOf(test::hotKey(40, kCommandBit | kShiftBit))), (Bytes{'N', 'G', 0}));
    ASSERT_TRUE(
        test::eventually([&] { return daemon->output().find("sndMsg=NG") != std::string::npos; }));
    const std::string& out = daemon->output();
    EXPECT_NE(out.find(" Presto.daemon HotKey not found!! cmd=1 opt=0 ctr=0 sft=1 cap=0 key=40\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" Presto.daemon sndMsg=NG iolen=3\n"), std::string::npos) << out;
}

TEST_F(DaemonProcessTest, NumLockStillFindsTheKeyButShiftMakesAnotherOne) {
    test::writeDataFile(loc, {{finderKey(12, kCommandBit), {}}});
    auto daemon = start();
    EXPECT_EQ(ask(test::pressOf(test::hotKey(12, kCommandBit | kNumericPadBit))), Bytes{});
    EXPECT_EQ(ask(test::pressOf(test::hotKey(12, kCommandBit | kShiftBit))), (Bytes{'N', 'G', 0}));
}

TEST_F(DaemonProcessTest, SecondDaemonTakesThePathOver) {
    test::writeDataFile(loc, {{finderKey(1, 0), {}}});
    auto first = start();
    // The second one's table differs, which tells who answers.
    test::writeDataFile(loc, {{finderKey(1, 0), {}}, {finderKey(2, 0), {}}});
    auto second = std::make_unique<test::DaemonProcess>();
    ASSERT_TRUE(test::eventually([&] {
        auto reply = test::request(loc.socketPath, test::bytesOf("GETPREF"));
        return reply && reply->size() == 96u;
    }));
    EXPECT_EQ(first->stop(), 0);
    EXPECT_TRUE(fs::exists(loc.socketPath));
    EXPECT_EQ(ask(test::bytesOf("GETPREF")).size(), 96u);
}

// The sum over all threads of CPU ticks and context switches: unchanged means nothing woke.
std::pair<long, long> activity(pid_t pid) {
    long ticks = 0, switches = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::string stat = test::readText(task.path().string() + "/stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 15 && fields >> field; ++i)
            if (i == 14 || i == 15)
                ticks += std::stol(field);
        std::istringstream status(test::readText(task.path().string() + "/status"));
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                switches += std::stol(line.substr(line.find(':') + 1));
    }
    return {ticks, switches};
}

TEST_F(DaemonProcessTest, IdleDaemonDoesNotWakeAndSigtermRemovesTheSocket) {
    test::writeDataFile(loc, {{finderKey(1, 0), {}}});
    auto daemon = start();
    ask(test::bytesOf("GETPREF"));
    ask(test::pressOf(finderKey(1, 0)));
    // The work those requests started (the assistant's process scan runs at idle priority) may
    // take a while on a loaded machine: wait until a quiet stretch has been seen.
    auto before = activity(daemon->pid());
    ASSERT_TRUE(test::eventually([&] {
        std::this_thread::sleep_for(300ms);
        auto now = activity(daemon->pid());
        return std::exchange(before, now) == now;
    }));
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(activity(daemon->pid()), before);

    EXPECT_EQ(daemon->stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(loc.socketPath));
}

TEST_F(DaemonProcessTest, SilentOrVanishingClientsDoNotHoldTheDaemonUp) {
    auto daemon = start();
    // While the silent one holds the loop, the others ask and leave: each reply then fails.
    int silent = test::connectTo(loc.socketPath);
    for (int i = 0; i < 5; ++i) {
        int gone = test::connectTo(loc.socketPath);
        ::send(gone, "GETPREF", 7, MSG_NOSIGNAL);
        ::close(gone);
    }
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(test::bytesOf("GETVERS")).size(), 16u);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
    ::close(silent);

    const std::string& out = daemon->output();
    std::size_t failedSends = 0;
    for (auto at = out.find(" Presto.daemon sndMsg=GETPREF iolen=-1\n"); at != std::string::npos;
         at = out.find(" Presto.daemon sndMsg=GETPREF iolen=-1\n", at + 1))
        ++failedSends;
    EXPECT_GE(failedSends, 5u) << out;
}

// Launched programs start in the home folder, wherever the daemon was started.
std::string homeFolder() {
    return fs::canonical(std::getenv("HOME")).string();
}

TEST_F(DaemonProcessTest, ExecutableHotKeyRunsTheProgramInTheHomeFolder) {
    std::string marker = world.path("marker");
    std::string tool = world.root() + "/bin/tool";
    test::writeExecutable(tool, "#!/bin/sh\npwd -P > '" + marker + "'\n");
    HotKeyRec key = test::hotKey(17, kControlBit);
    test::writeDataFile(loc, {{key, {tool}}});
    ASSERT_NE(fs::current_path(), homeFolder());
    auto daemon = start();
    EXPECT_EQ(ask(test::pressOf(key)), Bytes{});
    EXPECT_TRUE(test::eventually([&] { return test::readText(marker) == homeFolder() + "\n"; }))
        << test::readText(marker);
}

TEST_F(DaemonProcessTest, DocumentHotKeyOpensInTheDefaultApplicationInTheHomeFolder) {
    std::string marker = world.path("opened");
    std::string viewer = world.root() + "/bin/viewer";
    test::writeExecutable(viewer,
                          "#!/bin/sh\nprintf '%s %s' \"$1\" \"$(pwd -P)\" > '" + marker + "'\n");
    world.writeFile("data/applications/presto-test-viewer.desktop",
                    "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + viewer +
                        " %f\nMimeType=text/plain;\n");
    world.writeFile("config/mimeapps.list",
                    "[Default Applications]\ntext/plain=presto-test-viewer.desktop\n");
    std::string note = world.writeFile("docs/note.txt", "hello\n");
    HotKeyRec key = test::hotKey(18, kControlBit);
    test::writeDataFile(loc, {{key, {note}}});
    auto daemon = start();
    EXPECT_EQ(ask(test::pressOf(key)), Bytes{});
    EXPECT_TRUE(test::eventually([&] {
        return test::readText(marker) == note + " " + homeFolder();
    })) << test::readText(marker);
}

TEST_F(DaemonProcessTest, EndsOnlyTheAssistantBesideItNotAnotherOfTheSameName) {
    // Both are copies of one program: only where the running file lies tells them apart.
    const std::string sleepProgram = fs::exists("/bin/sleep") ? "/bin/sleep" : "/usr/bin/sleep";
    const std::string installed = world.path("installed"), elsewhere = world.path("elsewhere");
    fs::create_directories(installed);
    fs::create_directories(elsewhere);
    fs::copy_file(test::builtDaemon(), installed + "/Presto.daemon");
    fs::copy_file(sleepProgram, installed + "/PrestoAssist");
    fs::copy_file(sleepProgram, elsewhere + "/PrestoAssist");
    auto run = [](const std::string& program) {
        char seconds[] = "60";
        std::string arg0 = program;
        char* argv[] = {arg0.data(), seconds, nullptr};
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
        return pid;
    };
    // Started first, the other one comes first in /proc: a lookup by name alone would end it.
    const pid_t other = run(elsewhere + "/PrestoAssist");
    const pid_t own = run(installed + "/PrestoAssist");
    auto ended = [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; };

    auto daemon = start(installed + "/Presto.daemon");
    ask(test::bytesOf("GETPREF"));
    EXPECT_TRUE(test::eventually([&] { return ended(own); }));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(ended(other));

    ::kill(own, SIGKILL);
    ::kill(other, SIGKILL);
    ::waitpid(own, nullptr, 0);
    ::waitpid(other, nullptr, 0);
}

// Starts the built daemon with changes to the test's environment; nullopt values unset.
using EnvChanges = std::vector<std::pair<const char*, std::optional<std::string>>>;
pid_t spawnDaemon(const EnvChanges& env, int out, int err) {
    pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [name, value] : env)
            value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
        if (out >= 0)
            ::dup2(out, STDOUT_FILENO);
        if (err >= 0)
            ::dup2(err, STDERR_FILENO);
        const std::string program = test::builtDaemon();
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

struct Ended {
    int status = -1; // -1: killed after the ceiling, or by a signal
    std::string errors;
};

// Runs the daemon until it ends by itself (a generous ceiling, then it is killed).
Ended runToEnd(const EnvChanges& env) {
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0)
        return {};
    pid_t pid = spawnDaemon(env, -1, err[1]);
    ::close(err[1]);
    Ended ended;
    char chunk[4096];
    for (;;) {
        pollfd wait{err[0], POLLIN, 0};
        if (::poll(&wait, 1, 60'000) != 1) {
            ::kill(pid, SIGKILL);
            break;
        }
        ssize_t n = ::read(err[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        ended.errors.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        ended.status = WEXITSTATUS(status);
    return ended;
}

TEST_F(DaemonProcessTest, RefusesFallbackFoldersAnotherUserCouldHaveMadeFirst) {
    // No variable names a folder: the fallbacks lie under TMPDIR, the test's own.
    const std::string tmp = world.root() + "/tmp";
    const EnvChanges env = {{"TMPDIR", tmp},
                            {"HOME", std::nullopt},
                            {"XDG_DATA_HOME", std::nullopt},
                            {"XDG_CONFIG_HOME", std::nullopt},
                            {"XDG_RUNTIME_DIR", std::nullopt}};
    const std::string runtime = tmp + "/Presto-" + std::to_string(::getuid());
    const std::string data = tmp + "/Presto";
    auto other = test::OtherUser::find();
    struct Case {
        std::string folder;
        mode_t mode;
        bool foreign;
    };
    std::vector<Case> cases = {{runtime, 0777, false}, {data, 0777, false}, {data, 0755, false}};
    if (other) {
        cases.push_back({runtime, 0700, true});
        cases.push_back({data, 0700, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder +
                     (c.foreign ? " of another user" : " mode " + std::to_string(c.mode)));
        fs::remove_all(tmp);
        fs::create_directories(c.folder);
        ASSERT_EQ(::chmod(c.folder.c_str(), c.mode), 0);
        if (c.foreign) {
            ASSERT_EQ(::chown(c.folder.c_str(), other->uid, other->gid), 0);
        }
        Ended ended = runToEnd(env);
        EXPECT_EQ(ended.status, 1);
        EXPECT_NE(ended.errors.find("Presto.daemon: refusing the folder " + c.folder + ": "),
                  std::string::npos)
            << ended.errors;
        struct stat info {};
        ASSERT_EQ(::stat(c.folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.mode) << "refused, never changed";
    }
    if (!other)
        GTEST_SKIP() << "folders of another owner: " << test::kNeedsRoot;
}

TEST_F(DaemonProcessTest, APreferenceFileNestedTooDeepIsDamagedAtStartAndOnReload) {
    world.writeFile("config/Presto/com.nimbo.Presto.plist", test::nestedPlist(175'000));
    // Only the sync record is asked for: a table request would start the assistant, as the
    // damaged file no longer hides its icon.
    auto interval = [&] {
        auto sync = test::request(loc.socketPath, test::bytesOf("GETVERS"));
        return sync && sync->size() == 16 ? PrefKEXTSyncRec::fromBytes(sync->data()).interval : -1;
    };
    test::DaemonProcess daemon;
    ASSERT_TRUE(test::eventually([&] { return interval() != -1; })) << daemon.output();
    EXPECT_EQ(interval(), 5) << "the file's 9 is not taken";
    test::editPreferences(loc, kPrestoDomain,
                          [](PreferenceDomain& d) { d.setInteger(kValueIntervalKEXT, 7); });
    ask(test::bytesOf("UPDTPREF"));
    EXPECT_EQ(interval(), 7);
    world.writeFile("config/Presto/com.nimbo.Presto.plist", test::nestedPlist(175'000, true, 8));
    ask(test::bytesOf("UPDTPREF"));
    // A missing value keeps the last one read; the file's 8 is not taken.
    EXPECT_EQ(interval(), 7);
}

TEST_F(DaemonProcessTest, AnUnreadStandardOutputNeverHoldsTheLoop) {
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    // The smallest pipe: a few dozen log lines fill it.
    ::fcntl(out[0], F_SETPIPE_SZ, 4096);
    const pid_t pid = spawnDaemon({}, out[1], -1);
    ::close(out[1]);
    ASSERT_TRUE(test::eventually([&] {
        auto sync = test::request(loc.socketPath, test::bytesOf("GETVERS"));
        return sync && sync->size() == 16;
    }));
    // Two log lines each: far more than the pipe holds while nobody reads it.
    const Bytes unknown = test::pressOf(test::hotKey(40, kCommandBit));
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(test::request(loc.socketPath, unknown), (Bytes{'N', 'G', 0})) << "press " << i;
    EXPECT_EQ(ask(test::bytesOf("GETVERS")).size(), 16u);

    // Once the pipe is read again, the count of what was lost comes first.
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    std::string log;
    auto drain = [&] {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(out[0], chunk, sizeof chunk)) > 0)
            log.append(chunk, static_cast<std::size_t>(n));
    };
    drain();
    ASSERT_EQ(test::request(loc.socketPath, unknown), (Bytes{'N', 'G', 0}));
    EXPECT_TRUE(test::eventually([&] {
        drain();
        return log.find(" log lines dropped: standard output was not read\n") != std::string::npos;
    })) << log;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(out[0]);
}

// Whatever the built daemon runs under the tests looks systemctl up on PATH: the first one must
// be the guard, which refuses to end the session. Only the guard itself is ever run here.
TEST(SessionGuard, TheFirstSystemctlOnPathRefusesToSuspendOrPowerOff) {
    std::istringstream folders(std::getenv("PATH") ? std::getenv("PATH") : "");
    std::string folder, first;
    while (first.empty() && std::getline(folders, folder, ':'))
        if (!folder.empty() && ::access((folder + "/systemctl").c_str(), X_OK) == 0)
            first = folder + "/systemctl";
    const std::string text = test::readText(first);
    ASSERT_NE(text.find("refused while testing"), std::string::npos)
        << first << " is not the guard; not running it";
    for (const char* verb : {"suspend", "reboot", "poweroff"}) {
        const std::string command = "'" + first + "' " + verb + " 2>/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << verb;
    }
}

} // namespace
} // namespace presto
