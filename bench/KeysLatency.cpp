// Key press to the launched program's main, through PrestoKeys and Presto.daemon, on a private
// Xvfb server in a throw-away world; then the agent's idle cost and resident memory.
//
//   bench_keys_latency [presses]        (300 by default; run from a Release build)
//
// The launched program is bench_launch_stamp, which writes the monotonic time at which its main
// began to the FIFO named by PRESTO_BENCH_FIFO. Two more series split the time: the daemon alone
// (the record sent straight to its socket), and the X server plus the agent alone (a listener in
// the daemon's place timing the record's arrival). A last series is the floor of any launcher on
// this machine: the benchmark starting the same program itself.
#include "common/HotKeyRec.h"
#include "common/PrefKEXTRec.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/TempWorld.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace presto;
using namespace presto::test;
using namespace std::chrono_literals;

namespace {

double nowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// The stamp the launched program wrote, or a negative value when none came in time.
double readStamp(int fifo, int timeoutMs = 3000) {
    pollfd pfd{fifo, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0)
        return -1;
    double stamp = -1;
    if (read(fifo, &stamp, sizeof stamp) != sizeof stamp)
        return -1;
    return stamp;
}

void sendToDaemon(const std::string& socketPath, const HotKeyRec& rec) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        auto bytes = rec.toBytes();
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    close(fd);
}

// Stands in for the daemon on its socket: answers the agent's polls as the daemon would and
// tells when a pressed record arrives.
class StandInDaemon {
public:
    StandInDaemon(const std::string& path, const HotKeyRec& hotKey) : hotKey_(hotKey) {
        unlink(path.c_str());
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd_, 16);
    }
    ~StandInDaemon() { close(fd_); }

    // The time a pressed record arrived, or a negative value when none came in time.
    double nextPress(int timeoutMs = 3000) {
        pollfd pfd{fd_, POLLIN, 0};
        while (poll(&pfd, 1, timeoutMs) > 0) {
            int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            std::uint8_t request[64];
            ssize_t n = recv(c, request, sizeof request, 0);
            const double at = nowMicros();
            if (n >= 7 && std::memcmp(request, "GETVERS", 7) == 0) {
                PrefKEXTSyncRec sync;
                sync.interval = 5;
                sync.setTimeStamp("1");
                auto bytes = sync.toBytes();
                send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            } else if (n >= 7 && std::memcmp(request, "GETPREF", 7) == 0) {
                auto bytes = PrefKEXTRec::forHotKey(hotKey_).toBytes();
                send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            } else if (n == HotKeyRec::kSize) {
                close(c);
                return at;
            }
            close(c);
        }
        return -1;
    }

private:
    int fd_ = -1;
    HotKeyRec hotKey_;
};

struct Summary {
    double p50, p99, mean, max;
    std::size_t count;
};

Summary summarize(std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) {
        return micros[std::min(micros.size() - 1, std::size_t(q * double(micros.size())))];
    };
    double sum = 0;
    for (double m : micros)
        sum += m;
    return {at(0.50), at(0.99), sum / double(micros.size()), micros.back(), micros.size()};
}

void print(const char* what, const Summary& s) {
    std::printf("%-48s n=%zu  p50 %.3f ms  p99 %.3f ms  mean %.3f ms  max %.3f ms\n", what, s.count,
                s.p50 / 1000, s.p99 / 1000, s.mean / 1000, s.max / 1000);
}

long statusField(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

// Nanoseconds on the CPU so far.
long long cpuNanos(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    long long ns = -1;
    in >> ns;
    return ns;
}

} // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::atoi(argv[1]) : 300;
    const int warmUp = 10;
    if (!Xvfb::installed()) {
        std::fprintf(stderr, "Xvfb is not installed\n");
        return 1;
    }
    Xvfb xvfb;
    TempWorld world;
    const std::string fifoPath = world.path("stamps.fifo");
    mkfifo(fifoPath.c_str(), 0600);
    setenv("PRESTO_BENCH_FIFO", fifoPath.c_str(), 1); // inherited by daemon and launched program
    // Read-write, so neither side ever blocks in open().
    const int fifo = open(fifoPath.c_str(), O_RDWR | O_CLOEXEC);

    PrestoSession session(world, xvfb.display());
    session.writePreferences(5); // the default poll interval, as users run it
    const HotKeyRec hotKey = PrestoSession::hotKey(KEY_B, 'b', kCommandBit | kShiftBit);
    session.writeDataItems({{hotKey, PrestoSession::binDir() + "/bench_launch_stamp"}});
    session.startDaemon();
    session.startAgent();
    if (!waitUntil(
            [&] {
                return session.agentOutput().find("1 of 1 hot keys grabbed") != std::string::npos;
            },
            5s)) {
        std::fprintf(stderr, "PrestoKeys did not grab the hot key:\n%s",
                     session.agentOutput().c_str());
        return 1;
    }

    XClient x(xvfb.display());
    const std::uint8_t superKey = x.keycodeFor(0xffeb), shiftKey = x.keycodeFor(0xffe1);
    const std::uint8_t key = KEY_B + 8;

    // Presses Super+Shift+B once and returns the micros from the key going down to what
    // `arrived` reports (a time stamp, or negative when nothing came).
    auto timePress = [&](auto arrived) {
        x.press(superKey);
        x.press(shiftKey);
        x.sync();
        x.press(key);
        const double start = nowMicros();
        x.flush();
        const double stamp = arrived();
        x.release(key);
        x.release(shiftKey);
        x.release(superKey);
        x.sync();
        std::this_thread::sleep_for(5ms);
        return stamp < 0 ? -1.0 : stamp - start;
    };

    std::vector<double> throughAgent;
    int lost = 0;
    for (int i = 0; i < warmUp + presses; ++i) {
        const double elapsed = timePress([&] { return readStamp(fifo); });
        if (elapsed < 0)
            ++lost;
        else if (i >= warmUp)
            throughAgent.push_back(elapsed);
    }

    // The daemon's share alone: the same record sent straight to its socket.
    std::vector<double> daemonOnly;
    HotKeyRec press = hotKey;
    press.charCode = 'B';
    for (int i = 0; i < warmUp + presses; ++i) {
        const double start = nowMicros();
        sendToDaemon(world.locations().socketPath, press);
        const double stamp = readStamp(fifo);
        if (stamp >= 0 && i >= warmUp)
            daemonOnly.push_back(stamp - start);
        std::this_thread::sleep_for(5ms);
    }

    // The floor: this process starting the program directly.
    std::vector<double> bareSpawn;
    const std::string stampPath = PrestoSession::binDir() + "/bench_launch_stamp";
    for (int i = 0; i < warmUp + presses; ++i) {
        char* args[] = {const_cast<char*>(stampPath.c_str()), nullptr};
        pid_t child = -1;
        const double start = nowMicros();
        if (posix_spawn(&child, args[0], nullptr, nullptr, args, environ) != 0)
            break;
        const double stamp = readStamp(fifo);
        waitpid(child, nullptr, 0);
        if (stamp >= 0 && i >= warmUp)
            bareSpawn.push_back(stamp - start);
        std::this_thread::sleep_for(5ms);
    }

    // The X server and the agent alone.
    session.stopDaemon();
    StandInDaemon standIn(world.locations().socketPath, hotKey);
    std::vector<double> agentOnly;
    for (int i = 0; i < warmUp + presses; ++i) {
        const double elapsed = timePress([&] { return standIn.nextPress(); });
        if (elapsed >= 0 && i >= warmUp)
            agentOnly.push_back(elapsed);
    }

    const pid_t agent = session.agent().pid();
    const long long cpuBefore = cpuNanos(agent);
    const long switchesBefore = statusField(agent, "voluntary_ctxt_switches");
    const auto idle = 20s;
    std::this_thread::sleep_for(idle);
    const long long cpuIdle = cpuNanos(agent) - cpuBefore;
    const long wakeUps = statusField(agent, "voluntary_ctxt_switches") - switchesBefore;

    std::printf("PrestoKeys benchmark on Xvfb %s, %d presses after %d warm-up presses\n",
                xvfb.display().c_str(), presses, warmUp);
    if (throughAgent.empty() || daemonOnly.empty() || agentOnly.empty() || bareSpawn.empty()) {
        std::fprintf(stderr, "no launches measured (lost %d)\n", lost);
        return 1;
    }
    print("key press -> PrestoKeys -> daemon -> main", summarize(throughAgent));
    print("record on the socket -> daemon -> main", summarize(daemonOnly));
    print("key press -> PrestoKeys -> record on the socket", summarize(agentOnly));
    print("posix_spawn -> main (no launcher at all)", summarize(bareSpawn));
    std::printf("lost presses: %d\n", lost);
    std::printf("sxhkd, quoted (not run here): p50 about 2 ms, p99 about 3 ms; goal p50 <= %.3f "
                "ms\n",
                2.0 / 3);
    std::printf("agent idle over %lld s at a 5 s poll interval: %.3f ms CPU, %ld wake-ups\n",
                static_cast<long long>(idle.count()), double(cpuIdle) / 1e6, wakeUps);
    std::printf("agent resident memory: %ld kB now, %ld kB peak (goal 4096 kB)\n",
                statusField(agent, "VmRSS"), statusField(agent, "VmHWM"));
    close(fifo);
    return 0;
}
