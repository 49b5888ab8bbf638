#include "common/FileReferences.h"

#include "tests/common/FileTestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace presto {
namespace {

using test::makeLongPath;

std::string asText(const FileRef& ref) {
    return std::string(ref.begin(), ref.end());
}

FileRef fromText(const std::string& text) {
    FileRef ref{};
    std::copy_n(text.begin(), std::min(text.size(), ref.size()), ref.begin());
    return ref;
}

class FileReferencesTest : public ::testing::Test {
protected:
    std::string refsDir() const { return world.locations().referencesDir(); }
    std::vector<fs::path> refsDirEntries() const {
        std::vector<fs::path> entries;
        for (const auto& entry : fs::directory_iterator(refsDir()))
            entries.push_back(entry.path());
        return entries;
    }
    // The reference file a long reference names.
    fs::path fileOf(const FileRef& ref) const {
        return fs::path(refsDir()) / asText(ref).substr(4, 64);
    }

    test::TempWorld world;
    FileReferences refs{world.locations().referencesDir()};
};

TEST_F(FileReferencesTest, PathsUpTo79BytesAreStoredInlineNulPadded) {
    std::string path = world.writeFile("home/notes.txt", "x");
    auto ref = refs.pathMakeRef(path);
    ASSERT_TRUE(ref);
    std::string expected = path + std::string(80 - path.size(), '\0');
    EXPECT_EQ(asText(*ref), expected);
    EXPECT_EQ(refs.refMakePath(*ref), path);

    std::string longest = makeLongPath(world, 79);
    ref = refs.pathMakeRef(longest);
    ASSERT_TRUE(ref);
    EXPECT_EQ(asText(*ref), longest + '\0');
    EXPECT_EQ(refs.refMakePath(*ref), longest);
    EXPECT_FALSE(fs::exists(refsDir())) << "inline references need no folder";
}

TEST_F(FileReferencesTest, LongerPathsGoThroughAPrivateReferenceFile) {
    for (std::size_t length : {80u, 300u, 4095u}) {
        SCOPED_TRACE(length);
        std::string path = makeLongPath(world, length, "len" + std::to_string(length));
        ASSERT_EQ(path.size(), length);
        auto ref = refs.pathMakeRef(path);
        ASSERT_TRUE(ref);
        EXPECT_NE((*ref)[0], '/');
        EXPECT_EQ(test::readBytes(fileOf(*ref)),
                  std::vector<std::uint8_t>(path.begin(), path.end()));
        EXPECT_EQ(refs.refMakePath(*ref), path);
    }
    EXPECT_EQ(fs::status(refsDir()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(refsDirEntries().size(), 3u);
}

TEST_F(FileReferencesTest, MakingTheSameLongReferenceAgainReusesOrRepairsItsFile) {
    std::string path = makeLongPath(world, 200);
    auto first = refs.pathMakeRef(path);
    ASSERT_TRUE(first);
    auto second = refs.pathMakeRef(path);
    EXPECT_EQ(first, second);
    EXPECT_EQ(refsDirEntries().size(), 1u) << "no temporary files stay behind";

    std::ofstream(fileOf(*first), std::ios::trunc) << "damaged";
    EXPECT_FALSE(refs.refMakePath(*first));
    EXPECT_EQ(refs.pathMakeRef(path), first);
    EXPECT_EQ(refs.refMakePath(*first), path);
}

TEST_F(FileReferencesTest, MakingAReferenceNeedsAnAbsolutePathThatExists) {
    EXPECT_FALSE(refs.pathMakeRef(""));
    EXPECT_FALSE(refs.pathMakeRef(world.root() + "/missing"));
    EXPECT_FALSE(refs.pathMakeRef(makeLongPath(world, 150) + "-missing"));

    std::string existing = world.writeFile("home/file", "x");
    fs::current_path(world.root());
    EXPECT_FALSE(refs.pathMakeRef("home/file")) << "relative";
    EXPECT_FALSE(refs.pathMakeRef(existing + std::string(1, '\0') + "tail"));

    std::string tooLong = world.root();
    while (tooLong.size() < FileReferences::kMaxPathLength + 1)
        tooLong += "/.";
    tooLong.resize(FileReferences::kMaxPathLength + 1, '/');
    EXPECT_FALSE(refs.pathMakeRef(tooLong));

    // A symbolic link is a directory entry of its own, even when it leads nowhere.
    std::string dangling = world.path("home/dangling");
    fs::create_symlink(world.root() + "/nowhere", dangling);
    auto ref = refs.pathMakeRef(dangling);
    ASSERT_TRUE(ref);
    EXPECT_EQ(refs.refMakePath(*ref), dangling);
    EXPECT_TRUE(refs.pathMakeRef(world.root())) << "folders count";
}

TEST_F(FileReferencesTest, LongReferenceFailsWhenItsFileCannotBeWritten) {
    fs::create_directories(fs::path(refsDir()).parent_path());
    std::ofstream(refsDir()) << "a file where the folder belongs";
    EXPECT_FALSE(refs.pathMakeRef(makeLongPath(world, 120)));
    EXPECT_TRUE(refs.pathMakeRef(world.writeFile("home/short", "x")));

    // Never below whatever the current folder happens to be.
    fs::current_path(world.root());
    EXPECT_FALSE(FileReferences("References").pathMakeRef(makeLongPath(world, 120, "b")));
    EXPECT_FALSE(fs::exists(world.root() + "/References"));
}

TEST_F(FileReferencesTest, ReferenceFailsOnceItsTargetIsGone) {
    std::string shortPath = world.writeFile("home/short", "x");
    std::string longPath = makeLongPath(world, 300);
    auto shortRef = refs.pathMakeRef(shortPath);
    auto longRef = refs.pathMakeRef(longPath);
    ASSERT_TRUE(shortRef && longRef);
    fs::remove(shortPath);
    fs::remove(longPath);
    EXPECT_FALSE(refs.refMakePath(*shortRef));
    EXPECT_FALSE(refs.refMakePath(*longRef));
}

TEST_F(FileReferencesTest, LongReferenceFailsWhenItsFileIsGoneOrLies) {
    std::string path = makeLongPath(world, 300, "one");
    std::string other = makeLongPath(world, 300, "two");
    auto ref = refs.pathMakeRef(path);
    ASSERT_TRUE(ref);
    fs::path file = fileOf(*ref);

    // Another existing path under this name: the hash no longer matches.
    std::ofstream(file, std::ios::trunc) << other;
    EXPECT_FALSE(refs.refMakePath(*ref));

    std::ofstream(file, std::ios::trunc) << path << '\n';
    EXPECT_FALSE(refs.refMakePath(*ref)) << "a trailing byte";

    fs::remove(file);
    EXPECT_FALSE(refs.refMakePath(*ref));

    fs::create_directory(file);
    EXPECT_FALSE(refs.refMakePath(*ref)) << "a folder in place of the file";
}

TEST_F(FileReferencesTest, MalformedReferenceBytesFail) {
    std::string path = world.writeFile("home/file", "x");
    auto good = refs.pathMakeRef(path);
    auto longGood = refs.pathMakeRef(makeLongPath(world, 100));
    ASSERT_TRUE(good && longGood);
    std::string goodLong = asText(*longGood);

    std::vector<std::pair<const char*, FileRef>> bad = {
        {"all zero", FileRef{}},
        {"no NUL", fromText("/" + std::string(79, 'a'))},
        {"garbage after the NUL", fromText(path + '\0' + "x")},
        {"relative inline path", fromText(path.substr(1))},
        {"unknown marker", fromText("#reF" + goodLong.substr(4))},
        {"upper-case hash", fromText("#ref" + std::string(64, 'A'))},
        {"hash climbing out", fromText("#ref../../../../../../../../../../../../../../etc/passwd")},
        {"bytes after the hash", fromText(goodLong.substr(0, 68) + "z")},
        {"short hash", fromText(goodLong.substr(0, 67))},
    };
    for (const auto& [what, ref] : bad)
        EXPECT_FALSE(refs.refMakePath(ref)) << what;
    EXPECT_EQ(refs.refMakePath(*good), path);
    EXPECT_TRUE(refs.refMakePath(*longGood));
}

} // namespace
} // namespace presto
