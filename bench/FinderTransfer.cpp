// Copy to... against `cp -a` of the same sources in the same run: one 1 GiB file and a tree of
// 5,000 small files, on the file system of the temporary folder, each the median of alternating
// rounds; then the disk use of both copies of a 150 MB sparse file. The transfer runs as a press
// runs it (destination from the file manager, sources from the clipboard's file URLs), with
// silent panels. Run by hand, Release build:
//   bin/bench_finder_transfer [rounds, default 5]
#include "bench/BenchSupport.h"
#include "daemon/FileTransfer.h"
#include "daemon/PasteboardData.h"

#include <map>

using namespace presto;
using namespace presto::bench;

namespace {

class Selection final : public FinderState {
public:
    std::vector<std::string> selected;
    std::vector<std::string> selection() override { return selected; }
    std::optional<std::string> frontWindowFolder() override { return std::nullopt; }
    std::string desktopFolder() override { return "/nonexistent"; }
};

class Clipboard final : public Pasteboard {
public:
    std::map<std::string, std::vector<std::uint8_t>> items;
    bool replaceContents(const std::string& type, const std::vector<std::uint8_t>& data) override {
        items = {{type, data}};
        return true;
    }
    std::optional<std::vector<std::uint8_t>> contents(const std::string& type) override {
        auto it = items.find(type);
        return it == items.end() ? std::nullopt : std::optional(it->second);
    }
};

class SilentDialogs final : public DaemonDialogs {
public:
    Response showAlert(const Alert& alert) override {
        std::fprintf(stderr, "alert: %s %s\n", alert.header.c_str(), alert.message.c_str());
        return Response::Default;
    }
    Response askFields(const std::string&, const std::string&, std::vector<Field>&,
                       const std::string&) override {
        return Response::Default;
    }
    std::unique_ptr<Notice> showProgress(const std::string&, const std::string&, bool) override {
        return nullptr;
    }
};

double seconds(const std::function<void()>& work) {
    double start = nowMicros();
    work();
    return (nowMicros() - start) / 1e6;
}

void makeBigFile(const std::string& path, std::size_t bytes) {
    std::vector<char> block(1 << 20);
    std::uint64_t x = 88172645463325252ull;
    for (char& c : block) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        c = static_cast<char>(x);
    }
    std::ofstream out(path, std::ios::binary);
    for (std::size_t done = 0; done < bytes; done += block.size()) {
        block[0] = static_cast<char>(done >> 20); // no two blocks alike
        out.write(block.data(), std::streamsize(block.size()));
    }
}

// 150 MB with 4 KiB of data at three places; the rest holes.
void makeSparseFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string block(4096, 's');
    for (off_t at : {off_t(0), off_t(70) << 20, (off_t(150) << 20) - 4096})
        if (pwrite(fd, block.data(), block.size(), at) != ssize_t(block.size()))
            std::exit(1);
    close(fd);
}

std::uint64_t dataBytes(const std::string& path) {
    std::uint64_t bytes = 0;
    if (FileTransfer::measure(path, bytes) != kNoErr)
        std::exit(1);
    return bytes;
}

std::uint64_t diskUse(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_blocks) * 512 : 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void makeTree(const std::string& root, int files) {
    for (int i = 0; i < files; ++i) {
        std::string dir = root + "/d" + std::to_string(i / 100);
        if (i % 100 == 0)
            fs::create_directories(dir);
        std::ofstream(dir + "/f" + std::to_string(i))
            << std::string(std::size_t(200 + i % 3000), 'x');
    }
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = std::max(1, argc > 1 ? std::atoi(argv[1]) : 5);
    World world;
    const std::string src = world.root + "/src";
    fs::create_directories(src);
    std::printf("preparing sources in %s ...\n", world.root.c_str());
    makeBigFile(src + "/big.bin", std::size_t(1) << 30);
    makeTree(src + "/tree", 5000);
    makeSparseFile(src + "/sparse.bin");
    sync();
    std::printf("load average before: %s (%u cores)\n", loadAverage().c_str(),
                std::thread::hardware_concurrency());

    Selection finder;
    Clipboard clipboard;
    SilentDialogs dialogs;
    const std::string cpDest = world.root + "/cp", ourDest = world.root + "/ours";
    // One round: cp -a and Copy to... of the same source, in the order given, each starting with
    // no dirty pages of the other to write back. The copies stay until the next round.
    auto round = [&](const std::string& source, bool cpFirst, double& cp, double& ours) {
        fs::remove_all(cpDest);
        fs::remove_all(ourDest);
        fs::create_directories(cpDest);
        fs::create_directories(ourDest);
        sync();
        const std::string command = "cp -a '" + source + "' '" + cpDest + "/'";
        const std::string url = "file://" + source + "\r\n";
        clipboard.items = {{"public.file-url", {url.begin(), url.end()}}};
        finder.selected = {ourDest};
        auto runCp = [&] {
            sync();
            cp = seconds([&] {
                if (std::system(command.c_str()) != 0)
                    std::exit(1);
            });
        };
        auto runOurs = [&] {
            sync();
            ours = seconds([&] { PasteboardData(finder, clipboard, dialogs).copyPathsAll(); });
        };
        if (cpFirst) {
            runCp();
            runOurs();
        } else {
            runOurs();
            runCp();
        }
        const std::string name = source.substr(source.find_last_of('/'));
        if (dataBytes(ourDest + name) != dataBytes(cpDest + name)) {
            std::printf("copies differ\n");
            std::exit(1);
        }
    };

    struct Case {
        const char* name;
        std::string source;
    } cases[] = {{"one 1 GiB file", src + "/big.bin"},
                 {"tree of 5,000 small files", src + "/tree"}};
    bool met = true;
    for (const Case& c : cases) {
        const double bytes = double(dataBytes(c.source));
        std::vector<double> cpTimes, ourTimes;
        for (int r = 0; r < rounds; ++r) {
            double cp = 0, ours = 0;
            round(c.source, r % 2 == 0, cp, ours);
            cpTimes.push_back(cp);
            ourTimes.push_back(ours);
        }
        const double cp = median(cpTimes), ours = median(ourTimes);
        const double ratio = cp / ours;
        met = met && ratio >= 0.9;
        std::printf("%-27s cp -a %7.1f MB/s (%.3f s)   Copy to... %7.1f MB/s (%.3f s)   "
                    "ratio %.2f\n",
                    c.name, bytes / cp / 1e6, cp, bytes / ours / 1e6, ours, ratio);
    }

    double cp = 0, ours = 0;
    round(src + "/sparse.bin", true, cp, ours);
    std::printf(
        "150 MB sparse file on disk: source %llu KiB, cp -a %llu KiB, Copy to... %llu KiB\n",
        static_cast<unsigned long long>(diskUse(src + "/sparse.bin") / 1024),
        static_cast<unsigned long long>(diskUse(cpDest + "/sparse.bin") / 1024),
        static_cast<unsigned long long>(diskUse(ourDest + "/sparse.bin") / 1024));
    std::printf("load average after: %s\n", loadAverage().c_str());
    std::printf("%s (median of %d alternating rounds, at least 0.9 of cp -a wanted)\n",
                met ? "target met" : "target MISSED", rounds);
    return met ? 0 : 1;
}
