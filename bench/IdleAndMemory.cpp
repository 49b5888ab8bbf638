// CPU time of an idle daemon over 10 seconds, and its resident memory with 100 ordinary hot
// keys and with the largest data file the format allows (100 entries of 255 references).
// Run by hand, Release build: bin/bench_idle_memory [idle seconds, default 10]
#include "bench/BenchSupport.h"

using namespace presto;
using namespace presto::bench;

namespace {

// Formatted rather than concatenated: GCC 12 at -O3 warns falsely on "x" + std::to_string(i).
std::string numbered(const char* format, int i) {
    char name[32];
    std::snprintf(name, sizeof name, format, i);
    return name;
}

long exercise(World& world) {
    const std::string& path = world.loc.socketPath;
    long table = request(path, "GETPREF", 7);
    request(path, "GETVERS", 7);
    request(path, "UPDTDATA", 8);
    request(path, "UPDTPREF", 8);
    auto unknown = key(300).toBytes();
    request(path, unknown.data(), unknown.size());
    // Let the assistant control finish its attempts.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return table;
}

} // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    bool met = true;
    {
        World world;
        std::vector<DataFileEntry> entries;
        for (std::uint32_t i = 0; i < 100; ++i)
            entries.push_back({key(i), {world.item(numbered("item%d.txt", int(i)))}});
        world.writeData(entries);
        Daemon daemon(world);
        long table = exercise(world);
        long before = cpuTicks(daemon.pid());
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        long idle = cpuTicks(daemon.pid()) - before;
        long rss = residentKiB(daemon.pid());
        met = met && idle == 0 && rss <= 5 * 1024;
        std::printf("100 ordinary hot keys (table %ld bytes): idle CPU over %d s: %ld ticks; "
                    "resident %ld KiB (target 0 ticks, <= 5120 KiB)\n",
                    table, idleSeconds, idle, rss);
    }
    {
        World world;
        std::vector<std::string> paths;
        for (int i = 0; i < 255; ++i)
            paths.push_back(world.item(numbered("i%d", i)));
        std::vector<DataFileEntry> entries;
        for (std::uint32_t i = 0; i < 100; ++i)
            entries.push_back({key(i, kKindGroup, 255), paths});
        world.writeData(entries);
        Daemon daemon(world);
        long table = exercise(world);
        long rss = residentKiB(daemon.pid());
        met = met && rss <= 8 * 1024;
        std::printf("largest data file (%ju bytes, table %ld bytes): resident %ld KiB "
                    "(target <= 8192 KiB)\n",
                    std::uintmax_t(fs::file_size(world.loc.dataFilePath())), table, rss);
    }
    std::printf("%s\n", met ? "targets met" : "targets MISSED");
    return met ? 0 : 1;
}
