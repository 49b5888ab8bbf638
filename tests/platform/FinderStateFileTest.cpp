#include "platform/linux/FinderStateFile.h"

#include "tests/support/OtherUser.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

using Paths = std::vector<std::string>;

class FinderStateFileTest : public ::testing::Test {
protected:
    FinderStateFile finder() const {
        return FinderStateFile(stateFile_, world_.path("home"), world_.path("config"));
    }
    void writeState(const std::string& text) { world_.writeFile("runtime/Presto/finder", text); }
    void writeUserDirs(const std::string& text) { world_.writeFile("config/user-dirs.dirs", text); }

    test::TempWorld world_;
    std::string stateFile_ = world_.path("runtime/Presto/finder");
};

TEST_F(FinderStateFileTest, WithoutTheFileNoWindowIsOpenAndNothingIsSelected) {
    EXPECT_EQ(finder().frontWindowFolder(), std::nullopt);
    EXPECT_TRUE(finder().selection().empty());
}

TEST_F(FinderStateFileTest, ReadsWindowAndSelection) {
    struct Case {
        const char* text;
        std::optional<std::string> front;
        Paths selection;
    };
    const Case cases[] = {
        {"/home/u/Docs\n", "/home/u/Docs", {}},
        {"/home/u/Docs", "/home/u/Docs", {}},
        {"\n/a\n/b c\n", std::nullopt, {"/a", "/b c"}},
        {"/w\n/a\n\n/b\n\n", "/w", {"/a", "/b"}},
        {"/w\n/a", "/w", {"/a"}},
        {"", std::nullopt, {}},
    };
    for (const Case& c : cases) {
        writeState(c.text);
        EXPECT_EQ(finder().frontWindowFolder(), c.front) << c.text;
        EXPECT_EQ(finder().selection(), c.selection) << c.text;
    }
}

TEST_F(FinderStateFileTest, OnlyAbsolutePathsAreTaken) {
    // A line that is not a path could become an option of the program it is handed to.
    writeState("-c\n--eval=import os\n/real\nrelative/path\n -x\n/also real\n");
    EXPECT_EQ(finder().frontWindowFolder(), std::nullopt);
    EXPECT_EQ(finder().selection(), (Paths{"/real", "/also real"}));
}

TEST_F(FinderStateFileTest, OnlyARegularFileOfTheUserOfSaneSizeIsBelieved) {
    std::filesystem::create_directories(world_.path("runtime/Presto"));
    // A FIFO nobody writes to would block, /dev/zero would never end.
    ASSERT_EQ(::mkfifo(stateFile_.c_str(), 0600), 0);
    EXPECT_TRUE(finder().selection().empty());
    EXPECT_EQ(finder().frontWindowFolder(), std::nullopt);
    std::filesystem::remove(stateFile_);
    std::filesystem::create_symlink("/dev/zero", stateFile_);
    EXPECT_TRUE(finder().selection().empty());
    std::filesystem::remove(stateFile_);

    std::string big = "/w\n";
    while (big.size() <= 1024 * 1024)
        big += "/selected/item\n";
    writeState(big);
    EXPECT_TRUE(finder().selection().empty()) << "more than 1 MiB";
    big.resize(1024 * 1024 - 1);
    big += "\n";
    writeState(big);
    EXPECT_FALSE(finder().selection().empty()) << "1 MiB is allowed";
}

TEST_F(FinderStateFileTest, AFileOfAnotherUserIsNotBelieved) {
    auto other = test::OtherUser::find();
    if (!other)
        GTEST_SKIP() << test::kNeedsRoot;
    writeState("/w\n/a\n");
    ASSERT_EQ(::chown(stateFile_.c_str(), other->uid, other->gid), 0);
    EXPECT_TRUE(finder().selection().empty());
    EXPECT_EQ(finder().frontWindowFolder(), std::nullopt);
}

TEST_F(FinderStateFileTest, SeesEveryChangeOfTheFile) {
    FinderStateFile state = finder();
    writeState("\n/first\n");
    EXPECT_EQ(state.selection(), Paths{"/first"});
    writeState("/w\n/second\n");
    EXPECT_EQ(state.selection(), Paths{"/second"});
    EXPECT_EQ(state.frontWindowFolder(), "/w");
}

TEST_F(FinderStateFileTest, DesktopComesFromUserDirs) {
    const std::string home = world_.path("home");
    struct Case {
        const char* text;
        std::string desktop;
    };
    const Case cases[] = {
        {"# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"
         "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n",
         home + "/Schreibtisch"},
        {"XDG_DESKTOP_DIR=\"/srv/desk/\"\n", "/srv/desk"},
        {"  XDG_DESKTOP_DIR = \"$HOME/My \\\"Desk\\\"\"\n", home + "/My \"Desk\""},
        {"XDG_DESKTOP_DIR=\"$HOME\"\n", home},
        {"XDG_DESKTOP_DIR=\"/first\"\nXDG_DESKTOP_DIR=\"/second\"\n", "/second"},
        // Relative, unquoted or other variables are not allowed: the default applies.
        {"XDG_DESKTOP_DIR=\"Desktop2\"\n", home + "/Desktop"},
        {"XDG_DESKTOP_DIR=$HOME/Bare\n", home + "/Desktop"},
        {"XDG_DESKTOP_DIR=\"$HOMEWORK/x\"\n", home + "/Desktop"},
        {"XDG_DESKTOP_DIR=\"/unterminated\n", home + "/Desktop"},
        {"#XDG_DESKTOP_DIR=\"/commented\"\n", home + "/Desktop"},
    };
    for (const Case& c : cases) {
        writeUserDirs(c.text);
        EXPECT_EQ(finder().desktopFolder(), c.desktop) << c.text;
    }
}

TEST_F(FinderStateFileTest, DesktopWithoutUserDirsIsInHome) {
    EXPECT_EQ(finder().desktopFolder(), world_.path("home") + "/Desktop");
}

TEST_F(FinderStateFileTest, ConfigFolderDefaultsToDotConfigInHome) {
    world_.writeFile("home/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    FinderStateFile state(stateFile_, world_.path("home"), "");
    EXPECT_EQ(state.desktopFolder(), world_.path("home") + "/Bureau");
}

TEST_F(FinderStateFileTest, FromEnvironmentUsesTheRuntimeAndConfigFolders) {
    writeState("/front\n/picked\n");
    writeUserDirs("XDG_DESKTOP_DIR=\"/from/config\"\n");
    FinderStateFile state = FinderStateFile::fromEnvironment(world_.locations());
    EXPECT_EQ(state.frontWindowFolder(), "/front");
    EXPECT_EQ(state.selection(), Paths{"/picked"});
    EXPECT_EQ(state.desktopFolder(), "/from/config");
}

} // namespace
} // namespace presto
