#include "common/SnapshotFile.h"

#include "tests/common/FileTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace presto {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes snapshotBytes(const std::string& type, std::uint64_t length, const Bytes& data) {
    Bytes bytes(1 + type.size() + 8);
    bytes[0] = std::uint8_t(type.size());
    std::copy(type.begin(), type.end(), bytes.begin() + 1);
    for (std::size_t i = 0; i < 8; ++i)
        bytes[1 + type.size() + i] = std::uint8_t(length >> (8 * i));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

class SnapshotFileTest : public ::testing::Test {
protected:
    std::string file(const std::string& title = "Clip") const {
        return world.path("data/Presto/PasteboardData/" + title);
    }

    test::TempWorld world;
};

TEST_F(SnapshotFileTest, WritesTypeLengthThenDataAndReadsItBack) {
    PasteboardSnapshot text{kUtf8PlainTextType, {'h', 'i'}};
    ASSERT_TRUE(writeSnapshotFile(file(), text));
    EXPECT_EQ(test::readBytes(file()), snapshotBytes(kUtf8PlainTextType, 2, {'h', 'i'}));
    EXPECT_EQ(readSnapshotFile(file()), text);
    EXPECT_EQ(fs::status(file()).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << "clipboard contents stay private";

    Bytes picture(70000);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = std::uint8_t(i * 7);
    for (const PasteboardSnapshot& snapshot :
         {PasteboardSnapshot{kTiffType, picture}, PasteboardSnapshot{"", {}},
          PasteboardSnapshot{std::string(255, 't'), {0, 0, 0}}}) {
        ASSERT_TRUE(writeSnapshotFile(file(), snapshot));
        EXPECT_EQ(readSnapshotFile(file()), snapshot);
    }
}

TEST_F(SnapshotFileTest, WriterRefusesATypeLongerThan255Bytes) {
    EXPECT_FALSE(writeSnapshotFile(file(), {std::string(256, 't'), {1}}));
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(SnapshotFileTest, ReaderTakesTheLowHalfOfTheLengthAndIgnoresWhatFollows) {
    test::writeBytes(file(), snapshotBytes("t", 0x7700000003, {'a', 'b', 'c', 'z', 'z'}));
    EXPECT_EQ(readSnapshotFile(file()), (PasteboardSnapshot{"t", {'a', 'b', 'c'}}));
}

TEST_F(SnapshotFileTest, EveryCutOfAValidFileFails) {
    Bytes full = snapshotBytes(kTiffType, 5, {1, 2, 3, 4, 5});
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        test::writeBytes(file(), Bytes(full.begin(), full.begin() + std::ptrdiff_t(cut)));
        EXPECT_FALSE(readSnapshotFile(file())) << "cut at " << cut;
    }
    test::writeBytes(file(), full);
    EXPECT_TRUE(readSnapshotFile(file()));
}

TEST_F(SnapshotFileTest, MissingFileFolderOrFifoFails) {
    EXPECT_FALSE(readSnapshotFile(file("missing")));
    fs::create_directories(file("folder"));
    EXPECT_FALSE(readSnapshotFile(file("folder")));
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(readSnapshotFile(file("fifo"))) << "and does not wait for a writer";
}

// Leaves the process 512 MiB more address space than it uses, then reads.
[[maybe_unused]] bool readWithLittleAddressSpace(const std::string& path) {
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    const rlim_t size = pages * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(512) << 20);
    rlimit limit{size, size};
    setrlimit(RLIMIT_AS, &limit);
    return bool(readSnapshotFile(path));
}

// The reader must refuse a length the file cannot hold before it sizes anything by it. Under the
// address sanitizer the address space cannot be limited, so there only the result is checked.
TEST_F(SnapshotFileTest, LengthPromisingMoreThanTheFileHoldsFailsWithoutAllocatingIt) {
    Bytes bytes = snapshotBytes("t", 0xFFFFFFFF, {});
    bytes.resize(20, 'x');
    test::writeBytes(file(), bytes);
    EXPECT_FALSE(readSnapshotFile(file()));

#if !defined(__SANITIZE_ADDRESS__)
    // "fast" forks without running the test again, so the child sees this test's file.
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(std::_Exit(readWithLittleAddressSpace(file()) ? 1 : 0),
                ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(SnapshotFileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    PasteboardSnapshot old{kUtf8PlainTextType, {'o', 'l', 'd'}};
    ASSERT_TRUE(writeSnapshotFile(file(), old));

    // Writes beyond this size fail with EFBIG, as on a full disk.
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous;
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small{1000, previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    bool written = writeSnapshotFile(file(), {kTiffType, Bytes(5000, 1)});
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readSnapshotFile(file()), old);
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(fs::path(file()).parent_path()))
        ++count;
    EXPECT_EQ(count, 1);
}

} // namespace
} // namespace presto
