#include "platform/linux/GioLauncher.h"

#include "tests/platform/TestProcesses.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace presto {
namespace {

using test::eventually;
using test::readLines;

// One start of the recording program: its process number and its arguments.
struct Start {
    pid_t pid = 0;
    std::vector<std::string> args;
};

class LaunchTest : public ::testing::Test {
protected:
    LaunchTest() {
        // Appends "<pid>|<arg>|<arg>..." for every start.
        recorder_ = world_.writeFile(
            "bin/record", "#!/bin/sh\n{ printf '%s' \"$$\"; for a; do printf '|%s' \"$a\"; done; "
                          "echo; } >> '" +
                              log_ + "'\n");
        test::makeExecutable(recorder_);
    }

    // A program that appends, for every start, the values of the session's display variables
    // and of PRESTO_KEPT as "value|value|...", "-" for an unset one.
    std::string displayReporter() {
        // One printf, one write: the programs a test starts together report side by side.
        std::string script = "#!/bin/sh\nprintf '%s|%s|%s|%s|%s|%s\\n'";
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_SESSION_TYPE",
                                 "XDG_CURRENT_DESKTOP", "PRESTO_KEPT"})
            script += std::string(" \"${") + name + ":--}\"";
        script += " >> '" + displayLog_ + "'\n";
        const std::string path = world_.writeFile("bin/report-display", script);
        test::makeExecutable(path);
        return path;
    }

    std::vector<Start> starts() const {
        std::vector<Start> result;
        for (const std::string& line : readLines(log_)) {
            Start run;
            std::size_t start = 0, bar;
            do {
                bar = line.find('|', start);
                std::string field = line.substr(start, bar - start);
                if (start == 0)
                    run.pid = std::atoi(field.c_str());
                else
                    run.args.push_back(field);
                start = bar + 1;
            } while (bar != std::string::npos);
            result.push_back(run);
        }
        return result;
    }

    // Waits for `count` starts, then a little longer so that a start too many would show.
    std::vector<Start> settledStarts(std::size_t count) const {
        eventually([&] { return starts().size() >= count; });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return starts();
    }

    test::TempWorld world_;
    test::ScriptedFinder finder_;
    GioLauncher launcher_{finder_};
    std::string log_ = world_.path("launches.log");
    std::string displayLog_ = world_.path("display.log");
    std::string recorder_;
};

// A login whose environment the test decides.
struct ScriptedSession final : SessionEnvironment {
    std::optional<std::vector<std::string>> read() override { return environment; }
    std::optional<std::vector<std::string>> environment;
};

TEST_F(LaunchTest, EachLaunchGetsTheDisplayOfTheLoginCurrentAtThatMoment) {
    // The launcher's process was started in a first login on display :1.
    test::ScopedEnv display("DISPLAY", ":1"), auth("XAUTHORITY", "/run/user/1000/gdm/Xauthority"),
        wayland("WAYLAND_DISPLAY", std::nullopt), type("XDG_SESSION_TYPE", "x11"),
        desktop("XDG_CURRENT_DESKTOP", "GNOME"), kept("PRESTO_KEPT", "ours");
    const std::string reporter = displayReporter();
    ScriptedSession session;
    GioLauncher launcher(finder_, nullptr, &session);

    struct Case {
        const char* login;
        std::optional<std::vector<std::string>> environment;
        const char* expected;
    };
    const Case cases[] = {
        {"a Wayland login on another seat",
         std::vector<std::string>{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:2",
                                  "XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=KDE",
                                  "PRESTO_KEPT=manager's"},
         ":2|wayland-0|-|wayland|KDE|ours"},
        {"an X11 login without a desktop name",
         std::vector<std::string>{"DISPLAY=:3", "XAUTHORITY=/tmp/xauth-3", "XDG_SESSION_TYPE=x11"},
         ":3|-|/tmp/xauth-3|x11|-|ours"},
        {"every login ended", std::vector<std::string>{}, "-|-|-|-|-|ours"},
        {"a manager that does not answer", std::nullopt,
         ":1|-|/run/user/1000/gdm/Xauthority|x11|GNOME|ours"},
    };
    std::size_t launched = 0;
    for (const Case& c : cases) {
        session.environment = c.environment;
        ASSERT_EQ(launcher.openItem(reporter), 0) << c.login;
        ++launched;
        ASSERT_TRUE(eventually([&] { return readLines(displayLog_).size() == launched; }))
            << c.login;
        EXPECT_EQ(readLines(displayLog_).back(), c.expected) << c.login;
    }
}

TEST_F(LaunchTest, ExecutableRunsDetachedAndIsReaped) {
    ASSERT_EQ(launcher_.openItem(recorder_), 0);

    auto started = settledStarts(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(started[0].args.empty());
    EXPECT_TRUE(eventually([&] { return !test::processExists(started[0].pid); }))
        << "the finished program is still a zombie";
}

TEST_F(LaunchTest, ExecutableGetsNoDescriptorOfOurs) {
    std::string listing = world_.path("fds");
    std::string lister =
        world_.writeFile("bin/list-fds", "#!/bin/sh\nls /proc/$$/fd > '" + listing + ".tmp'; mv '" +
                                             listing + ".tmp' '" + listing + "'\n");
    test::makeExecutable(lister);
    // As if another thread had opened a file without O_CLOEXEC.
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int leaked = dup2(null, 100);
    close(null);
    ASSERT_EQ(leaked, 100);

    ASSERT_EQ(launcher_.openItem(lister), 0);

    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(listing); }));
    std::vector<std::string> fds = readLines(listing);
    close(leaked);
    EXPECT_TRUE(std::find(fds.begin(), fds.end(), "100") == fds.end());
    EXPECT_TRUE(std::find(fds.begin(), fds.end(), "0") != fds.end());
}

TEST_F(LaunchTest, MissingItemStartsNothing) {
    EXPECT_EQ(launcher_.openItem(world_.path("nothing-here")), kLaunchNoSuchFile);
    finder_.setSelection({recorder_});
    EXPECT_EQ(launcher_.openSelectionWith(world_.path("no-app")), kLaunchNoSuchFile);
}

TEST_F(LaunchTest, SelectionGoesToTheApplicationAsItsArgumentsWithoutAShell) {
    std::string touched = world_.path("touched");
    std::vector<std::string> selection{"/tmp/a b", "$(touch " + touched + ")", "it's \"here\""};
    finder_.setSelection(selection);

    ASSERT_EQ(launcher_.openSelectionWith(recorder_), 0);

    auto started = settledStarts(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].args, selection);
    EXPECT_FALSE(std::filesystem::exists(touched));
}

TEST_F(LaunchTest, OpenDirectlyAfterOpeningTheSelectionStartsNothingOnce) {
    finder_.setSelection({"/tmp/one", "/tmp/two"});

    ASSERT_EQ(launcher_.openSelectionWith(recorder_), 0);
    EXPECT_EQ(launcher_.openItem(recorder_), 0);
    auto started = settledStarts(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].args, (std::vector<std::string>{"/tmp/one", "/tmp/two"}));

    EXPECT_EQ(launcher_.openItem(recorder_), 0);
    started = settledStarts(2);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_TRUE(started[1].args.empty());
}

TEST_F(LaunchTest, OnlyTheVeryNextOpenOfThatApplicationIsSkipped) {
    std::string otherApp = world_.writeFile("bin/other", "#!/bin/sh\n");
    test::makeExecutable(otherApp);
    finder_.setSelection({"/tmp/one"});

    ASSERT_EQ(launcher_.openSelectionWith(recorder_), 0);
    launcher_.openItem(otherApp);
    EXPECT_EQ(launcher_.openItem(recorder_), 0);

    EXPECT_EQ(settledStarts(2).size(), 2u);
}

TEST_F(LaunchTest, NothingSelectedStartsNothingAndTheFollowingOpenStartsTheApplication) {
    ASSERT_EQ(launcher_.openSelectionWith(recorder_), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(starts().empty());

    EXPECT_EQ(launcher_.openItem(recorder_), 0);
    EXPECT_EQ(settledStarts(1).size(), 1u);
}

TEST_F(LaunchTest, ProgramsStartInTheWorkingFolderAndWithoutItWhereWeAre) {
    const std::string home = world_.path("home");
    const std::string where = world_.path("where.log");
    const std::string program =
        world_.writeFile("bin/where", "#!/bin/sh\npwd -P >> '" + where + "'\n");
    test::makeExecutable(program);
    finder_.setSelection({"/tmp/one"});

    GioLauncher launcher(finder_, nullptr, nullptr, home);
    ASSERT_EQ(launcher.openItem(program), 0);
    ASSERT_EQ(launcher.openSelectionWith(program), 0);
    GioLauncher homeless(finder_, nullptr, nullptr, world_.path("gone"));
    ASSERT_EQ(homeless.openItem(program), 0);

    ASSERT_TRUE(eventually([&] { return readLines(where).size() == 3; }));
    const std::string canonicalHome = std::filesystem::canonical(home).string();
    const std::string ours = std::filesystem::current_path().string();
    ASSERT_NE(ours, canonicalHome);
    // The three run side by side: their lines come in any order.
    std::vector<std::string> folders = readLines(where);
    std::vector<std::string> expected{canonicalHome, canonicalHome, ours};
    std::sort(folders.begin(), folders.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folders, expected);
}

TEST_F(LaunchTest, LaunchesFromSeveralThreadsAllRunAndAreReaped) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int j = 0; j < 3; ++j)
                EXPECT_EQ(launcher_.openItem(recorder_), 0);
        });
    for (std::thread& t : threads)
        t.join();

    auto started = settledStarts(12);
    ASSERT_EQ(started.size(), 12u);
    EXPECT_TRUE(eventually([&] {
        return std::none_of(started.begin(), started.end(),
                            [](const Start& run) { return test::processExists(run.pid); });
    }));
}

// GIO reads the XDG folders once per process, so these run the launcher in a probe process that
// sees only the temporary world: its applications, its mimeapps.list, no session bus.
class GioLaunchTest : public LaunchTest {
protected:
    GioLaunchTest() {
        desktopFile_ =
            world_.writeFile("data/applications/presto-viewer.desktop",
                             "[Desktop Entry]\nType=Application\nName=Presto Viewer\n"
                             "Exec=" +
                                 recorder_ + " %F\nMimeType=text/plain;inode/directory;\n");
        world_.writeFile("config/mimeapps.list", "[Default Applications]\n"
                                                 "text/plain=presto-viewer.desktop\n"
                                                 "inode/directory=presto-viewer.desktop\n");
        stateFile_ = world_.path("runtime/Presto/finder");
    }

    // The results the probe printed, one a line.
    std::vector<std::string> probe(const std::vector<std::string>& commands) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string_view entry(*e);
            for (std::string_view drop :
                 {"XDG_DATA_DIRS=", "XDG_CONFIG_DIRS=", "DISPLAY=", "WAYLAND_DISPLAY=",
                  "XDG_CURRENT_DESKTOP=", "DBUS_SESSION_BUS_ADDRESS="})
                if (entry.starts_with(drop))
                    entry = {};
            if (!entry.empty())
                env.emplace_back(entry);
        }
        // The system's folders stay readable for the MIME database only; our defaults win.
        env.push_back("XDG_DATA_DIRS=" + world_.path("system-data") + ":/usr/share");
        env.push_back("XDG_CONFIG_DIRS=" + world_.path("system-config"));
        env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + world_.path("no-bus"));
        env.push_back("GIO_USE_VFS=local");
        env.push_back("GSETTINGS_BACKEND=memory");
        if (reportScopes_)
            env.push_back("PRESTO_PROBE_SCOPES=1");
        if (!workingFolder_.empty())
            env.push_back("PRESTO_PROBE_FOLDER=" + workingFolder_);
        env.insert(env.end(), probeEnvironment_.begin(), probeEnvironment_.end());

        std::vector<std::string> args{PRESTO_LAUNCH_PROBE, stateFile_};
        args.insert(args.end(), commands.begin(), commands.end());
        std::string output = world_.path("probe.out");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT, 0600);
        std::vector<char*> argv, envp;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = 0;
        int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(error, 0);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return readLines(output);
    }

    std::string desktopFile_;
    std::string stateFile_;
    bool reportScopes_ = false;
    std::string workingFolder_;
    std::vector<std::string> probeEnvironment_;
};

TEST_F(GioLaunchTest, DocumentsAndFoldersOpenInTheirDefaultApplication) {
    std::string notes = world_.writeFile("home/notes.txt", "some plain text\n");
    std::string folder = world_.path("home/Folder/");
    std::filesystem::create_directories(folder);
    folder.pop_back();

    EXPECT_EQ(probe({"open:" + notes, "open:" + folder}), (std::vector<std::string>{"0", "0"}));

    auto started = settledStarts(2);
    ASSERT_EQ(started.size(), 2u);
    std::vector<std::vector<std::string>> opened{started[0].args, started[1].args};
    EXPECT_TRUE(std::find(opened.begin(), opened.end(), std::vector{notes}) != opened.end());
    EXPECT_TRUE(std::find(opened.begin(), opened.end(), std::vector{folder}) != opened.end());
}

TEST_F(GioLaunchTest, DesktopFileStartsItsApplication) {
    EXPECT_EQ(probe({"open:" + desktopFile_}), std::vector<std::string>{"0"});

    auto started = settledStarts(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(started[0].args.empty());
}

TEST_F(GioLaunchTest, DesktopApplicationGetsTheSelectionAndIsNotStartedTwice) {
    std::string a = world_.writeFile("home/a.txt", "a");
    std::string b = world_.writeFile("home/b.txt", "b");
    world_.writeFile("runtime/Presto/finder", "\n" + a + "\n" + b + "\n");

    EXPECT_EQ(probe({"with:" + desktopFile_, "open:" + desktopFile_, "open:" + desktopFile_}),
              (std::vector<std::string>{"0", "0", "0"}));

    auto started = settledStarts(2);
    ASSERT_EQ(started.size(), 2u);
    auto withFiles = std::count_if(started.begin(), started.end(), [&](const Start& run) {
        return run.args == std::vector<std::string>{a, b};
    });
    EXPECT_EQ(withFiles, 1);
}

TEST_F(GioLaunchTest, ApplicationsAndDocumentsStartInTheWorkingFolderUnlessTheEntryNamesOne) {
    const std::string where = world_.path("where.log");
    const std::string program =
        world_.writeFile("bin/where", "#!/bin/sh\npwd -P >> '" + where + "'\n");
    test::makeExecutable(program);
    // The default application of plain text is this entry.
    world_.writeFile("data/applications/presto-viewer.desktop",
                     "[Desktop Entry]\nType=Application\nName=Presto Viewer\nExec=" + program +
                         " %F\nMimeType=text/plain;\n");
    const std::string own = world_.path("own");
    std::filesystem::create_directories(own);
    const std::string withPath = world_.writeFile(
        "data/applications/presto-own.desktop",
        "[Desktop Entry]\nType=Application\nName=Own\nExec=" + program + "\nPath=" + own + "\n");
    const std::string notes = world_.writeFile("docs/notes.txt", "plain text\n");
    workingFolder_ = world_.path("home");

    EXPECT_EQ(probe({"open:" + desktopFile_, "open:" + notes, "open:" + withPath}),
              (std::vector<std::string>{"0", "0", "0"}));

    ASSERT_TRUE(eventually([&] { return readLines(where).size() == 3; }));
    std::vector<std::string> folders = readLines(where);
    std::sort(folders.begin(), folders.end());
    const std::string home = std::filesystem::canonical(workingFolder_).string();
    EXPECT_EQ(folders, (std::vector<std::string>{home, home, std::filesystem::canonical(own)}));
}

TEST_F(GioLaunchTest, OnlyApplicationEntriesAndExecutablesTakeFiles) {
    const std::string bare =
        world_.writeFile("data/applications/bare.desktop",
                         "[Desktop Entry]\nType=Application\nName=Bare\nExec=" + recorder_ + "\n");
    const std::string link =
        world_.writeFile("data/applications/link.desktop",
                         "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org/\n");
    const std::string script = world_.writeFile("docs/script.sh", "#!/bin/sh\n");
    const std::string folder = world_.path("docs");
    struct Case {
        std::string path;
        const char* takes;
    };
    const Case cases[] = {
        {desktopFile_, "1"},
        {bare, "1"},
        {recorder_, "1"},
        {link, "0"},
        {script, "0"},
        {folder, "0"},
        {world_.path("missing"), "0"},
    };
    std::vector<std::string> commands, expected;
    for (const Case& c : cases) {
        commands.push_back("can:" + c.path);
        expected.push_back(c.takes);
    }
    EXPECT_EQ(probe(commands), expected);
}

// Records what it was asked to place, from any thread.
class RecordingScopes final : public ScopePlacer {
public:
    void place(pid_t pid, const std::string& program) override {
        std::lock_guard lock(mutex_);
        placed_.emplace_back(pid, program);
    }
    std::vector<std::pair<pid_t, std::string>> placed() const {
        std::lock_guard lock(mutex_);
        return placed_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<pid_t, std::string>> placed_;
};

TEST_F(LaunchTest, AStartedProgramIsHandedOnWithItsOwnProcessForAScopeOfItsOwn) {
    RecordingScopes scopes;
    GioLauncher launcher(finder_, &scopes);
    ASSERT_EQ(launcher.openItem(recorder_), 0);
    auto started = settledStarts(1);
    ASSERT_EQ(started.size(), 1u);
    ASSERT_EQ(scopes.placed().size(), 1u);
    EXPECT_EQ(scopes.placed()[0].first, started[0].pid);
    EXPECT_EQ(scopes.placed()[0].second, recorder_);

    // A program that cannot start has no process to move.
    EXPECT_NE(launcher.openItem(world_.path("missing")), 0);
    EXPECT_EQ(scopes.placed().size(), 1u);
}

TEST_F(GioLaunchTest, ProgramsThatGioStartsAreHandedOnWithTheirProcess) {
    reportScopes_ = true;
    const std::vector<std::string> output = probe({"open:" + desktopFile_});
    auto started = settledStarts(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(output, (std::vector<std::string>{"0", "scope " + std::to_string(started[0].pid) +
                                                         " " + desktopFile_}));
}

TEST_F(GioLaunchTest, ApplicationsAndDocumentsGetTheCurrentLoginsDisplayToo) {
    const std::string reporter = displayReporter();
    const std::string application =
        world_.writeFile("data/applications/presto-reporter.desktop",
                         "[Desktop Entry]\nType=Application\nName=Reporter\nExec=" + reporter +
                             " %F\nMimeType=text/plain;\n");
    world_.writeFile("config/mimeapps.list", "[Default Applications]\n"
                                             "text/plain=presto-reporter.desktop\n");
    const std::string notes = world_.writeFile("home/notes.txt", "some plain text\n");
    probeEnvironment_ = {"DISPLAY=:1", "XAUTHORITY=/stale/Xauthority", "PRESTO_KEPT=ours",
                         "PRESTO_PROBE_SESSION=DISPLAY=:2\nWAYLAND_DISPLAY=wayland-0\n"
                         "XDG_SESSION_TYPE=wayland\nXDG_CURRENT_DESKTOP=KDE"};

    EXPECT_EQ(probe({"open:" + application, "open:" + notes}),
              (std::vector<std::string>{"0", "0"}));

    ASSERT_TRUE(eventually([&] { return readLines(displayLog_).size() == 2; }));
    EXPECT_EQ(readLines(displayLog_),
              std::vector<std::string>(2, ":2|wayland-0|-|wayland|KDE|ours"));
}

} // namespace
} // namespace presto
