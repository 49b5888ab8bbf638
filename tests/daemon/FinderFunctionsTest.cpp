#include "daemon/FinderFunctions.h"

#include "daemon/FinderQueries.h"
#include "platform/linux/GioTrash.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/MemoryPasteboard.h"
#include "tests/support/RecordingServices.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stop_token>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace presto {
namespace {

namespace fs = std::filesystem;
using Response = DaemonDialogs::Response;
using Request = test::ScriptedDialogs::Request;

using test::readText;

class FinderFunctionsTest : public ::testing::Test {
protected:
    FinderFunctionsTest() {
        fs::create_directories(desktop);
        finder.setDesktopFolder(desktop);
    }

    std::string folder(const std::string& relative) {
        std::string path = world.path(relative);
        fs::create_directories(path);
        return path;
    }

    std::optional<std::string> clipboardText() {
        auto data = pasteboard.contents("public.utf8-plain-text");
        return data ? std::optional<std::string>(std::string(data->begin(), data->end()))
                    : std::nullopt;
    }

    void runWorkers() {
        auto work = std::move(workers);
        workers.clear();
        for (auto& job : work)
            job({});
    }

    test::TempWorld world;
    std::string desktop = world.path("home/Desktop");
    test::ScriptedFinder finder;
    test::MemoryPasteboard pasteboard;
    test::ScriptedDialogs dialogs;
    test::RecordingSessionPower power;
    test::RecordingTrash trash;
    std::vector<FinderFunctions::Work> workers;
    FinderFunctions functions{
        power,      trash,   finder,
        pasteboard, dialogs, [this](FinderFunctions::Work job) { workers.push_back(job); }};
};

TEST_F(FinderFunctionsTest, EachCatalogueNumberReachesItsAction) {
    std::string file = world.writeFile("work/a.txt", "a");
    finder.setSelection({file});
    finder.setFrontWindowFolder(world.path("work"));

    for (int number : {1, 2, 3})
        EXPECT_EQ(functions.LaunchFinderSystem(number), kNoErr);
    using Action = SessionPower::Action;
    EXPECT_EQ(power.requests(), (std::vector{Action::Sleep, Action::Restart, Action::ShutDown}));

    EXPECT_EQ(functions.LaunchFinderSystem(11), kNoErr);
    EXPECT_EQ(trash.emptied(), 1);
    EXPECT_EQ(functions.LaunchFinderSystem(21), kNoErr);
    EXPECT_EQ(trash.trashed(), (std::vector<std::vector<std::string>>{{file}}));

    EXPECT_EQ(functions.LaunchFinderSystem(22), kNoErr);
    EXPECT_TRUE(fs::exists(world.path("work/untitled")));
    EXPECT_EQ(functions.LaunchFinderSystem(23), kNoErr);
    EXPECT_EQ(clipboardText(), "'" + file + "'\r");
    EXPECT_EQ(functions.LaunchFinderSystem(24), kNoErr);
    EXPECT_EQ(clipboardText(), file);

    for (int number = 25; number <= 29; ++number)
        EXPECT_EQ(functions.LaunchFinderSystem(number), kNoErr);
    EXPECT_EQ(workers.size(), 5u) << "each of 25 to 29 hands its work to a worker";
    EXPECT_TRUE(dialogs.requests().empty()) << "the workers have not run yet";
}

TEST_F(FinderFunctionsTest, TheWorkersOf25To29CopyMoveRenameAndShowPermissions) {
    std::string dest = folder("dest");
    finder.setSelection({dest});
    auto offer = [&](const std::string& path) {
        std::string url = "file://" + path + "\n";
        pasteboard.replaceContents("public.file-url", {url.begin(), url.end()});
    };
    std::string a = world.writeFile("src/a.txt", "a");
    offer(a);
    functions.LaunchFinderSystem(25);
    runWorkers();
    EXPECT_EQ(readText(dest + "/a.txt"), "a");
    EXPECT_TRUE(fs::exists(a));

    dialogs.answer(Response::Default, std::vector<std::string>{"b", "txt"});
    functions.LaunchFinderSystem(27);
    runWorkers();
    EXPECT_EQ(readText(dest + "/b.txt"), "a");
    EXPECT_TRUE(fs::exists(a));

    dialogs.answer(Response::Default, std::vector<std::string>{"c", "txt"});
    functions.LaunchFinderSystem(28);
    runWorkers();
    EXPECT_EQ(readText(dest + "/c.txt"), "a");
    EXPECT_FALSE(fs::exists(a));

    std::string d = world.writeFile("src/d", "d");
    offer(d);
    functions.LaunchFinderSystem(26);
    runWorkers();
    EXPECT_EQ(readText(dest + "/d"), "d");
    EXPECT_FALSE(fs::exists(d));

    dialogs.answer(Response::Default);
    functions.LaunchFinderSystem(29);
    runWorkers();

    auto forms = dialogs.requestsOf(Request::Fields);
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_EQ(forms[0].header, "Copy");
    EXPECT_EQ(forms[1].header, "Move");
    auto panels = dialogs.requestsOf(Request::Alert);
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_TRUE(panels[0].alert.header.starts_with("Path=" + dest + "/\nuid="));
    EXPECT_TRUE(dialogs.allAnswered());
}

TEST_F(FinderFunctionsTest, AWorkerAskedToStopMovesNothingAndShowsNoPanel) {
    std::string dest = folder("dest");
    std::string a = world.writeFile("src/a.txt", "a");
    std::string url = "file://" + a + "\n";
    pasteboard.replaceContents("public.file-url", {url.begin(), url.end()});
    std::stop_source stopping;
    stopping.request_stop();
    auto runStopped = [&] {
        for (auto& job : std::exchange(workers, {}))
            job(stopping.get_token());
    };
    finder.setSelection({dest});
    functions.LaunchFinderSystem(26);
    runStopped();
    finder.setSelection({a, dest});
    functions.LaunchFinderSystem(29);
    runStopped();
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::is_empty(dest));
    EXPECT_TRUE(pasteboard.contents("public.file-url")) << "a move that never began keeps it";
    EXPECT_TRUE(dialogs.requests().empty());
}

TEST_F(FinderFunctionsTest, NumbersOutsideTheCatalogueDoNothing) {
    finder.setSelection({world.writeFile("work/a.txt", "a")});
    finder.setFrontWindowFolder(world.path("work"));
    for (int number : {0, -1, 4, 10, 12, 20, 30, 99, 255})
        EXPECT_EQ(functions.LaunchFinderSystem(number), kNoErr) << number;
    EXPECT_TRUE(power.requests().empty());
    EXPECT_EQ(trash.emptied(), 0);
    EXPECT_TRUE(trash.trashed().empty());
    EXPECT_TRUE(pasteboard.replacements().empty());
    EXPECT_TRUE(workers.empty());
    EXPECT_FALSE(fs::exists(world.path("work/untitled")));
}

TEST_F(FinderFunctionsTest, GetPathQuotesEachSelectedItemWithAReturnAfterIt) {
    std::string file = world.writeFile("Users/a/x.txt", "x");
    std::string dir = folder("Users/a/My Dir");
    std::string quote = world.writeFile("Users/a/it's here", "q");
    pasteboard.replaceContents("public.tiff", {1, 2, 3});

    finder.setSelection({file, dir, quote});
    EXPECT_EQ(functions.GetPath(), kNoErr);
    EXPECT_EQ(clipboardText(),
              "'" + file + "'\r'" + dir + "/'\r'" + world.root() + "/Users/a/it'\\''s here'\r");
    EXPECT_FALSE(pasteboard.contents("public.tiff")) << "the text replaces the clipboard";
}

TEST_F(FinderFunctionsTest, GetPathWithNothingSelectedGivesTheFrontFolderOrTheDesktop) {
    EXPECT_EQ(functions.GetPath(), kNoErr);
    EXPECT_EQ(clipboardText(), "'" + desktop + "/'");

    std::string front = folder("front folder");
    finder.setFrontWindowFolder(front);
    EXPECT_EQ(functions.GetPath(), kNoErr);
    EXPECT_EQ(clipboardText(), "'" + front + "/'");
}

TEST_F(FinderFunctionsTest, GetFileListListsOneSelectedItemOrElseTheFrontFolder) {
    std::string listed = folder("listed");
    world.writeFile("listed/b file", "");
    world.writeFile("listed/a", "");
    std::string front = folder("front");
    world.writeFile("front/only", "");
    finder.setFrontWindowFolder(front);

    finder.setSelection({listed});
    EXPECT_EQ(functions.GetFileList(), kNoErr);
    EXPECT_EQ(clipboardText(), "a\nb file");

    finder.setSelection({listed, world.writeFile("other", "")});
    EXPECT_EQ(functions.GetFileList(), kNoErr);
    EXPECT_EQ(clipboardText(), "only");

    finder.setSelection({});
    finder.setFrontWindowFolder(std::nullopt);
    world.writeFile("home/Desktop/on desktop", "");
    EXPECT_EQ(functions.GetFileList(), kNoErr);
    EXPECT_EQ(clipboardText(), "on desktop");
}

TEST_F(FinderFunctionsTest, AFailedListingLeavesTheClipboardAlone) {
    pasteboard.replaceContents("public.utf8-plain-text", {'o', 'l', 'd'});
    finder.setSelection({world.path("vanished")});
    EXPECT_NE(functions.GetFileList(), kNoErr);
    EXPECT_EQ(clipboardText(), "old");
    EXPECT_EQ(pasteboard.replacements().size(), 1u);
}

TEST_F(FinderFunctionsTest, MakeNewFileTakesTheNextFreeUntitledNameAndTruncatesNothing) {
    std::string front = folder("front");
    finder.setFrontWindowFolder(front);
    EXPECT_EQ(functions.MakeNewFile(), kNoErr);
    EXPECT_EQ(functions.MakeNewFile(), kNoErr);
    EXPECT_TRUE(fs::is_regular_file(front + "/untitled"));
    EXPECT_EQ(fs::file_size(front + "/untitled 2"), 0u);

    world.writeFile("front/untitled 3", "keep me");
    EXPECT_EQ(functions.MakeNewFile(), kNoErr);
    EXPECT_EQ(readText(front + "/untitled 3"), "keep me");
    EXPECT_TRUE(fs::exists(front + "/untitled 4"));

    finder.setFrontWindowFolder(std::nullopt);
    EXPECT_EQ(functions.MakeNewFile(), kNoErr);
    EXPECT_TRUE(fs::exists(desktop + "/untitled"));
}

TEST_F(FinderFunctionsTest, MoveToTrashHandsOverTheSelectionInOrderAndNothingWithout) {
    EXPECT_EQ(functions.DeleteItem(), kNoErr);
    EXPECT_TRUE(trash.trashed().empty());
    std::string a = world.writeFile("b", ""), b = world.writeFile("a", "");
    finder.setSelection({a, b});
    EXPECT_EQ(functions.DeleteItem(), kNoErr);
    EXPECT_EQ(trash.trashed(), (std::vector<std::vector<std::string>>{{a, b}}));
}

TEST_F(FinderFunctionsTest, MoveToTrashAndEmptyTrashUseTheTrashOfTheTemporaryWorld) {
    const std::string trashFolder = world.root() + "/data/Trash";
    GioTrash realTrash({trashFolder, [] { return std::vector<std::string>{}; }, false, {}});
    FinderFunctions real(power, realTrash, finder, pasteboard, dialogs);
    std::string a = world.writeFile("work/a.txt", "a"), b = world.writeFile("work/b.txt", "b");
    finder.setSelection({a, b});
    EXPECT_EQ(real.LaunchFinderSystem(21), kNoErr);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(readText(trashFolder + "/files/a.txt"), "a");
    EXPECT_EQ(readText(trashFolder + "/files/b.txt"), "b");

    finder.setSelection({});
    std::string kept = world.writeFile("work/kept", "k");
    EXPECT_EQ(real.LaunchFinderSystem(21), kNoErr);
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::is_empty(trashFolder + "/files")) << "nothing selected, nothing trashed";

    EXPECT_EQ(real.LaunchFinderSystem(11), kNoErr);
    EXPECT_TRUE(fs::is_empty(trashFolder + "/files"));
    EXPECT_TRUE(fs::is_empty(trashFolder + "/info"));
    EXPECT_TRUE(fs::exists(kept));
}

TEST_F(FinderFunctionsTest, TheDestinationIsTheFirstSelectedItemElseTheFrontFolderOrDesktop) {
    EXPECT_EQ(FinderQueries(finder).destination(), "'" + desktop + "/'");
    std::string front = folder("it's front");
    finder.setFrontWindowFolder(front);
    EXPECT_EQ(FinderQueries(finder).destination(), "'" + world.root() + "/it'\\''s front/'");
    std::string file = world.writeFile("a:b\nc", "");
    finder.setSelection({file, front});
    EXPECT_EQ(FinderQueries(finder).destination(), "'" + file + "'");
}

class ShowPermissionTest : public FinderFunctionsTest {
protected:
    std::string userText() {
        std::string groups;
        gid_t list[100];
        int count = getgroups(100, list);
        for (int i = 0; i < count; ++i)
            groups += "[" + std::to_string(list[i]) + "]";
        return "\nuid=" + std::to_string(getuid()) + "\ngid=" + std::to_string(getgid()) +
               "\ngroups=" + groups;
    }
    std::string pathText(const std::string& path) {
        struct stat st {};
        stat(path.c_str(), &st);
        return "Path=" + path + "\nuid=" + std::to_string(st.st_uid) +
               "\ngid=" + std::to_string(st.st_gid) + "\npermission=";
    }
    std::vector<Request> panels() { return dialogs.requestsOf(Request::Alert); }
};

TEST_F(ShowPermissionTest, OnePanelWithoutCancelForOneItem) {
    std::string file = world.writeFile("x.txt", "x");
    chmod(file.c_str(), 0644);
    finder.setSelection({file});
    dialogs.answer(Response::Default);
    functions.ShowPermission();
    runWorkers();
    ASSERT_EQ(panels().size(), 1u);
    const auto panel = panels()[0].alert;
    EXPECT_EQ(panel.header, pathText(file) + "rw-r--r--");
    EXPECT_TRUE(panel.message.starts_with("User="));
    EXPECT_TRUE(panel.message.ends_with(userText())) << panel.message;
    EXPECT_NE(panel.message, "User=" + userText()) << "the login name is never empty";
    EXPECT_EQ(panel.level, DaemonDialogs::Level::Note);
    EXPECT_TRUE(panel.alternateButton.empty());
}

TEST_F(ShowPermissionTest, CancelFromTheSecondPanelOnEndsTheSeries) {
    std::string a = world.writeFile("a", ""), b = folder("b"), c = world.writeFile("c", "");
    chmod(b.c_str(), 0750);
    finder.setSelection({a, b, c});
    dialogs.answer(Response::Default);
    dialogs.answer(Response::Alternate);
    functions.ShowPermission();
    runWorkers();
    auto shown = panels();
    ASSERT_EQ(shown.size(), 2u) << "the third panel never shows";
    EXPECT_TRUE(shown[0].alert.alternateButton.empty());
    EXPECT_EQ(shown[1].alert.alternateButton, "CANCEL");
    EXPECT_EQ(shown[1].alert.header, pathText(b + "/") + "rwxr-x---");
}

TEST_F(ShowPermissionTest, EachSelectedNameIsOnePanelWhateverItHoldsAndNothingWithout) {
    functions.ShowPermission();
    runWorkers();
    EXPECT_TRUE(panels().empty());

    std::string colon = world.writeFile("a:b.txt", ""), feed = world.writeFile("two\nlines:", "");
    chmod(colon.c_str(), 0600);
    chmod(feed.c_str(), 0640);
    finder.setSelection({colon, feed});
    dialogs.answer(Response::Default);
    dialogs.answer(Response::Default);
    functions.ShowPermission();
    runWorkers();
    auto shown = panels();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].alert.header, pathText(colon) + "rw-------");
    EXPECT_EQ(shown[1].alert.header, pathText(feed) + "rw-r-----");
    EXPECT_EQ(shown[1].alert.alternateButton, "CANCEL");
}

TEST_F(ShowPermissionTest, APanelThatCannotShowIsSkipped) {
    finder.setSelection({world.writeFile("a", ""), world.writeFile("b", "")});
    dialogs.answer(Response::NotShown);
    dialogs.answer(Response::Default);
    functions.ShowPermission();
    runWorkers();
    EXPECT_EQ(panels().size(), 2u);
}

} // namespace
} // namespace presto
