// Requests per second and latency of the daemon's three busiest answers, against a minimal
// server of the same one-request-per-connection pattern. Run by hand, Release build:
//   bin/bench_socket_load [requests per round, default 10000] [only the requests whose name
//   contains this text]
#include "bench/BenchSupport.h"

#include <cstring>

using namespace presto;
using namespace presto::bench;

namespace {

// accept, one receive, one reply, close: nothing else.
pid_t startReferenceServer(const std::string& path) {
    unlink(path.c_str());
    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 128) != 0)
        throw std::runtime_error("reference server: cannot listen");
    pid_t pid = fork();
    if (pid != 0) {
        close(listener);
        return pid;
    }
    static std::uint8_t table[4800], sync[16] = {5, 0, 0, 0, '1'}, ng[3] = {'N', 'G', 0};
    static std::uint8_t buffer[4800];
    for (;;) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n >= 0) {
            if (std::memcmp(buffer, "GETVERS", 7) == 0)
                send(fd, sync, sizeof sync, MSG_NOSIGNAL);
            else if (std::memcmp(buffer, "GETPREF", 7) == 0)
                send(fd, table, sizeof table, MSG_NOSIGNAL);
            else
                send(fd, ng, sizeof ng, MSG_NOSIGNAL);
        }
        close(fd);
    }
}

Stats run(const std::string& path, const std::vector<std::uint8_t>& message, long expected,
          int count) {
    std::vector<double> latencies;
    latencies.reserve(std::size_t(count));
    double begin = nowMicros();
    for (int i = 0; i < count; ++i) {
        double t0 = nowMicros();
        long got = request(path, message.data(), message.size());
        latencies.push_back(nowMicros() - t0);
        if (got != expected) {
            std::fprintf(stderr, "unexpected reply of %ld bytes (wanted %ld)\n", got, expected);
            std::exit(1);
        }
    }
    return summarize(latencies, nowMicros() - begin);
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string only = argc > 2 ? argv[2] : "";
    constexpr int kRounds = 7;
    World world;
    std::vector<DataFileEntry> entries;
    std::string item = world.item("target.txt");
    for (std::uint32_t i = 0; i < 100; ++i)
        entries.push_back({key(i), {item}});
    world.writeData(entries);

    Daemon daemon(world);
    std::string referencePath = world.root + "/runtime/reference";
    pid_t reference = startReferenceServer(referencePath);

    auto unknown = key(200).toBytes();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> message;
        long reply;
    } cases[] = {
        {"GETVERS", {'G', 'E', 'T', 'V', 'E', 'R', 'S'}, 16},
        {"GETPREF (100 hot keys)", {'G', 'E', 'T', 'P', 'R', 'E', 'F'}, 4800},
        {"unknown key", std::vector<std::uint8_t>(unknown.begin(), unknown.end()), 3},
    };

    std::printf("%d requests per round; %d rounds, daemon and reference alternating; the round "
                "with the median daemon/reference ratio is shown\n",
                count, kRounds);
    std::printf("%-24s %-10s %12s %10s %10s\n", "request", "server", "req/s", "p50 us", "p99 us");
    bool allMet = true;
    for (const Case& c : cases) {
        if (std::string(c.name).find(only) == std::string::npos)
            continue;
        run(world.loc.socketPath, c.message, c.reply, 1000);
        run(referencePath, c.message, c.reply, 1000);
        // Other work on the machine comes and goes; a pair measured back to back shares it.
        struct Pair {
            Stats daemon, reference;
            double share() const { return daemon.perSecond / reference.perSecond; }
        };
        std::vector<Pair> pairs;
        for (int round = 0; round < kRounds; ++round) {
            Stats d = run(world.loc.socketPath, c.message, c.reply, count);
            Stats r = run(referencePath, c.message, c.reply, count);
            pairs.push_back({d, r});
        }
        std::sort(pairs.begin(), pairs.end(),
                  [](const Pair& a, const Pair& b) { return a.share() < b.share(); });
        const Pair& p = pairs[pairs.size() / 2];
        allMet = allMet && p.share() >= 0.9;
        std::printf("%-24s %-10s %12.0f %10.1f %10.1f\n", c.name, "daemon", p.daemon.perSecond,
                    p.daemon.p50, p.daemon.p99);
        std::printf("%-24s %-10s %12.0f %10.1f %10.1f   daemon at %.0f%% (rounds %.0f%%-%.0f%%)\n",
                    "", "reference", p.reference.perSecond, p.reference.p50, p.reference.p99,
                    p.share() * 100, pairs.front().share() * 100, pairs.back().share() * 100);
    }
    kill(reference, SIGKILL);
    waitpid(reference, nullptr, 0);
    std::printf("target (>= 90%% of the reference on each): %s\n", allMet ? "met" : "MISSED");
    return allMet ? 0 : 1;
}
