// The built PrestoAssist beside the built Presto.daemon: the daemon starts and ends it by
// FlagShowIcon, and in a real X11 tray (Xvfb with trayer) its menu, clicked with xdotool,
// switches the running daemon.
#include "common/Version.h"
#include "tests/capture/XHarness.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/TempWorld.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sstream>
#include <xcb/xcb.h>

namespace presto {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Bytes;

constexpr auto kPatience = 30s;

bool haveTool(const std::string& name) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    std::string dir;
    while (std::getline(path, dir, ':'))
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    return false;
}

// The running processes of the program at the path.
std::vector<pid_t> processesOf(const std::string& program) {
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    while (dirent* entry = proc ? ::readdir(proc) : nullptr) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0)
            continue;
        char exe[PATH_MAX];
        const std::string link = "/proc/" + std::string(entry->d_name) + "/exe";
        const ssize_t n = ::readlink(link.c_str(), exe, sizeof exe - 1);
        if (n > 0 && std::string(exe, std::size_t(n)) == program)
            found.push_back(static_cast<pid_t>(pid));
    }
    if (proc)
        ::closedir(proc);
    return found;
}

// Links or copies a built program into the folder; programs of the same path started by other
// tests' daemons are then never ours, nor ours theirs.
std::string install(const std::string& name, const std::string& folder) {
    const std::string bin = std::getenv("PRESTO_BIN_DIR") ? std::getenv("PRESTO_BIN_DIR") : ".";
    fs::create_directories(folder);
    std::error_code ec;
    fs::create_hard_link(bin + "/" + name, folder + "/" + name, ec);
    if (ec)
        fs::copy_file(bin + "/" + name, folder + "/" + name);
    return folder + "/" + name;
}

std::string readFile(const std::string& path) {
    return test::readText(path);
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The world both programs run in: preference domains, one hot key, the daemon and the
// assistant installed side by side, and a configuration application that notes each start.
class AssistWithDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        daemonPath = install("Presto.daemon", world.path("installed"));
        assistantPath = install("PrestoAssist", world.path("installed"));
        appPath = world.path("apps/Presto");
        test::writeExecutable(appPath, "#!/bin/sh\n# @(#)Presto " PRESTO_BUNDLE_VERSION
                                       "\necho started >> '" +
                                           world.path("app-started") + "'\n");
        test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
            d.setBool(kFlagShowIcon, true);
            d.setInteger(kKindIntervalHotKey, 0);
        });
        test::editPreferences(loc, kPrestoAssistDomain, [&](PreferenceDomain& d) {
            d.setBool(kFlagServiceStatus, true);
            d.setString(kPrstAppPath, appPath);
        });
        test::writeDataFile(loc, {{test::hotKey(1, kCommandBit, kKindFinder, 0, 1), {}}});
    }

    void startDaemon(const std::vector<std::string>& env) {
        std::vector<std::string> all = env;
        // No session bus: the assistant must never reach the desktop the tests run in.
        all.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + world.path("no-bus"));
        daemon = std::make_unique<test::ChildProcess>(std::vector<std::string>{daemonPath}, all,
                                                      world.path("daemon.out"));
        ASSERT_TRUE(test::waitUntil(
            [&] { return test::request(loc.socketPath, test::bytesOf("GETVERS")).has_value(); },
            kPatience))
            << "the daemon did not come up";
    }

    Bytes ask(const std::string& message) {
        return test::request(loc.socketPath, test::bytesOf(message)).value_or(Bytes{'?'});
    }
    std::string stamp() {
        const Bytes reply = ask("GETVERS");
        return reply.size() == 16 ? std::string(reinterpret_cast<const char*>(&reply[4])) : "";
    }
    // Waits until the daemon's next stamp cannot be the same text as `current`.
    static bool nextSecond(const std::string& current) {
        return test::waitUntil([&] { return std::to_string(std::time(nullptr)) != current; },
                               kPatience);
    }
    std::optional<bool> serviceStatus() const {
        return PreferenceDomain(loc.preferenceFile(kPrestoAssistDomain))
            .getBool(kFlagServiceStatus);
    }
    bool assistantRuns() { return !processesOf(assistantPath).empty(); }

    // A table request, after which the daemon ends the assistant and starts a new one: the size
    // of the table, once the new one runs alone.
    std::size_t tableRestartingTheAssistant() {
        const std::vector<pid_t> old = processesOf(assistantPath);
        const std::size_t size = ask("GETPREF").size();
        EXPECT_TRUE(test::waitUntil(
            [&] {
                const auto now = processesOf(assistantPath);
                return now.size() == 1 &&
                       std::find(old.begin(), old.end(), now.front()) == old.end();
            },
            kPatience))
            << "the daemon started no new assistant";
        return size;
    }

    void TearDown() override {
        daemon.reset();
        for (pid_t pid : processesOf(assistantPath))
            ::kill(pid, SIGKILL);
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
    std::string daemonPath, assistantPath, appPath;
    std::unique_ptr<test::ChildProcess> daemon;
};

TEST_F(AssistWithDaemon, ShowIconStartsTheAssistantAfterATableRequestAndItsAbsenceEndsIt) {
    // Without a tray the assistant says so and waits: it runs all the same.
    startDaemon({"QT_QPA_PLATFORM=offscreen"});
    EXPECT_FALSE(assistantRuns());
    EXPECT_EQ(ask("GETPREF").size(), 48u);
    ASSERT_TRUE(test::waitUntil([&] { return assistantRuns(); }, kPatience));
    EXPECT_TRUE(test::waitUntil(
        [&] {
            return readFile(world.path("daemon.out")).find("no system tray") != std::string::npos;
        },
        kPatience))
        << readFile(world.path("daemon.out"));
    ASSERT_EQ(processesOf(assistantPath).size(), 1u);
    const pid_t first = processesOf(assistantPath).front();

    // Every table request ends it and starts it afresh.
    EXPECT_EQ(ask("GETPREF").size(), 48u);
    ASSERT_TRUE(test::waitUntil(
        [&] {
            auto now = processesOf(assistantPath);
            return now.size() == 1 && now.front() != first;
        },
        kPatience));

    test::editPreferences(loc, kPrestoDomain,
                          [](PreferenceDomain& d) { d.setBool(kFlagShowIcon, false); });
    ask("UPDTPREF");
    EXPECT_EQ(ask("GETPREF").size(), 48u);
    EXPECT_TRUE(test::waitUntil([&] { return !assistantRuns(); }, kPatience));
}

// The status-notifier watcher of a desktop whose panel hosts status items, on a private bus.
class FakeStatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)

public:
    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredStatusNotifierItems() const { return items; }

    QStringList items;

public slots:
    void RegisterStatusNotifierItem(const QString& service) { items << service; }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();
};

// A private X server with a system tray of its own.
class AssistInTray : public AssistWithDaemon {
protected:
    void SetUp() override {
        for (const char* tool : {"trayer", "xdotool"})
            if (!haveTool(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps test adds it)";
        if (!test::Xvfb::installed())
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps test adds it)";
        AssistWithDaemon::SetUp();
        x.emplace();
        display = x->display();
    }

    void startTray() {
        tray = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"/usr/bin/env", "trayer", "--edge", "top", "--align", "right",
                                     "--widthtype", "request", "--height", "24", "--SetDockType",
                                     "false", "--transparent", "false"},
            std::vector<std::string>{"DISPLAY=" + display}, world.path("trayer.out"));
        ASSERT_TRUE(test::waitUntil([&] { return trayOwned(); }, kPatience))
            << "trayer did not take the tray";
    }

    // Somebody owns the X11 system tray selection of screen 0.
    bool trayOwned() {
        xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
        bool owned = false;
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        if (auto* atom =
                xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr)) {
            if (auto* owner = xcb_get_selection_owner_reply(
                    c, xcb_get_selection_owner(c, atom->atom), nullptr)) {
                owned = owner->owner != XCB_NONE;
                free(owner);
            }
            free(atom);
        }
        xcb_disconnect(c);
        return owned;
    }

    std::string xdotool(const std::string& arguments) {
        const std::string command = "DISPLAY=" + display + " xdotool " + arguments + " 2>/dev/null";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe))
                output += buffer;
            ::pclose(pipe);
        }
        return output;
    }

    struct Box {
        int x = 0, y = 0, width = 0, height = 0;
    };
    // The assistant's visible windows: its icon in the tray, its menu when open.
    std::vector<Box> windows() {
        std::vector<Box> boxes;
        std::istringstream ids(xdotool("search --onlyvisible --class PrestoAssist"));
        std::string id;
        while (ids >> id) {
            std::istringstream shell(xdotool("getwindowgeometry --shell " + id));
            Box box;
            std::string line;
            while (std::getline(shell, line)) {
                auto equals = line.find('=');
                if (equals == std::string::npos)
                    continue;
                const std::string key = line.substr(0, equals);
                const int value = std::atoi(line.c_str() + equals + 1);
                if (key == "X")
                    box.x = value;
                else if (key == "Y")
                    box.y = value;
                else if (key == "WIDTH")
                    box.width = value;
                else if (key == "HEIGHT")
                    box.height = value;
            }
            if (box.width > 0)
                boxes.push_back(box);
        }
        return boxes;
    }
    // The icon sits in the tray at the top edge; a tooltip would show below it.
    std::optional<Box> icon() {
        std::optional<Box> top;
        for (const Box& box : windows())
            if (box.height <= 48 && (!top || box.y < top->y))
                top = box;
        return top;
    }
    std::optional<Box> menu() {
        for (const Box& box : windows())
            if (box.height > 48)
                return box;
        return std::nullopt;
    }

    void click(int x, int y, int button) {
        xdotool("mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click " +
                std::to_string(button));
    }

    // Opens the menu with a click of the button on the icon (a left click opens it too in an
    // X11 tray) and clicks its item of that index (the five items are of one height).
    void chooseMenuItem(int index, const std::string& screenshot = {}, int button = 3) {
        std::optional<Box> at;
        ASSERT_TRUE(test::waitUntil([&] { return (at = icon()).has_value(); }, kPatience))
            << "no icon in the tray";
        click(at->x + at->width / 2, at->y + at->height / 2, button);
        std::optional<Box> open;
        ASSERT_TRUE(test::waitUntil([&] { return (open = menu()).has_value(); }, kPatience))
            << "the menu did not open";
        if (!screenshot.empty() && haveTool("import")) {
            std::this_thread::sleep_for(300ms); // let it paint, for the picture only
            std::system(
                ("DISPLAY=" + display + " import -window root '" + screenshot + "'").c_str());
        }
        click(open->x + open->width / 2, open->y + open->height * (2 * index + 1) / 10, 1);
        ASSERT_TRUE(test::waitUntil([&] { return !menu().has_value(); }, kPatience));
    }

    std::optional<test::Xvfb> x;
    std::string display;
    std::unique_ptr<test::ChildProcess> tray;
};

TEST_F(AssistInTray, MenuInTheTraySwitchesTheRunningDaemonAndOpensTheApplication) {
    startTray();
    startDaemon({"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"});
    EXPECT_EQ(tableRestartingTheAssistant(), 48u);
    ASSERT_TRUE(test::waitUntil([&] { return icon().has_value(); }, kPatience))
        << "the daemon's assistant shows no icon";

    // Stop: the preference, then the daemon, whose table is empty from then on.
    std::string before = stamp();
    ASSERT_TRUE(nextSecond(before));
    const char* shots = std::getenv("PRESTO_ASSIST_SCREENSHOTS");
    chooseMenuItem(1, shots ? std::string(shots) + "/tray-menu-on.png" : "");
    EXPECT_TRUE(test::waitUntil([&] { return serviceStatus() == false; }, kPatience));
    ASSERT_TRUE(test::waitUntil([&] { return stamp() != before; }, kPatience))
        << "the daemon was not told";
    EXPECT_EQ(tableRestartingTheAssistant(), 0u);

    // That request restarted the assistant, which now offers Start.
    before = stamp();
    ASSERT_TRUE(nextSecond(before));
    ASSERT_TRUE(test::waitUntil([&] { return icon().has_value(); }, kPatience));
    chooseMenuItem(0, shots ? std::string(shots) + "/tray-menu-off.png" : "");
    EXPECT_TRUE(test::waitUntil([&] { return serviceStatus() == true; }, kPatience));
    ASSERT_TRUE(test::waitUntil([&] { return stamp() != before; }, kPatience));
    EXPECT_EQ(tableRestartingTheAssistant(), 48u);

    ASSERT_TRUE(test::waitUntil([&] { return icon().has_value(); }, kPatience));
    chooseMenuItem(2, {}, 1);
    EXPECT_TRUE(test::waitUntil([&] { return readFile(world.path("app-started")) == "started\n"; },
                                kPatience));
}

TEST_F(AssistInTray, WithoutATrayItSaysSoOnceWaitsIdlyAndShowsTheIconWhenOneStarts) {
    const std::string output = world.path("assist.out");
    test::ChildProcess assistant({assistantPath},
                                 {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                                  "DBUS_SESSION_BUS_ADDRESS=unix:path=" + world.path("no-bus")},
                                 output);
    ASSERT_TRUE(test::waitUntil(
        [&] { return readFile(output).find("no system tray") != std::string::npos; }, kPatience))
        << readFile(output);
    // Waiting takes no processor time: a polling loop would use a good part of this second.
    const long ticks = assistant.cpuTicks();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(assistant.cpuTicks() - ticks, 30);

    startTray();
    EXPECT_TRUE(test::waitUntil([&] { return icon().has_value(); }, kPatience));
    EXPECT_TRUE(assistant.running());
    EXPECT_EQ(countOf(readFile(output), "no system tray"), 1u) << readFile(output);
}

TEST_F(AssistInTray, StatusNotifierHostThatComesLaterGetsTheIcon) {
    if (!haveTool("dbus-daemon"))
        GTEST_SKIP() << "dbus-daemon is not installed (scripts/install-deps test adds it)";
    const std::string busPath = world.path("bus");
    test::ChildProcess bus(
        {"/usr/bin/env", "dbus-daemon", "--session", "--nofork", "--address=unix:path=" + busPath},
        {}, world.path("bus.out"));
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(busPath); }, kPatience));

    const std::string output = world.path("assist.out");
    test::ChildProcess assistant({assistantPath},
                                 {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                                  "DBUS_SESSION_BUS_ADDRESS=unix:path=" + busPath},
                                 output);
    ASSERT_TRUE(test::waitUntil(
        [&] { return readFile(output).find("no system tray") != std::string::npos; }, kPatience))
        << readFile(output);

    int argc = 1;
    char name[] = "assist_tray_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QDBusConnection connection =
        QDBusConnection::connectToBus(QString::fromStdString("unix:path=" + busPath), "panel");
    ASSERT_TRUE(connection.isConnected());
    FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                          QDBusConnection::ExportAllContents));
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

    EXPECT_TRUE(test::waitUntil(
        [&] {
            QCoreApplication::processEvents();
            return !watcher.items.isEmpty();
        },
        kPatience))
        << "no status item was registered";
    EXPECT_TRUE(assistant.running());
    EXPECT_EQ(countOf(readFile(output), "no system tray"), 1u) << readFile(output);
    QDBusConnection::disconnectFromBus("panel");
}

} // namespace
} // namespace presto

#include "AssistTrayTest.moc"
