// A saved change to the agent's grabs: the data file written and "UPDTDATA" sent, as the
// configuration application saves, until PrestoKeys has renewed its grabs for the new table.
// The real Presto.daemon and PrestoKeys on a private Xvfb server, the poll interval at its
// default of five seconds, 50 saves alternating between one and two hot keys (p50, max).
//
//   bench_reload_reaction [saves]        (from a Release build)
#include "common/PrefSocket.h"
#include "tests/capture/PrestoSession.h"
#include "tests/capture/XHarness.h"
#include "tests/support/TempWorld.h"

#include <algorithm>
#include <cstdio>
#include <linux/input-event-codes.h>
#include <time.h>

using namespace presto;
using namespace presto::test;
using namespace std::chrono_literals;

namespace {

double nowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

int renewals(const PrestoSession& session) {
    const std::string output = session.agentOutput();
    int n = 0;
    for (auto at = output.find("hot keys grabbed"); at != std::string::npos;
         at = output.find("hot keys grabbed", at + 1))
        ++n;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const int saves = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    if (!Xvfb::installed()) {
        std::fprintf(stderr, "Xvfb is not installed\n");
        return 1;
    }
    Xvfb xvfb;
    TempWorld world;
    PrestoSession session(world, xvfb.display());
    session.writePreferences(5);
    const HotKeyRec a = PrestoSession::hotKey(KEY_A, 'a', kCommandBit | kShiftBit);
    const HotKeyRec s = PrestoSession::hotKey(KEY_S, 's', kCommandBit | kShiftBit);
    session.writeData({{a, "a"}});
    session.startDaemon();
    session.startAgent();
    if (!waitUntil([&] { return renewals(session) >= 1; }, 10s)) {
        std::fprintf(stderr, "the agent did not start:\n%s", session.agentOutput().c_str());
        return 1;
    }

    std::vector<double> micros;
    for (int i = 0; i < saves; ++i) {
        const int before = renewals(session);
        const double start = nowMicros();
        if (i % 2 == 0)
            session.writeData({{a, "a"}, {s, "s"}});
        else
            session.writeData({{a, "a"}});
        PrefSocket(world.locations().socketPath).sendMessage(kUpdateDataMessage, 8);
        if (!waitUntil([&] { return renewals(session) > before; }, 10s, 1ms)) {
            std::fprintf(stderr, "save %d was not taken up\n", i);
            return 1;
        }
        micros.push_back(nowMicros() - start);
    }
    std::sort(micros.begin(), micros.end());
    std::printf("save to renewed grabs, %d saves: p50 %.1f ms, max %.1f ms\n", saves,
                micros[micros.size() / 2] / 1000, micros.back() / 1000);
    return 0;
}
