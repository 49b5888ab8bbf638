// The built Presto.daemon carrying out file-manager functions in a temporary world, with fake
// xclip, zenity and systemctl first on PATH and private buses: nothing reaches the real
// clipboard, screen or session.
#include "tests/daemon/DaemonProcess.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SessionStandIns.h"
#include "tests/support/TempWorld.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace presto {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

// A write lease on a file: whoever opens it then waits until the lease is given back (or for
// /proc/sys/fs/lease-break-time), and the holder sees when that begins.
class Lease {
public:
    explicit Lease(const std::string& path)
        : previous_(std::signal(SIGIO, SIG_IGN)), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        held_ = fd_ >= 0 && ::fcntl(fd_, F_SETLEASE, F_WRLCK) == 0;
    }
    ~Lease() {
        release();
        ::close(fd_);
        std::signal(SIGIO, previous_);
    }
    bool held() const { return held_; }
    bool opened() const { return ::fcntl(fd_, F_GETLEASE) != F_WRLCK; }
    void release() { ::fcntl(fd_, F_SETLEASE, F_UNLCK); }

private:
    void (*previous_)(int);
    int fd_;
    bool held_ = false;
};

class FinderProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
            d.setBool(kFlagShowIcon, false);
            d.setInteger(kKindIntervalHotKey, 0);
        });
        const std::string log = world.path("log");
        // xclip: a writer stores its stdin, a reader serves the offered URI list.
        tool("xclip", "for a; do [ \"$a\" = -o ] && exec cat '" + world.path("offered") +
                          "'; done\nexec cat > '" + world.path("clipboard") + "'\n");
        // zenity: every dialog is logged and answered OK; a progress notice waits to be ended.
        tool("zenity", "printf '%s\\n' \"$*\" >> '" + log +
                           "'\ncase \"$1\" in --progress) exec cat > /dev/null;; esac\nexit 0\n");
        tool("systemctl", "printf '%s\\n' \"$*\" > '" + world.path("systemctl") + "'\n");
    }

    void tool(const std::string& name, const std::string& body) {
        test::writeExecutable(world.root() + "/bin/" + name, "#!/bin/sh\n" + body);
    }

    void finderState(const std::string& front, const std::vector<std::string>& selected) {
        std::string text = front + "\n";
        for (const std::string& path : selected)
            text += path + "\n";
        fs::create_directories(loc.runtimeDir);
        fs::permissions(loc.runtimeDir, fs::perms::owner_all);
        std::string file = world.writeFile("runtime/Presto/finder", text);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    }

    std::unique_ptr<test::DaemonProcess> start(const std::vector<HotKeyRec>& keys) {
        std::vector<DataFileEntry> entries;
        for (const HotKeyRec& key : keys)
            entries.push_back({key, {}});
        test::writeDataFile(loc, entries);
        auto daemon = std::make_unique<test::DaemonProcess>();
        EXPECT_TRUE(test::eventually([&] {
            int fd = test::connectTo(loc.socketPath);
            if (fd < 0)
                return false;
            ::close(fd);
            return true;
        })) << "the daemon did not come up";
        return daemon;
    }

    void press(const HotKeyRec& key) {
        EXPECT_EQ(test::request(loc.socketPath, test::pressOf(key)), Bytes{});
    }

    static HotKeyRec functionKey(std::uint32_t keyCode, std::uint8_t number) {
        return test::hotKey(keyCode, kControlBit, kKindFinder, 0, number);
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
    test::ScopedEnv path{"PATH", world.root() + "/bin:" + std::string(std::getenv("PATH"))};
    test::ScopedEnv display{"DISPLAY", ":presto-test"};
    test::ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
};

TEST_F(FinderProcessTest, GetPathPutsTheQuotedPathsOnTheClipboard) {
    std::string file = world.writeFile("work/it's.txt", "x");
    std::string dir = world.path("work/My Dir");
    fs::create_directories(dir);
    finderState(world.path("work"), {file, dir});
    HotKeyRec key = functionKey(5, 23);
    auto daemon = start({key});
    press(key);
    const std::string expected = "'" + world.root() + "/work/it'\\''s.txt'\r'" + dir + "/'\r";
    EXPECT_TRUE(test::eventually([&] {
        return test::readText(world.path("clipboard")) == expected;
    })) << test::readText(world.path("clipboard"));
}

TEST_F(FinderProcessTest, CopyToCopiesTheClipboardFileIntoTheSelectedFolder) {
    std::string source = world.writeFile("src/report.txt", "new");
    std::string dest = world.path("dest");
    world.writeFile("dest/report.txt", "old");
    world.writeFile("offered", "file://" + source + "\r\n");
    finderState("", {dest});
    HotKeyRec key = functionKey(6, 25);
    auto daemon = start({key});
    press(key);
    EXPECT_TRUE(test::eventually([&] { return test::readText(dest + "/report.txt") == "new"; }));
    const std::string log = test::readText(world.path("log"));
    EXPECT_NE(log.find("--question"), std::string::npos) << log;
    EXPECT_NE(log.find("--ok-label=YES"), std::string::npos) << log;
    // The progress notice may be ended before the fake even logs it: a small copy is quick.
    EXPECT_EQ(test::readText(source), "new");
}

class StopDuringCopyTest : public FinderProcessTest {
protected:
    void SetUp() override {
        FinderProcessTest::SetUp();
        // The stuck copy must stay stuck well beyond the daemon's bound.
        if (!lease.held() || std::stoi(test::readText("/proc/sys/fs/lease-break-time")) < 30)
            GTEST_SKIP() << "no file leases of at least 30 s here";
    }
    // Starts the daemon and a Copy to... of a folder that waits in the open of its second file.
    void startCopy() {
        world.writeFile("src/Tree/a", std::string(1 << 20, 'a'));
        world.writeFile("offered", "file://" + world.path("src/Tree") + "\r\n");
        fs::create_directories(dest);
        finderState("", {dest});
        HotKeyRec key = functionKey(6, 25);
        daemon = start({key});
        press(key);
        ASSERT_TRUE(test::eventually([&] { return lease.opened(); }));
        ASSERT_EQ(names(dest).size(), 1u) << "the partial copy";
        ::kill(daemon->pid(), SIGTERM);
    }
    static std::vector<std::string> names(const std::string& folder) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.push_back(entry.path().filename().string());
        return found;
    }
    void expectSourceIntact() {
        EXPECT_EQ(test::readText(world.path("src/Tree/a")), std::string(1 << 20, 'a'));
        EXPECT_EQ(test::readText(held), "b");
    }

    std::string dest = world.path("dest");
    std::string held = world.writeFile("src/Tree/b", "b");
    Lease lease{held};
    std::unique_ptr<test::DaemonProcess> daemon;
};

TEST_F(StopDuringCopyTest, SigtermKeepsTheSourceRemovesThePartialCopyAndEnds) {
    startCopy();
    ASSERT_TRUE(test::eventually([&] {
        return daemon->output().find("waiting for 1 file-manager") != std::string::npos;
    })) << daemon->output();
    lease.release();
    EXPECT_EQ(daemon->stop(0), 0);
    EXPECT_EQ(names(dest), std::vector<std::string>{});
    expectSourceIntact();
}

TEST_F(StopDuringCopyTest, ACopyStuckBeyondTheBoundDoesNotKeepTheDaemon) {
    startCopy();
    EXPECT_EQ(daemon->stop(0), 0) << "ends with the copy still waiting in the kernel";
    EXPECT_NE(daemon->output().find("exiting without them"), std::string::npos);
    EXPECT_EQ(names(dest), std::vector<std::string>{});
    lease.release(); // our own read of the file would wait for it too
    expectSourceIntact();
}

TEST_F(FinderProcessTest, SleepAsksSystemctlToSuspend) {
    HotKeyRec key = functionKey(7, 1);
    auto daemon = start({key});
    press(key);
    EXPECT_TRUE(
        test::eventually([&] { return test::readText(world.path("systemctl")) == "suspend\n"; }));
}

// The desktop's session manager is asked, so that applications may save first; systemctl (and
// logind behind it) hears nothing. Buses and session manager are stand-ins.
TEST_F(FinderProcessTest, RestartAsksTheDesktopsSessionManager) {
    if (!test::SessionStandIns::available())
        GTEST_SKIP()
            << "dbus-daemon or python3-gi is missing; scripts/install-deps test installs them";
    test::SessionStandIns gnome(world.path("buses"), {"--desktop", "gnome"});
    ASSERT_TRUE(gnome.ready()) << gnome.output();
    test::ScopedEnv sessionBus("DBUS_SESSION_BUS_ADDRESS", gnome.sessionBus);
    test::ScopedEnv systemBus("DBUS_SYSTEM_BUS_ADDRESS", gnome.systemBus);
    HotKeyRec key = functionKey(8, 2);
    auto daemon = start({key});
    press(key);
    EXPECT_TRUE(test::eventually([&] {
        return daemon->output().find("restart: asked org.gnome.SessionManager\n") !=
               std::string::npos;
    })) << daemon->output();
    EXPECT_EQ(gnome.calls(), std::vector<std::string>{"org.gnome.SessionManager.Reboot ()"});
    EXPECT_FALSE(fs::exists(world.path("systemctl")));
}

} // namespace
} // namespace presto
