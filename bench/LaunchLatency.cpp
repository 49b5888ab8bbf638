// From a key record's arrival at the daemon to the launched program's main, over 1,000 presses
// of a mode-0 hot key bound to an executable; beside it, for scale, the same program started by
// a bare posix_spawn on this machine. Run by hand, Release build:
//   bin/bench_launch_latency [presses, default 1000]
#include "bench/BenchSupport.h"

#include <spawn.h>
#include <sys/stat.h>

extern char** environ;

using namespace presto;
using namespace presto::bench;

namespace {

double readStamp(int stamps) {
    double started = 0;
    if (read(stamps, &started, sizeof started) != sizeof started)
        std::exit(1);
    return started;
}

// Key presses come seconds apart; a short gap lets the last program end before the next press.
void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
}

} // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::atoi(argv[1]) : 1000;
    World world;
    std::string fifo = world.root + "/runtime/stamps";
    if (mkfifo(fifo.c_str(), 0600) != 0)
        return 1;
    // The daemon passes its environment on to what it launches.
    setenv("PRESTO_BENCH_FIFO", fifo.c_str(), 1);
    std::string target = world.root + "/bin/launch_stamp";
    fs::copy_file(selfDir() + "/bench_launch_stamp", target);
    // Read and write ends held here, so a stamp never meets a FIFO without a reader.
    int stamps = open(fifo.c_str(), O_RDWR);

    std::vector<double> bare;
    for (int i = 0; i < presses; ++i) {
        char* args[] = {target.data(), nullptr};
        pid_t pid = -1;
        double spawned = nowMicros();
        if (posix_spawn(&pid, target.c_str(), nullptr, nullptr, args, environ) != 0)
            return 1;
        bare.push_back(readStamp(stamps) - spawned);
        waitpid(pid, nullptr, 0);
        settle();
    }

    HotKeyRec hotKey = key(40);
    world.writeData({{hotKey, {target}}});
    world.prefs(kPrestoDomain, [](PreferenceDomain& d) {
        d.setInteger(kKindIntervalHotKey, 0);
        d.setBool(kFlagShowIcon, false);
    });
    Daemon daemon(world);
    auto record = hotKey.toBytes();
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
        settle();
    }
    Stats s = summarize(latencies, 1), b = summarize(bare, 1);
    bool met = s.p50 <= 700 && s.p99 <= 1500;
    std::printf("%d presses: key record sent -> launched main  p50 %.0f us  p99 %.0f us  (%s)\n",
                presses, s.p50, s.p99, met ? "target met" : "target MISSED");
    std::printf("same program, bare posix_spawn -> main      p50 %.0f us  p99 %.0f us\n", b.p50,
                b.p99);
    close(stamps);
    return met ? 0 : 1;
}
