#pragma once

// Shared by the daemon benchmarks: a throw-away world, the daemon started in it, a client.

#include "common/DataFile.h"
#include "common/FileReferences.h"
#include "common/HotKeyRec.h"
#include "common/Locations.h"
#include "common/PreferenceDomain.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace presto::bench {

namespace fs = std::filesystem;

inline double nowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

inline std::string selfDir() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return ".";
    std::string exe(self, std::size_t(n));
    return exe.substr(0, exe.find_last_of('/'));
}

// HOME, XDG folders and the socket path in a fresh temporary folder, exported so the daemon
// started afterwards sees them; removed at the end.
class World {
public:
    World() {
        std::string pattern = (fs::temp_directory_path() / "presto-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("no temporary folder");
        root = pattern;
        for (const char* dir : {"home", "data", "config", "runtime", "bin", "items"})
            fs::create_directories(fs::path(root) / dir);
        setenv("HOME", (root + "/home").c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
        setenv("PRESTO_SOCKET_PATH", (root + "/runtime/socket").c_str(), 1);
        loc = Locations::fromEnvironment();
        fs::create_directories(loc.dataFolder());
    }
    ~World() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // A file that exists, for references to point at.
    std::string item(const std::string& name) {
        std::string path = root + "/items/" + name;
        std::ofstream(path) << name;
        return path;
    }
    void writeData(const std::vector<DataFileEntry>& entries) {
        auto bytes = encodeDataFile(entries, FileReferences(loc.referencesDir()));
        std::ofstream(loc.dataFilePath(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void prefs(const char* domain, const std::function<void(PreferenceDomain&)>& edit) {
        PreferenceDomain d(loc.preferenceFile(domain));
        edit(d);
        d.synchronize();
    }

    std::string root;
    Locations loc;
};

inline HotKeyRec key(std::uint32_t keyCode, char kind = kKindLaunch, std::uint8_t items = 1) {
    return HotKeyRec{kKeyDownEventType, kControlBit, keyCode, 0, 0, kind, items, 0, 0};
}

inline int connectTo(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One request as the clients make it; the reply's length, or -1.
inline long request(const std::string& path, const void* bytes, std::size_t size) {
    int fd = connectTo(path);
    if (fd < 0)
        return -1;
    if (send(fd, bytes, size, MSG_NOSIGNAL) != ssize_t(size)) {
        close(fd);
        return -1;
    }
    long total = 0;
    char buffer[8192];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
        total += n;
    close(fd);
    return n < 0 ? -1 : total;
}

// The built daemon (or `program`), copied into the world's bin folder so that no assistant lies
// beside it, started with its standard output going to /dev/null.
class Daemon {
public:
    explicit Daemon(World& world, const std::string& program = selfDir() + "/Presto.daemon")
        : socket_(world.loc.socketPath) {
        std::string copy = world.root + "/bin/Presto.daemon";
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
        pid_ = fork();
        if (pid_ == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            execl(copy.c_str(), copy.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            int fd = connectTo(socket_);
            if (fd >= 0) {
                // An empty probe would count as a table request; ask for the sync record.
                send(fd, "GETVERS", 7, MSG_NOSIGNAL);
                close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        throw std::runtime_error("the daemon did not come up");
    }
    ~Daemon() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

private:
    std::string socket_;
    pid_t pid_ = -1;
};

// CPU time (user + system) of a process in clock ticks, all threads included.
inline long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::string rest = text.substr(text.rfind(')') + 2);
    std::vector<std::string> fields;
    std::string field;
    for (char c : rest + " ") {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    // Fields 14 and 15 of the line, counted from the state (field 3).
    return std::stol(fields[11]) + std::stol(fields[12]);
}

// A "Vm..." field of /proc/<pid>/status in KiB: VmRSS now, VmHWM at its peak.
inline long statusKiB(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

inline long residentKiB(pid_t pid) {
    return statusKiB(pid, "VmRSS");
}

struct Stats {
    double perSecond, p50, p99;
};

inline Stats summarize(std::vector<double> micros, double elapsedMicros) {
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[std::size_t(q * double(micros.size() - 1))]; };
    return {double(micros.size()) / (elapsedMicros / 1e6), at(0.50), at(0.99)};
}

} // namespace presto::bench
