// Get Path: from a key record's arrival at the daemon to the clipboard helper holding the text,
// over 200 presses with two selected items. The helper is a stand-in for xclip that stamps the
// time once it has read the whole text. Run by hand, Release build:
//   bin/bench_get_path_latency [presses, default 200]
#include "bench/BenchSupport.h"

using namespace presto;
using namespace presto::bench;

namespace {

double readStamp(int stamps) {
    double held = 0;
    if (read(stamps, &held, sizeof held) != sizeof held)
        std::exit(1);
    return held;
}

} // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::atoi(argv[1]) : 200;
    World world;
    std::string fifo = world.root + "/runtime/stamps";
    if (mkfifo(fifo.c_str(), 0600) != 0)
        return 1;
    setenv("PRESTO_BENCH_FIFO", fifo.c_str(), 1);
    fs::copy_file(selfDir() + "/bench_clipboard_stamp", world.root + "/bin/xclip");
    setenv("PATH", (world.root + "/bin:" + std::getenv("PATH")).c_str(), 1);
    setenv("DISPLAY", ":presto-bench", 1);
    unsetenv("WAYLAND_DISPLAY");
    int stamps = open(fifo.c_str(), O_RDWR);

    // The file manager's state: a front window and two selected items.
    fs::create_directories(world.loc.runtimeDir);
    fs::permissions(world.loc.runtimeDir, fs::perms::owner_all);
    std::string folder = world.root + "/items/My Dir";
    fs::create_directories(folder);
    {
        std::ofstream state(world.loc.runtimeDir + "/finder");
        state << world.root << "/items\n" << world.item("x.txt") << "\n" << folder << "\n";
    }
    fs::permissions(world.loc.runtimeDir + "/finder",
                    fs::perms::owner_read | fs::perms::owner_write);

    HotKeyRec getPath = key(41, kKindFinder, 0);
    getPath.finderItemNo = 23;
    world.writeData({{getPath, {}}});
    world.prefs(kPrestoDomain, [](PreferenceDomain& d) { d.setBool(kFlagShowIcon, false); });
    Daemon daemon(world);
    auto record = getPath.toBytes();
    std::vector<double> latencies;
    for (int i = 0; i < presses; ++i) {
        int fd = connectTo(world.loc.socketPath);
        double sent = nowMicros();
        send(fd, record.data(), record.size(), MSG_NOSIGNAL);
        latencies.push_back(readStamp(stamps) - sent);
        char ignored;
        while (recv(fd, &ignored, 1, 0) > 0) {
        }
        close(fd);
    }
    Stats s = summarize(latencies, 1);
    std::printf("%d presses of Get Path: key record sent -> clipboard helper holds the text  "
                "p50 %.0f us  p99 %.0f us\n",
                presses, s.p50, s.p99);
    close(stamps);
    return 0;
}
