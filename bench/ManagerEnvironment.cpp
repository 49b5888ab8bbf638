// What reading the user manager's environment adds to every launch of a daemon that runs as its
// unit: 1,000 reads over the session bus, as the launcher makes them. Run by hand, Release build,
// in a login whose user manager runs (DBUS_SESSION_BUS_ADDRESS or XDG_RUNTIME_DIR set):
//   bin/bench_manager_environment [reads, default 1000]
#include "bench/BenchSupport.h"
#include "platform/linux/UserManager.h"

using namespace presto;
using namespace presto::bench;

int main(int argc, char** argv) {
    const int reads = argc > 1 ? std::atoi(argv[1]) : 1000;
    ManagerEnvironment manager;
    // The first read loads GIO and connects; a daemon pays it once.
    double begin = nowMicros();
    if (!manager.read()) {
        std::fprintf(stderr, "the user manager does not answer on the session bus\n");
        return 1;
    }
    const double first = nowMicros() - begin;
    std::vector<double> times;
    begin = nowMicros();
    for (int i = 0; i < reads; ++i) {
        const double started = nowMicros();
        if (!manager.read())
            return 1;
        times.push_back(nowMicros() - started);
    }
    Stats s = summarize(times, nowMicros() - begin);
    // A launch may take 700 us at the median; the read must stay a small part of it.
    bool met = s.p50 <= 250 && s.p99 <= 1000;
    std::printf("first read %.0f us; %d reads: p50 %.0f us  p99 %.0f us  (%s)\n", first, reads,
                s.p50, s.p99, met ? "target met" : "target MISSED");
    return met ? 0 : 1;
}
