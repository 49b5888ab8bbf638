#include "common/Locations.h"

#include "tests/support/OtherUser.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempWorld.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {
namespace {

using test::ScopedEnv;

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// Every variable unset but TMPDIR, which points the shared temporary folder into the test's own.
class Fallbacks : public ::testing::Test {
protected:
    Fallbacks() { ::mkdir(tmp.c_str(), 0700); }

    test::TempWorld world;
    std::string tmp = world.root() + "/tmp";
    ScopedEnv tmpdir{"TMPDIR", tmp};
    ScopedEnv home{"HOME", std::nullopt};
    ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnv runtime{"XDG_RUNTIME_DIR", std::nullopt};
    ScopedEnv socket{"PRESTO_SOCKET_PATH", std::nullopt};
    std::string runtimeDir = tmp + "/Presto-" + std::to_string(::getuid());
};

TEST(SocketPath, IsPrivateToTheUserWhereverItLies) {
    test::TempWorld world;
    {
        ScopedEnv socket("PRESTO_SOCKET_PATH", std::nullopt);
        Locations loc = Locations::fromEnvironment();
        EXPECT_EQ(loc.socketPath, world.root() + "/runtime/Presto_socket");
        EXPECT_EQ(loc.runtimeDir, world.root() + "/runtime/Presto");
        EXPECT_FALSE(loc.runtimeIsFallback);
        EXPECT_FALSE(loc.socketIsOverride);
    }
    {
        ScopedEnv socket("PRESTO_SOCKET_PATH", "/somewhere/else");
        Locations loc = Locations::fromEnvironment();
        EXPECT_EQ(loc.socketPath, "/somewhere/else");
        EXPECT_TRUE(loc.socketIsOverride);
    }
}

TEST_F(Fallbacks, LieInFoldersOfTheirOwnUnderTheTemporaryFolder) {
    Locations loc = Locations::fromEnvironment();
    EXPECT_EQ(loc.socketPath, runtimeDir + "/Presto_socket");
    EXPECT_EQ(loc.runtimeDir, runtimeDir);
    EXPECT_EQ(loc.dataFolder(), tmp + "/Presto");
    EXPECT_EQ(loc.preferencesDir, tmp + "/Presto");
    EXPECT_TRUE(loc.runtimeIsFallback && loc.dataIsFallback && loc.preferencesIsFallback);
}

TEST_F(Fallbacks, MissingFoldersAreMadePrivate) {
    const mode_t oldMask = ::umask(0);
    Locations loc = Locations::fromEnvironment();
    EXPECT_TRUE(loc.securePrivateFolders(~0u, "test"));
    ::umask(oldMask);
    EXPECT_EQ(modeOf(runtimeDir), 0700u);
    EXPECT_EQ(modeOf(tmp + "/Presto"), 0700u);
    // And a second program finds them as they should be.
    EXPECT_TRUE(loc.securePrivateFolders(~0u, "test"));
}

TEST_F(Fallbacks, AFolderOthersMayWriteIsRefusedNotTightened) {
    Locations loc = Locations::fromEnvironment();
    ASSERT_EQ(::mkdir(runtimeDir.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(runtimeDir.c_str(), 0777), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loc.securePrivateFolders(Locations::UsesSocket, "PrestoKeys"));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("PrestoKeys: refusing the folder " + runtimeDir), std::string::npos);
    EXPECT_NE(said.find("0777"), std::string::npos) << said;
    EXPECT_EQ(modeOf(runtimeDir), 0777u);
    // Only programs that use the folder refuse.
    EXPECT_TRUE(loc.securePrivateFolders(Locations::UsesData, "test"));
    EXPECT_EQ(privateFolderProblem(runtimeDir, false).value_or(""), "its mode is 0777, not 0700");
}

TEST_F(Fallbacks, TheDataAndPreferenceFolderFollowTheSameRule) {
    Locations loc = Locations::fromEnvironment();
    const std::string shared = tmp + "/Presto";
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loc.securePrivateFolders(Locations::UsesData, "Presto"));
    EXPECT_FALSE(loc.securePrivateFolders(Locations::UsesPreferences, "Presto"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("refusing the folder " + shared),
              std::string::npos);
    EXPECT_TRUE(loc.securePrivateFolders(Locations::UsesSocket, "test"));
}

TEST_F(Fallbacks, ALinkOrAFileIsNoFolder) {
    ASSERT_EQ(::symlink(world.root().c_str(), runtimeDir.c_str()), 0);
    EXPECT_EQ(privateFolderProblem(runtimeDir, true).value_or(""),
              "it is a symbolic link, not a folder");
    world.writeFile("tmp/Presto", "");
    EXPECT_EQ(privateFolderProblem(tmp + "/Presto", true).value_or(""), "it is not a folder");
}

TEST_F(Fallbacks, AFolderOfAnotherUserIsRefused) {
    auto other = test::OtherUser::find();
    if (!other)
        GTEST_SKIP() << test::kNeedsRoot;
    ASSERT_EQ(::mkdir(runtimeDir.c_str(), 0700), 0);
    ASSERT_EQ(::chown(runtimeDir.c_str(), other->uid, other->gid), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Locations::fromEnvironment().securePrivateFolders(~0u, "Presto.daemon"));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(runtimeDir + ": it belongs to another user (uid " +
                        std::to_string(other->uid) + ")"),
              std::string::npos)
        << said;
}

} // namespace
} // namespace presto
