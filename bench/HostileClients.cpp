// What misbehaving clients cost everyone else: the wait of a request while silent connections
// are open, and the daemon's memory when Copy to... meets a huge text/uri-list on the clipboard.
// Run by hand, Release build: bin/bench_hostile_clients [daemon program, default the one beside]
#include "bench/BenchSupport.h"

using namespace presto;
using namespace presto::bench;

namespace {

void writeTool(World& world, const std::string& name, const std::string& body) {
    const std::string path = world.root + "/bin/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
}

// Until the daemon has used no CPU for a second (at most a minute).
void waitUntilIdle(pid_t pid) {
    long last = cpuTicks(pid);
    for (int i = 0; i < 60; ++i) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        long now = cpuTicks(pid);
        if (now == last)
            return;
        last = now;
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string program = argc > 1 ? argv[1] : selfDir() + "/Presto.daemon";
    for (int silent : {0, 10, 40}) {
        World world;
        Daemon daemon(world, program);
        std::vector<int> open;
        for (int i = 0; i < silent; ++i)
            open.push_back(connectTo(world.loc.socketPath));
        const double begin = nowMicros();
        const long got = request(world.loc.socketPath, "GETVERS", 7);
        std::printf("GETVERS with %2d silent connections open: %.1f ms (%ld bytes)\n", silent,
                    (nowMicros() - begin) / 1e3, got);
        for (int fd : open)
            close(fd);
    }

    World world;
    const std::string list = world.root + "/offered";
    {
        std::ofstream out(list, std::ios::binary);
        const std::string line = "file:///nowhere/" + std::string(84, 'x') + "\r\n";
        for (int i = 0; i < 1'000'000; ++i)
            out << line;
    }
    writeTool(world, "xclip", "for a; do [ \"$a\" = -o ] && exec cat '" + list + "'; done\n");
    writeTool(world, "zenity", "exit 1\n");
    setenv("PATH", (world.root + "/bin:" + std::getenv("PATH")).c_str(), 1);
    setenv("DISPLAY", ":bench", 1);
    unsetenv("WAYLAND_DISPLAY");
    fs::create_directories(world.root + "/home/Desktop");
    const HotKeyRec copyTo{kKeyDownEventType, kControlBit, 7, 0, 0, kKindFinder, 0, 25, 0};
    world.writeData({{copyTo, {}}});
    world.prefs("com.nimbo.Presto", [](PreferenceDomain& d) { d.setBool("FlagShowIcon", false); });
    Daemon daemon(world, program);
    const long before = residentKiB(daemon.pid());
    auto press = copyTo.toBytes();
    request(world.loc.socketPath, press.data(), press.size());
    waitUntilIdle(daemon.pid());
    std::printf("Copy to... with a %ju-byte text/uri-list: resident %ld KiB before, peak %ld KiB, "
                "%ld KiB after\n",
                std::uintmax_t(fs::file_size(list)), before, statusKiB(daemon.pid(), "VmHWM"),
                residentKiB(daemon.pid()));
    return 0;
}
