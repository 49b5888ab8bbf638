// PrestoHotKey, the command GNOME runs for a hot key: from the client's start to its record on
// the daemon's socket, over 200 runs (p50, p90, max). A listener stands in for the daemon so the
// figure is the client's alone.
//
//   bench_hotkey_client [runs]        (from a Release build, PrestoHotKey beside it)
#include "bench/BenchSupport.h"

#include <cstring>
#include <poll.h>
#include <spawn.h>

extern char** environ;

using namespace presto;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const std::string client = bench::selfDir() + "/PrestoHotKey";
    char folder[] = "/tmp/presto-bench-client-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string socketPath = std::string(folder) + "/socket";
    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0) {
        std::perror("listen");
        return 1;
    }

    std::vector<double> micros;
    for (int i = 0; i < runs; ++i) {
        std::vector<std::string> args{client, "--socket", socketPath, "96", "1048576"};
        std::vector<char*> argvClient;
        for (auto& arg : args)
            argvClient.push_back(arg.data());
        argvClient.push_back(nullptr);
        pid_t pid = 0;
        const double start = bench::nowMicros();
        if (posix_spawn(&pid, client.c_str(), nullptr, nullptr, argvClient.data(), environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", client.c_str());
            return 1;
        }
        pollfd wait{listener, POLLIN, 0};
        if (poll(&wait, 1, 5000) <= 0) {
            std::fprintf(stderr, "no record from the client\n");
            return 1;
        }
        int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        std::uint8_t record[HotKeyRec::kSize];
        ssize_t got = recv(connection, record, sizeof record, MSG_WAITALL);
        const double arrived = bench::nowMicros();
        close(connection); // as the daemon does once it has acted
        int status = 0;
        waitpid(pid, &status, 0);
        if (got != static_cast<ssize_t>(sizeof record) ||
            HotKeyRec::fromBytes(record).keyCode != 96) {
            std::fprintf(stderr, "a wrong record arrived\n");
            return 1;
        }
        micros.push_back(arrived - start);
    }
    close(listener);
    unlink(socketPath.c_str());
    rmdir(folder);

    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[std::size_t(q * double(micros.size() - 1))] / 1000; };
    std::printf("PrestoHotKey start to record on the socket, %d runs: p50 %.2f ms, p90 %.2f ms, "
                "max %.2f ms\n",
                runs, at(0.5), at(0.9), micros.back() / 1000);
    return 0;
}
