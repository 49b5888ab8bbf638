// Writes seed corpora made of valid files: <out>/data for both data file readers, <out>/snapshot.
#include "common/DataFile.h"
#include "common/SnapshotFile.h"
#include "tests/fuzz/FuzzHarness.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace presto;
namespace fs = std::filesystem;

namespace {

HotKeyRec rec(char kind, std::uint8_t items, std::uint8_t finderNo = 0) {
    return {kKeyDownEventType, kCommandBit, 12, 'q', 'q', kind, items, finderNo, 0};
}

void save(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <out folder>\n", argv[0]);
        return 2;
    }
    const fuzz::World& w = fuzz::world();
    fs::path out = argv[1];
    fs::create_directories(out / "data");
    fs::create_directories(out / "snapshot");

    const std::string& s = w.shortPath;
    const std::string& l = w.longPath;
    std::vector<std::vector<DataFileEntry>> files = {
        {},
        {{rec('L', 1), {s}}},
        {{rec('G', 3), {s, l, s}}, {rec('F', 0, 22), {}}},
        {{rec('P', 1), {l}}, {rec('F', 0, 0), {}}, {rec('L', 1), {l}}},
        {{rec('L', 1), {s}}, {rec('G', 2), {l, s}}, {rec('F', 0, 1), {}}, {rec('P', 1), {s}}},
    };
    std::vector<DataFileEntry> many;
    for (int i = 0; i < 101; ++i)
        many.push_back({rec('F', 0, std::uint8_t(i)), {}});
    files.push_back(many);
    int n = 0;
    for (const auto& entries : files)
        save(out / "data" / ("seed-" + std::to_string(n++)), encodeDataFile(entries, w.references));

    std::vector<PasteboardSnapshot> snapshots = {
        {kUtf8PlainTextType, {'h', 'e', 'l', 'l', 'o'}},
        {kTiffType, {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}},
        {"", {}},
        {std::string(255, 'x'), std::vector<std::uint8_t>(300, 0xAB)},
    };
    n = 0;
    for (const auto& snapshot : snapshots)
        if (!writeSnapshotFile((out / "snapshot" / ("seed-" + std::to_string(n++))).string(),
                               snapshot))
            return 1;
    return 0;
}
