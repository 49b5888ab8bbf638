// The Linux services behind the file-manager functions: the trash in a temporary world, and
// zenity and systemctl replaced by fakes first on PATH.
#include "platform/linux/GioTrash.h"
#include "platform/linux/SystemctlPower.h"
#include "platform/linux/ZenityDialogs.h"
#include "tests/platform/TestProcesses.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Response = DaemonDialogs::Response;

class TrashTest : public ::testing::Test {
protected:
    GioTrash trashWith(std::vector<std::string> mounts,
                       std::function<void(const std::string&)> beforeEmptying = {}) {
        return GioTrash({homeTrash, [mounts] { return mounts; }, false, beforeEmptying});
    }

    test::TempWorld world;
    std::string homeTrash = world.root() + "/data/Trash";
};

TEST_F(TrashTest, SelectedFilesGoToTheTrashOfTheDataHome) {
    std::string a = world.writeFile("work/a.txt", "a");
    std::string b = world.writeFile("work/b.txt", "b");
    std::string kept = world.writeFile("work/kept", "k");
    GioTrash trash = trashWith({});
    EXPECT_EQ(trash.moveToTrash({a, world.path("work/missing"), b}), ENOENT);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_EQ(test::readText(homeTrash + "/files/a.txt"), "a");
    EXPECT_EQ(test::readText(homeTrash + "/files/b.txt"), "b");
    EXPECT_TRUE(fs::exists(homeTrash + "/info/b.txt.trashinfo"));
}

TEST_F(TrashTest, EmptyingClearsOurTrashFoldersAndFollowsNoLink) {
    const std::string uid = std::to_string(getuid());
    std::string outside = world.writeFile("outside/precious", "p");
    world.writeFile("data/Trash/files/old/deep/x", "x");
    world.writeFile("data/Trash/info/old.trashinfo", "[Trash Info]\n");
    fs::create_directory_symlink(world.path("outside"), homeTrash + "/files/link");

    world.writeFile("mnt1/.Trash-" + uid + "/files/y", "y");
    world.writeFile("mnt2/.Trash/" + uid + "/files/z", "z");
    chmod(world.path("mnt2/.Trash").c_str(), 01777);
    world.writeFile("mnt3/.Trash/" + uid + "/files/not sticky", "n");
    chmod(world.path("mnt3/.Trash").c_str(), 0777);
    fs::create_directories(world.path("mnt4"));
    fs::create_directory_symlink(world.path("outside"), world.path("mnt4/.Trash-" + uid));

    GioTrash trash =
        trashWith({world.path("mnt1"), world.path("mnt2"), world.path("mnt3"), world.path("mnt4")});
    EXPECT_EQ(trash.emptyTrash(), 0);
    EXPECT_TRUE(fs::is_empty(homeTrash + "/files"));
    EXPECT_TRUE(fs::is_empty(homeTrash + "/info"));
    EXPECT_TRUE(fs::is_empty(world.path("mnt1/.Trash-" + uid + "/files")));
    EXPECT_TRUE(fs::is_empty(world.path("mnt2/.Trash/" + uid + "/files")));
    EXPECT_TRUE(fs::exists(world.path("mnt3/.Trash/" + uid + "/files/not sticky")));
    EXPECT_EQ(test::readText(outside), "p");
}

TEST_F(TrashTest, ATrashFolderSwappedForALinkAfterItsCheckEmptiesNothingElse) {
    const std::string uid = std::to_string(getuid());
    const std::string precious = world.writeFile("proj/files/mine", "m");
    world.writeFile("proj/info/mine.txt", "i");
    fs::create_directories(world.path("mnt/.Trash"));
    chmod(world.path("mnt/.Trash").c_str(), 01777);
    for (const std::string& trash : Lines{"data/Trash", "mnt/.Trash/" + uid, "mnt/.Trash-" + uid}) {
        SCOPED_TRACE(trash);
        const std::string folder = world.path(trash);
        world.writeFile(trash + "/files/old", "x");
        GioTrash swapping = trashWith({world.path("mnt")}, [&](const std::string& checked) {
            if (checked != folder)
                return;
            fs::rename(folder, folder + ".real");
            fs::create_directory_symlink(world.path("proj"), folder);
        });
        swapping.emptyTrash();
        EXPECT_EQ(test::readText(precious), "m");
        EXPECT_EQ(test::readText(world.path("proj/info/mine.txt")), "i");
        EXPECT_TRUE(fs::is_empty(folder + ".real/files"))
            << "the folder checked is the one emptied";
        fs::remove(folder);
        fs::remove_all(folder + ".real");
    }
}

// A fake zenity: run n logs its arguments to args.n, prints out.n and err.n and exits with
// exit.n (0 when absent); a progress dialog copies its input to stdin.n until it is ended.
class ZenityTest : public ::testing::Test {
protected:
    ZenityTest() {
        std::string dir = world.path("z");
        fs::create_directories(dir);
        std::string path = world.writeFile(
            "bin/zenity", "#!/bin/sh\nd='" + dir +
                              "'\nn=$(( $(cat \"$d/count\" 2>/dev/null || echo 0) + 1 ))\n"
                              "echo $n > \"$d/count\"\nprintf '%s\\n' \"$@\" > \"$d/args.$n\"\n"
                              "[ -f \"$d/out.$n\" ] && cat \"$d/out.$n\"\n"
                              "[ -f \"$d/err.$n\" ] && cat \"$d/err.$n\" >&2\n"
                              "[ \"$1\" = --progress ] && exec cat > \"$d/stdin.$n\"\n"
                              "exit $(cat \"$d/exit.$n\" 2>/dev/null || echo 0)\n");
        test::makeExecutable(path);
    }

    void script(int run, int exitStatus, const std::string& out = {}, const std::string& err = {}) {
        world.writeFile("z/exit." + std::to_string(run), std::to_string(exitStatus));
        if (!out.empty())
            world.writeFile("z/out." + std::to_string(run), out);
        if (!err.empty())
            world.writeFile("z/err." + std::to_string(run), err);
    }
    Lines args(int run) { return test::readLines(world.path("z/args." + std::to_string(run))); }

    DaemonDialogs::Alert replaceQuestion() {
        return {DaemonDialogs::Level::Caution,
                "The following item exists",
                "a_b & <c>\\d",
                "YES",
                "CANCEL",
                "NO"};
    }

    test::TempWorld world;
    // The fake comes first; the shell tools it uses follow.
    test::ScopedEnv path{"PATH", world.root() + "/bin:/usr/bin:/bin"};
    ZenityDialogs dialogs;
};

TEST_F(ZenityTest, AThreeButtonQuestionTellsItsButtonsApart) {
    script(2, 1, "NO\n");
    script(3, 1);
    EXPECT_EQ(dialogs.showAlert(replaceQuestion()), Response::Default);
    EXPECT_EQ(dialogs.showAlert(replaceQuestion()), Response::Other);
    EXPECT_EQ(dialogs.showAlert(replaceQuestion()), Response::Alternate);
    EXPECT_EQ(args(1),
              (Lines{"--question", "--icon-name=dialog-warning", "--ok-label=YES",
                     "--cancel-label=CANCEL", "--extra-button=NO", "--no-markup", "--title=Presto",
                     "--text=The following item exists", "", "a_b & <c>\\\\d"}));
}

TEST_F(ZenityTest, APanelWithoutADisplayOrZenityCountsAsNotShown) {
    script(1, 1, {}, "(zenity:1): Gtk-WARNING **: cannot open display: \n");
    script(2, 255);
    EXPECT_EQ(dialogs.showAlert(replaceQuestion()), Response::NotShown);
    EXPECT_EQ(dialogs.showAlert(replaceQuestion()), Response::NotShown);
    std::vector<DaemonDialogs::Field> fields{{"New Name:", "x"}};
    script(3, 1, {}, "cannot open display: :0\n");
    EXPECT_EQ(dialogs.askFields("Copy", "m", fields, "CANCEL"), Response::NotShown);

    test::ScopedEnv nowhere("PATH", world.path("empty"));
    EXPECT_EQ(dialogs.showAlert(replaceQuestion()), Response::NotShown);
    EXPECT_EQ(dialogs.showProgress("Now Copying...", "x", false), nullptr);
}

TEST_F(ZenityTest, NoticesAndAlertsKeepTheSystemTitleUnlessGivenOne) {
    EXPECT_EQ(dialogs.showAlert({DaemonDialogs::Level::Note, "Path=/x", "User=me", "", "", ""}),
              Response::Default);
    EXPECT_EQ(args(1),
              (Lines{"--info", "--no-markup", "--title=Presto", "--text=Path=/x", "", "User=me"}));
    script(2, 1);
    EXPECT_EQ(
        dialogs.showAlert({DaemonDialogs::Level::Note, "Path=/y", "User=me", "", "CANCEL", ""}),
        Response::Alternate);
    EXPECT_EQ(args(2).at(0), "--question");
    EXPECT_EQ(args(2).at(1), "--ok-label=OK");
    EXPECT_EQ(dialogs.showAlert({DaemonDialogs::Level::Caution, "x was not copied",
                                 "Result Code:-36", "OK", "", ""}),
              Response::Default);
    EXPECT_EQ(args(3).at(0), "--warning");
    EXPECT_EQ(args(3).at(1), "--ok-label=OK");
}

TEST_F(ZenityTest, EachPrefilledFieldIsAnEntryOfItsOwnAndCancelInAnyCancels) {
    script(1, 0, "summary\n");
    script(2, 0, "\n");
    std::vector<DaemonDialogs::Field> fields{{"New Name:", "report"}, {"Extension:", "txt"}};
    EXPECT_EQ(dialogs.askFields("Copy", "  /a/report.txt\nto\n  /b/\n", fields, "CANCEL"),
              Response::Default);
    EXPECT_EQ(fields[0].value, "summary");
    EXPECT_EQ(fields[1].value, "");
    EXPECT_EQ(args(1), (Lines{"--entry", "--title=Copy", "--text=  /a/report.txt", "to", "  /b/",
                              "", "New Name:", "--entry-text=report", "--cancel-label=CANCEL"}));
    EXPECT_EQ(args(2).at(6), "Extension:");
    EXPECT_EQ(args(2).at(7), "--entry-text=txt");

    script(3, 0, "kept\n");
    script(4, 1);
    std::vector<DaemonDialogs::Field> again{{"New Name:", "report"}, {"Extension:", "txt"}};
    EXPECT_EQ(dialogs.askFields("Move", "m", again, "CANCEL"), Response::Alternate);
    EXPECT_EQ(again[0].value, "report") << "nothing is taken from a cancelled form";
}

TEST_F(ZenityTest, TheProgressNoticeHasNoCancelAndEndsWithTheDaemon) {
    auto pulsing = dialogs.showProgress("Now Copying...", "report & co", false);
    ASSERT_NE(pulsing, nullptr);
    ASSERT_TRUE(test::eventually([&] { return fs::exists(world.path("z/args.1")); }));
    ASSERT_TRUE(test::eventually([&] { return args(1).size() == 7; }));
    EXPECT_EQ(args(1), (Lines{"--progress", "--no-cancel", "--title=Presto",
                              "--text=Now Copying...", "", "report &amp; co", "--pulsate"}));
    pulsing.reset();

    auto measured = dialogs.showProgress("Now Moving...", "big", true);
    ASSERT_NE(measured, nullptr);
    measured->setProgress(0.25);
    measured->setProgress(1.0);
    EXPECT_TRUE(test::eventually([&] {
        return test::readText(world.path("z/stdin.2")) == "25\n99\n";
    })) << test::readText(world.path("z/stdin.2"));
    measured.reset();
}

TEST(SystemctlPower, AsksTheSystemctlFirstOnPathAndNothingWithoutOne) {
    test::TempWorld world;
    std::string log = world.path("log");
    test::makeExecutable(
        world.writeFile("bin/systemctl", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + log + "'\n"));
    {
        test::ScopedEnv path("PATH", world.root() + "/bin");
        SystemctlPower power;
        EXPECT_EQ(power.request(SessionPower::Action::Sleep), 0);
        ASSERT_TRUE(test::eventually([&] { return test::readLines(log).size() == 1; }));
        EXPECT_EQ(power.request(SessionPower::Action::Restart), 0);
        ASSERT_TRUE(test::eventually([&] { return test::readLines(log).size() == 2; }));
        EXPECT_EQ(power.request(SessionPower::Action::ShutDown), 0);
        ASSERT_TRUE(test::eventually([&] { return test::readLines(log).size() == 3; }));
        EXPECT_EQ(test::readLines(log), (Lines{"suspend", "reboot", "poweroff"}));
    }
    test::ScopedEnv empty("PATH", world.path("nothing here"));
    EXPECT_EQ(SystemctlPower().request(SessionPower::Action::Sleep), ENOENT);
}

} // namespace
} // namespace presto
