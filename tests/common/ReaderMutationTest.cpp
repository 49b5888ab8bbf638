// Seeded damage to valid files: every reader must stay inside the file and keep its promises.
#include "common/ByteOrder.h"
#include "common/DataFile.h"
#include "common/SnapshotFile.h"
#include "tests/common/FileTestSupport.h"

#include <gtest/gtest.h>
#include <random>

namespace presto {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes mutate(Bytes bytes, std::mt19937& random) {
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n)(random);
    };
    switch (pick(4)) {
    case 0: // a few bytes changed, often to values that mean something in a length
        for (std::size_t i = 1 + pick(3); i > 0 && !bytes.empty(); --i) {
            static constexpr std::uint8_t kInteresting[] = {0, 1, 0x7F, 0x80, 0xFF, 'G', 'L', 'P'};
            bytes[pick(bytes.size() - 1)] =
                pick(1) ? kInteresting[pick(7)] : std::uint8_t(random());
        }
        break;
    case 1: // a single bit flipped
        if (!bytes.empty())
            bytes[pick(bytes.size() - 1)] ^= std::uint8_t(1u << pick(7));
        break;
    case 2: // cut short
        bytes.resize(pick(bytes.size()));
        break;
    case 3: // grown by random bytes
        for (std::size_t i = 1 + pick(300); i > 0; --i)
            bytes.push_back(std::uint8_t(random()));
        break;
    default: // a stretch repeated, as a stale copy would leave it
        if (!bytes.empty()) {
            std::size_t from = pick(bytes.size() - 1);
            std::size_t size = pick(std::min<std::size_t>(200, bytes.size() - from));
            Bytes stretch(bytes.begin() + std::ptrdiff_t(from),
                          bytes.begin() + std::ptrdiff_t(from + size));
            bytes.insert(bytes.begin() + std::ptrdiff_t(pick(bytes.size())), stretch.begin(),
                         stretch.end());
        }
        break;
    }
    return bytes;
}

class ReaderMutationTest : public ::testing::Test {
protected:
    test::TempWorld world;
    FileReferences refs{world.locations().referencesDir()};
    std::mt19937 random{20261207};
};

TEST_F(ReaderMutationTest, DamagedDataFilesReadTheSameInBothReaders) {
    std::string a = world.writeFile("home/a", "a"), b = world.writeFile("home/b", "b");
    std::string longPath = test::makeLongPath(world, 300);
    Bytes valid = encodeDataFile({{test::makeRec(kKindLaunch, 1), {longPath}},
                                  {test::makeRec(kKindGroup, 3), {a, longPath, b}},
                                  {test::makeRec(kKindFinder, 0, 25), {}},
                                  {test::makeRec(kKindPasteboard, 1), {b}}},
                                 refs);
    std::string file = world.path("data/mutant");
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes = mutate(valid, random);
        if (round % 3 == 0)
            bytes = mutate(bytes, random);
        test::writeBytes(file, bytes);
        SCOPED_TRACE("round " + std::to_string(round));

        auto entries = readDataFileEntries(file);
        DataFileReader reader(file);
        ASSERT_EQ(reader.hasHeader(), bytes.size() >= 8);
        ASSERT_LE(entries.size(), 100u);
        // The application's reader, driven the daemon's way, meets the same bytes.
        std::size_t consumed = bytes.size() >= 8 ? 8 : 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& entry = entries[i];
            ASSERT_EQ(reader.nextRecord(), entry.rec);
            std::size_t promised = entry.rec.itemCount * kFileRefSize;
            ASSERT_LE(entry.references.size(), promised);
            if (entry.references.size() < promised) {
                ASSERT_EQ(i + 1, entries.size()) << "only the last entry may be cut";
            }
            for (std::size_t at = 0; at < promised; at += kFileRefSize) {
                auto ref = reader.nextReference();
                ASSERT_EQ(bool(ref), at + kFileRefSize <= entry.references.size());
                if (!ref)
                    break;
                ASSERT_TRUE(std::equal(ref->begin(), ref->end(),
                                       entry.references.begin() + std::ptrdiff_t(at)));
                if (auto path = refs.refMakePath(*ref)) {
                    ASSERT_EQ(path->front(), '/');
                }
            }
            consumed += 24 + entry.references.size();
        }
        ASSERT_LE(consumed, bytes.size());
        if (entries.size() < 100) {
            ASSERT_LT(bytes.size() - consumed, 24u) << "stopped before the end";
        }
    }
}

TEST_F(ReaderMutationTest, DamagedSnapshotsReadWholeOrNotAtAll) {
    PasteboardSnapshot valid{kUtf8PlainTextType, Bytes(400, 'x')};
    std::string file = world.path("data/mutant");
    ASSERT_TRUE(writeSnapshotFile(file, valid));
    const Bytes validBytes = test::readBytes(file);
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes = mutate(validBytes, random);
        test::writeBytes(file, bytes);
        auto snapshot = readSnapshotFile(file);

        std::size_t n = bytes.empty() ? 0 : bytes[0];
        bool fits = !bytes.empty() && bytes.size() >= 9 + n &&
                    std::uint32_t(loadLE64(bytes.data() + 1 + n)) <= bytes.size() - 9 - n;
        ASSERT_EQ(bool(snapshot), fits) << "round " << round;
        if (snapshot) {
            EXPECT_EQ(snapshot->type, std::string(bytes.begin() + 1, bytes.begin() + 1 + n));
            EXPECT_TRUE(std::equal(snapshot->data.begin(), snapshot->data.end(),
                                   bytes.begin() + std::ptrdiff_t(9 + n)));
        }
    }
}

} // namespace
} // namespace presto
