// The search for the configuration application in the folders where Linux keeps programs, and
// the version mark it goes by.
#include "assist/FolderSearch.h"

#include "common/ProgramVersion.h"
#include "common/Version.h"
#include "tests/assist/AssistTestSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempWorld.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace presto {
namespace {

namespace fs = std::filesystem;

class FolderSearchTest : public ::testing::Test {
protected:
    // A copy made in a later tick of the file system's clock than `previous`, so that "newer"
    // holds however coarse the clock is.
    std::string copyAfter(const std::string& path, const std::string& previous,
                          const std::string& version = "5.1.1") {
        auto created = [](const std::string& p) {
            struct statx info {};
            ::statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME | STATX_CTIME, &info);
            const auto& t = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime;
            return std::pair(t.tv_sec, t.tv_nsec);
        };
        EXPECT_TRUE(test::processEventsUntil([&] {
            fs::remove(path);
            test::fakeConfigurationApp(path, version, marker);
            return created(path) > created(previous);
        }));
        return path;
    }

    test::TempWorld world;
    std::string marker = world.path("ran");
};

TEST_F(FolderSearchTest, CopiesOfItsOwnVersionOnlyTheNewestLast) {
    SearchPlaces places;
    places.folders = {world.path("opt/Presto"), world.path("own"), world.path("path1"),
                      world.path("path2"), world.path("empty")};
    test::fakeConfigurationApp(world.path("opt/Presto/Presto"), "5.1.10", marker);
    const std::string older =
        test::fakeConfigurationApp(world.path("path1/Presto"), "5.1.1", marker);
    // Found earlier in the order of the places, but made later.
    const std::string newer = copyAfter(world.path("own/Presto"), older);
    // Neither a file that may not run nor a folder is a program.
    world.writeFile("path2/Presto", "# @(#)Presto 5.1.1\n");
    fs::create_directories(world.path("empty/Presto"));

    EXPECT_EQ(findConfigurationApplications(places, "5.1.1"),
              (std::vector<std::string>{older, newer}));
    EXPECT_EQ(findConfigurationApplications(places, "5.1.10"),
              std::vector<std::string>{world.path("opt/Presto/Presto")});
    EXPECT_TRUE(findConfigurationApplications(places, "5.1").empty());
    EXPECT_FALSE(fs::exists(marker)) << "the search ran a program it found";
}

TEST_F(FolderSearchTest, OneFileReachedTwiceCountsOnce) {
    SearchPlaces places;
    places.folders = {world.path("opt/Presto"), world.path("bin"), world.path("opt/Presto")};
    const std::string app =
        test::fakeConfigurationApp(world.path("opt/Presto/Presto"), "5.1.1", marker);
    fs::create_directories(world.path("bin"));
    fs::create_symlink(app, world.path("bin/Presto"));
    EXPECT_EQ(findConfigurationApplications(places, "5.1.1"), std::vector<std::string>{app});
}

TEST_F(FolderSearchTest, DesktopEntriesNameTheProgramByPathOrThroughPath) {
    const std::string spaced =
        test::fakeConfigurationApp(world.path("apps dir/Presto"), "5.1.1", marker);
    world.writeFile("share1/applications/com.nimbo.Presto.desktop",
                    "[Desktop Action new]\nExec=/bin/false\n\n[Desktop Entry]\nType=Application\n"
                    "Name=Presto\nExec=\"" +
                        spaced + "\" %F\n");
    // A bare name is looked up in PATH; it need not be called Presto there.
    const std::string renamed =
        test::fakeConfigurationApp(world.path("tools/presto-config"), "5.1.1", marker);
    world.writeFile("share2/applications/com.nimbo.Presto.desktop",
                    "[Desktop Entry]\nExec = presto-config --x\n");
    world.writeFile("share3/applications/com.nimbo.Presto.desktop", "[Desktop Entry]\nName=x\n");

    SearchPlaces places;
    places.pathFolders = {world.path("nothing"), world.path("tools")};
    places.applicationFolders = {world.path("share1/applications"),
                                 world.path("share2/applications"),
                                 world.path("share3/applications")};
    const auto found = findConfigurationApplications(places, "5.1.1");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(std::find(found.begin(), found.end(), spaced), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), renamed), found.end());
    EXPECT_EQ(desktopEntryProgram(world.path("share3/applications/com.nimbo.Presto.desktop"),
                                  places.pathFolders),
              "");
}

TEST_F(FolderSearchTest, PlacesComeFromTheEnvironmentInTheirOrder) {
    test::ScopedEnv path("PATH", "/usr/bin:relative:/bin");
    test::ScopedEnv data("XDG_DATA_HOME", world.path("data"));
    test::ScopedEnv dirs("XDG_DATA_DIRS", std::nullopt);
    const SearchPlaces places = SearchPlaces::fromEnvironment("/opt/Presto", "/build/bin");
    EXPECT_EQ(places.folders,
              (std::vector<std::string>{"/opt/Presto", "/build/bin", "/usr/bin", "/bin"}));
    EXPECT_EQ(
        places.applicationFolders,
        (std::vector<std::string>{world.path("data") + "/applications",
                                  "/usr/local/share/applications", "/usr/share/applications"}));
}

TEST_F(FolderSearchTest, SearchRunsOffTheCallersThreadAndAnswersOnIt) {
    test::application();
    SearchPlaces places;
    places.folders = {world.path("own")};
    const std::string app = test::fakeConfigurationApp(world.path("own/Presto"), "5.1.1", marker);
    FolderApplicationSearch search(places);
    std::optional<std::vector<std::string>> result;
    std::thread::id answeredOn;
    search.start("5.1.1", [&](const std::vector<std::string>& paths) {
        result = paths;
        answeredOn = std::this_thread::get_id();
    });
    EXPECT_FALSE(result) << "answered before the event loop ran";
    ASSERT_TRUE(test::processEventsUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, std::vector<std::string>{app});
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
}

TEST(VersionMarkTest, TheBuiltProgramsCarryTheirVersionAndOnlyAWholeMarkCounts) {
    const char* bin = std::getenv("PRESTO_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    EXPECT_EQ(readVersionMark(std::string(bin) + "/Presto", "Presto"), PRESTO_BUNDLE_VERSION);
    EXPECT_EQ(readVersionMark(std::string(bin) + "/PrestoAssist", "Presto"), std::nullopt)
        << "the assistant's own mark or search text passed for the application's";

    test::TempWorld world;
    auto markOf = [&](const std::string& text) {
        return readVersionMark(world.writeFile("f", text), "Presto");
    };
    const char twoMarks[] = "x\0@(#)Presto \0@(#)Presto 2.10.3\0y";
    EXPECT_EQ(markOf(std::string(twoMarks, sizeof twoMarks - 1)), "2.10.3");
    EXPECT_EQ(markOf("@(#)PrestoAssist 5.1.1"), std::nullopt);
    EXPECT_EQ(markOf("@(#)Presto .1"), std::nullopt);
    EXPECT_EQ(markOf(""), std::nullopt);
    EXPECT_EQ(readVersionMark(world.path("missing"), "Presto"), std::nullopt);
}

} // namespace
} // namespace presto
