// Key press to the launched program's main on real desktops without a screen: KDE Plasma through
// its portal, KWin's XWayland, GNOME through its keybindings, and GNOME with KDE's portal
// installed (where the agent falls back to the keybindings). The keys are pressed the way a
// keyboard does (KWin's fake input, Mutter's remote-desktop keyboard), in a throw-away world.
//
//   bench_desktop_keys_latency [kde|kde-xwayland|gnome|gnome-kde-portal|all] [presses] [pause]
//
// pause: milliseconds between one press's release and the next press (200 by default).
//
// The launched program is bench_launch_stamp, which writes the monotonic time at which its main
// began to the FIFO named by PRESTO_BENCH_FIFO; the time counts from the hot key's last key going
// down, tapped at once.
#include "common/HotKeyRec.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/HeadlessDesktop.h"
#include "tests/support/TempWorld.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace presto;
using namespace presto::test;
using namespace std::chrono_literals;

namespace {

struct Desktop {
    const char* name;
    DesktopKind kind;
    const char* forced; // PRESTO_KEY_SOURCE
};

constexpr Desktop kDesktops[] = {
    {"kde", DesktopKind::Kde, ""},
    {"kde-xwayland", DesktopKind::KdeWithXWayland, "xwayland"},
    {"gnome", DesktopKind::Gnome, ""},
    {"gnome-kde-portal", DesktopKind::GnomeWithKdePortal, ""},
};

double nowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// The stamp the launched program wrote, or a negative value when none came in time.
double readStamp(int fifo, int timeoutMs) {
    pollfd pfd{fifo, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0)
        return -1;
    double stamp = -1;
    if (read(fifo, &stamp, sizeof stamp) != sizeof stamp)
        return -1;
    return stamp;
}

// A launch that comes late must still find a reader, or it waits on the FIFO for good.
void closeFifo(int fifo) {
    while (readStamp(fifo, 1000) >= 0) {
    }
    close(fifo);
}

std::string valueOf(const std::vector<std::string>& env, const std::string& name) {
    for (const std::string& entry : env)
        if (entry.rfind(name + "=", 0) == 0)
            return entry.substr(name.size() + 1);
    return {};
}

int run(const Desktop& desktop, int presses, int pauseMs) {
    const std::string missing = HeadlessDesktop::missing(desktop.kind);
    if (!missing.empty()) {
        std::printf("%-17s skipped: missing %s\n", desktop.name, missing.c_str());
        return 0;
    }
    TempWorld world;
    const std::string fifoPath = world.path("stamps.fifo");
    mkfifo(fifoPath.c_str(), 0600);
    setenv("PRESTO_BENCH_FIFO", fifoPath.c_str(), 1); // the daemon passes it on to the program
    // Read-write, so neither side ever blocks in open().
    const int fifo = open(fifoPath.c_str(), O_RDWR | O_CLOEXEC);

    HeadlessDesktop session(desktop.kind, world);
    PrestoSession presto(world, "");
    presto.writePreferences(5);
    const HotKeyRec hotKey = PrestoSession::hotKey(KEY_B, 'b', kControlBit | kOptionBit);
    presto.writeDataItems({{hotKey, PrestoSession::binDir() + "/bench_launch_stamp"}});
    presto.startDaemon();
    std::vector<std::string> env = session.environment();
    std::optional<XClient> x11;
    if (desktop.kind == DesktopKind::KdeWithXWayland) {
        x11.emplace(valueOf(env, "DISPLAY"));
        const std::uint32_t window = x11->showWindow();
        waitUntil([&] { return x11->hasFocus(window); }, 60s);
    }
    env.push_back(std::string("PRESTO_KEY_SOURCE=") + desktop.forced);
    presto.startAgent(env);
    if (!waitUntil(
            [&] {
                return presto.agentOutput().find("1 of 1 hot keys grabbed") != std::string::npos;
            },
            60s)) {
        std::fprintf(stderr, "%s: PrestoKeys did not bind the hot key:\n%s", desktop.name,
                     presto.agentOutput().c_str());
        closeFifo(fifo);
        return 1;
    }

    // Control+Alt+B, B tapped at once: GNOME's keybindings act when the key goes up, the others
    // when it goes down. The time runs from B going down to the program's main.
    auto timePress = [&](int timeoutMs) {
        session.key(KEY_LEFTCTRL, true);
        session.key(KEY_LEFTALT, true);
        session.sync();
        const double start = nowMicros();
        session.key(KEY_B, true);
        session.key(KEY_B, false);
        const double stamp = readStamp(fifo, timeoutMs);
        session.key(KEY_LEFTALT, false);
        session.key(KEY_LEFTCTRL, false);
        session.sync();
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        return stamp < 0 ? -1.0 : stamp - start;
    };
    // A desktop may take a moment to pick the binding up.
    const bool bound = waitUntil([&] { return timePress(2000) >= 0; }, 120s, 0ms);
    std::vector<double> micros;
    int lost = 0;
    for (int i = 0; bound && i < presses; ++i) {
        const double elapsed = timePress(3000);
        if (elapsed < 0)
            ++lost;
        else
            micros.push_back(elapsed);
    }
    closeFifo(fifo);
    const std::string source = presto.agentOutput();
    const auto at = source.rfind("key source: ");
    const std::string sourceName =
        at == std::string::npos ? "?" : source.substr(at + 12, source.find('\n', at) - at - 12);
    if (micros.empty()) {
        std::printf("%-17s (%s) no launch measured, %d lost\n", desktop.name, sourceName.c_str(),
                    lost);
        return 1;
    }
    std::sort(micros.begin(), micros.end());
    std::printf("%-17s (%s) n=%zu  p50 %.2f ms  p90 %.2f ms  max %.2f ms  lost %d\n", desktop.name,
                sourceName.c_str(), micros.size(), micros[micros.size() / 2] / 1000,
                micros[std::min(micros.size() - 1, micros.size() * 9 / 10)] / 1000,
                micros.back() / 1000, lost);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "all";
    const int presses = argc > 2 ? std::atoi(argv[2]) : 100;
    const int pauseMs = argc > 3 ? std::atoi(argv[3]) : 200;
    int result = 0;
    bool known = false;
    for (const Desktop& desktop : kDesktops)
        if (which == "all" || which == desktop.name) {
            known = true;
            result |= run(desktop, presses, pauseMs);
        }
    if (!known) {
        std::fprintf(stderr,
                     "usage: bench_desktop_keys_latency [kde|kde-xwayland|gnome|gnome-kde-portal|"
                     "all] [presses] [pause ms]\n");
        return 2;
    }
    return result;
}
