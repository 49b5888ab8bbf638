#include "common/DataFile.h"

#include "tests/common/FileTestSupport.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace presto {
namespace {

using test::makeLongPath;
using test::makeRec;
using Bytes = std::vector<std::uint8_t>;

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t size) {
    return Bytes(bytes.begin() + std::ptrdiff_t(from), bytes.begin() + std::ptrdiff_t(from + size));
}

Bytes toVector(const HotKeyRec& rec) {
    auto bytes = rec.toBytes();
    return Bytes(bytes.begin(), bytes.end());
}

// What the configuration application's reader hands out, step by step, driven as its model
// drives it: a record, then one reference for 'P', itemCount for 'L' and 'G'.
struct AppRead {
    bool hasHeader = false;
    std::vector<std::optional<Bytes>> pieces;
};

AppRead readLikeTheApp(DataFileReader& reader) {
    AppRead read{reader.hasHeader(), {}};
    while (auto rec = reader.nextRecord()) {
        read.pieces.push_back(toVector(*rec));
        int count = rec->kind == kKindPasteboard                          ? 1
                    : rec->kind == kKindLaunch || rec->kind == kKindGroup ? rec->itemCount
                                                                          : 0;
        for (int i = 0; i < count; ++i) {
            auto ref = reader.nextReference();
            read.pieces.push_back(ref ? std::optional(Bytes(ref->begin(), ref->end()))
                                      : std::nullopt);
            if (!ref)
                return read;
        }
    }
    read.pieces.push_back(std::nullopt);
    return read;
}

AppRead readLikeTheApp(const std::string& path) {
    DataFileReader reader(path);
    return readLikeTheApp(reader);
}

class DataFileTest : public ::testing::Test {
protected:
    std::string dataFile() const { return world.locations().dataFilePath(); }
    void writeDataFile(const Bytes& bytes) const {
        fs::create_directories(fs::path(dataFile()).parent_path());
        test::writeBytes(dataFile(), bytes);
    }
    std::string existing(const std::string& name) const {
        return world.writeFile("home/" + name, name);
    }

    test::TempWorld world;
    FileReferences refs{world.locations().referencesDir()};
};

TEST_F(DataFileTest, GroupOfThreeTakes264BytesAndTheNextEntryFollowsAtOnce) {
    std::vector<std::string> paths = {existing("a"), existing("b"), existing("c")};
    HotKeyRec group = makeRec(kKindGroup, 3);
    HotKeyRec finder = makeRec(kKindFinder, 0, 22, 40);
    Bytes bytes = encodeDataFile({{group, paths}, {finder, {}}}, refs);

    ASSERT_EQ(bytes.size(), 8u + 264u + 24u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "0511Prst");
    EXPECT_EQ(slice(bytes, 8, 24), toVector(group));
    for (std::size_t i = 0; i < 3; ++i) {
        auto ref = refs.pathMakeRef(paths[i]);
        EXPECT_EQ(slice(bytes, 32 + 80 * i, 80), Bytes(ref->begin(), ref->end()));
    }
    EXPECT_EQ(slice(bytes, 8 + 264, 24), toVector(finder));

    writeDataFile(bytes);
    auto entries = readDataFileEntries(dataFile());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].rec, group);
    EXPECT_EQ(entries[0].references, slice(bytes, 32, 240));
    EXPECT_EQ(entries[1].rec, finder);
    EXPECT_TRUE(entries[1].references.empty());

    DataFileReader reader(dataFile());
    EXPECT_EQ(reader.nextRecord(), group);
    for (const auto& path : paths)
        EXPECT_EQ(refs.refMakePath(reader.nextReference().value()), path);
    EXPECT_EQ(reader.nextRecord(), finder);
    EXPECT_FALSE(reader.nextRecord());
}

TEST_F(DataFileTest, HeaderOnlyShortMissingOrNonRegularFilesHoldNoEntries) {
    Bytes header = encodeDataFile({}, refs);
    ASSERT_EQ(header.size(), 8u);
    writeDataFile(header);
    EXPECT_TRUE(readDataFileEntries(dataFile()).empty());
    {
        DataFileReader reader(dataFile());
        EXPECT_TRUE(reader.hasHeader());
        EXPECT_EQ(reader.version(), "0511");
        EXPECT_EQ(reader.signature(), "Prst");
        EXPECT_FALSE(reader.nextRecord());
    }

    header.pop_back();
    writeDataFile(header);
    EXPECT_TRUE(readDataFileEntries(dataFile()).empty());
    EXPECT_FALSE(DataFileReader(dataFile()).hasHeader());

    fs::remove(dataFile());
    EXPECT_TRUE(readDataFileEntries(dataFile()).empty());
    EXPECT_FALSE(DataFileReader(dataFile()).hasHeader());

    // A device would feed records forever, a FIFO would block the reader.
    ASSERT_EQ(mkfifo(dataFile().c_str(), 0600), 0);
    for (const std::string& path : {dataFile(), std::string("/dev/zero")}) {
        EXPECT_TRUE(readDataFileEntries(path).empty()) << path;
        DataFileReader reader(path);
        EXPECT_FALSE(reader.hasHeader()) << path;
        EXPECT_FALSE(reader.nextRecord()) << path;
    }
    fs::remove(dataFile());

    fs::create_directory(dataFile());
    EXPECT_TRUE(readDataFileEntries(dataFile()).empty());
    EXPECT_FALSE(DataFileReader(dataFile()).hasHeader());
}

TEST_F(DataFileTest, VersionAndSignatureAreHandedOnNotJudged) {
    Bytes bytes = encodeDataFile({{makeRec(kKindFinder, 0, 3), {}}}, refs);
    std::memcpy(bytes.data(), "0600Junk", 8);
    writeDataFile(bytes);
    EXPECT_EQ(readDataFileEntries(dataFile()).size(), 1u);
    DataFileReader reader(dataFile());
    EXPECT_EQ(reader.version(), "0600");
    EXPECT_EQ(reader.signature(), "Junk");
    EXPECT_TRUE(reader.nextRecord());
}

TEST_F(DataFileTest, LongNonAsciiPathSurvivesTheWriterAndBothReaders) {
    std::string longPath = makeLongPath(world, 300);
    HotKeyRec launch = makeRec(kKindLaunch, 1);
    writeDataFile(encodeDataFile({{launch, {longPath}}}, refs));

    auto entries = readDataFileEntries(dataFile());
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_EQ(entries[0].references.size(), 80u);
    FileRef raw;
    std::copy_n(entries[0].references.begin(), 80, raw.begin());
    EXPECT_EQ(refs.refMakePath(raw), longPath);

    DataFileReader reader(dataFile());
    EXPECT_EQ(reader.nextRecord(), launch);
    EXPECT_EQ(refs.refMakePath(reader.nextReference().value()), longPath);
}

TEST_F(DataFileTest, EntriesThatCannotBeReferencedAreLeftOutWhole) {
    std::string a = existing("a"), b = existing("b");
    std::string gone = world.root() + "/home/gone";
    HotKeyRec keep1 = makeRec(kKindLaunch, 1, 0, 1);
    HotKeyRec keep2 = makeRec(kKindFinder, 0, 11, 2);
    HotKeyRec keep3 = makeRec(kKindPasteboard, 1, 0, 3);
    Bytes bytes = encodeDataFile(
        {
            {makeRec(kKindGroup, 3, 0, 9), {a, gone, b}}, // one path missing
            {keep1, {a}},
            {makeRec(kKindGroup, 3, 0, 9), {a, b}},      // itemCount says 3
            {makeRec(kKindPasteboard, 1, 0, 9), {gone}}, // snapshot deleted
            {keep2, {}},
            {makeRec(kKindFinder, 0, 11, 9), {a}}, // 'F' carries no path
            {makeRec(kKindLaunch, 1, 0, 9), {"relative"}},
            {keep3, {b}},
        },
        refs);
    ASSERT_EQ(bytes.size(), 8u + 104u + 24u + 104u);
    writeDataFile(bytes);
    auto entries = readDataFileEntries(dataFile());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].rec, keep1);
    EXPECT_EQ(entries[1].rec, keep2);
    EXPECT_EQ(entries[2].rec, keep3);
}

TEST_F(DataFileTest, DaemonKeepsTheFirstHundredEntries) {
    std::vector<DataFileEntry> entries;
    for (int i = 0; i < 130; ++i)
        entries.push_back({makeRec(kKindFinder, 0, 1, std::uint32_t(i)), {}});
    writeDataFile(encodeDataFile(entries, refs));
    auto read = readDataFileEntries(dataFile());
    ASSERT_EQ(read.size(), 100u);
    EXPECT_EQ(read.front().rec.keyCode, 0u);
    EXPECT_EQ(read.back().rec.keyCode, 99u);
}

// A valid file of every kind, and where each of its pieces ends.
class CutDataFileTest : public DataFileTest {
protected:
    void SetUp() override {
        std::string a = existing("a"), b = existing("b");
        std::string longPath = makeLongPath(world, 300);
        full = encodeDataFile({{makeRec(kKindLaunch, 1, 0, 1), {a}},
                               {makeRec(kKindGroup, 3, 0, 2), {b, longPath, a}},
                               {makeRec(kKindFinder, 0, 21, 3), {}},
                               {makeRec(kKindPasteboard, 1, 0, 4), {b}}},
                              refs);
        ASSERT_EQ(full.size(), 8u + 104 + 264 + 24 + 104);
        writeDataFile(full);
        whole = readDataFileEntries(dataFile());
        ASSERT_EQ(whole.size(), 4u);
        wholeApp = readLikeTheApp(dataFile());
        ASSERT_EQ(wholeApp.pieces.size(), 4u + 5u + 1u);
    }

    // The daemon's entries for a file cut after `cut` bytes, from the whole file's entries.
    std::vector<DataFileRawEntry> expectedDaemonRead(std::size_t cut) const {
        std::vector<DataFileRawEntry> expected;
        if (cut < 8)
            return expected;
        std::size_t start = 8;
        for (const DataFileRawEntry& entry : whole) {
            if (cut < start + 24)
                break;
            std::size_t there = std::min(entry.references.size(), cut - start - 24);
            expected.push_back({entry.rec, slice(entry.references, 0, there)});
            start += 24 + entry.references.size();
        }
        return expected;
    }

    // The application's pieces for a cut file: those that end by the cut, then nullopt.
    AppRead expectedAppRead(std::size_t cut) const {
        AppRead expected{cut >= 8, {}};
        std::size_t end = 8;
        for (const auto& piece : wholeApp.pieces) {
            if (!piece || !expected.hasHeader || (end += piece->size()) > cut) {
                expected.pieces.push_back(std::nullopt);
                break;
            }
            expected.pieces.push_back(piece);
        }
        return expected;
    }

    Bytes full;
    std::vector<DataFileRawEntry> whole;
    AppRead wholeApp;
};

bool sameEntries(const std::vector<DataFileRawEntry>& a, const std::vector<DataFileRawEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.rec == y.rec && x.references == y.references;
    });
}
bool operator==(const AppRead& a, const AppRead& b) {
    return a.hasHeader == b.hasHeader && a.pieces == b.pieces;
}

TEST_F(CutDataFileTest, EveryCutKeepsWhatTheDaemonAndTheAppPromise) {
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        writeDataFile(slice(full, 0, cut));
        EXPECT_TRUE(sameEntries(readDataFileEntries(dataFile()), expectedDaemonRead(cut)));
        EXPECT_TRUE(readLikeTheApp(dataFile()) == expectedAppRead(cut));
    }
}

// A stream that hands out `limit` bytes of the file and then fails with EIO.
struct FailingSource {
    const Bytes* bytes;
    std::size_t limit;
    std::size_t pos = 0;
};

std::FILE* openFailing(FailingSource& source) {
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* buf, std::size_t size) -> ssize_t {
        auto* s = static_cast<FailingSource*>(cookie);
        if (s->pos >= s->limit) {
            errno = EIO;
            return -1;
        }
        std::size_t n = std::min(size, s->limit - s->pos);
        std::memcpy(buf, s->bytes->data() + s->pos, n);
        s->pos += n;
        return ssize_t(n);
    };
    return fopencookie(&source, "rb", io);
}

TEST_F(CutDataFileTest, AReadErrorEndsTheFileLikeACut) {
    for (std::size_t limit = 0; limit < full.size(); ++limit) {
        SCOPED_TRACE("error after " + std::to_string(limit));
        FailingSource forDaemon{&full, limit};
        std::FILE* stream = openFailing(forDaemon);
        ASSERT_TRUE(stream);
        EXPECT_TRUE(sameEntries(readDataFileEntries(stream), expectedDaemonRead(limit)));
        std::fclose(stream);

        FailingSource forApp{&full, limit};
        stream = openFailing(forApp);
        {
            DataFileReader reader(stream);
            EXPECT_TRUE(readLikeTheApp(reader) == expectedAppRead(limit));
            EXPECT_FALSE(reader.nextRecord()) << "the end stays the end";
        }
        std::fclose(stream);
    }
}

} // namespace
} // namespace presto
