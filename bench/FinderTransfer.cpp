// Copy to... against `cp -a` of the same sources in the same run: one 1 GiB file and a tree of
// 5,000 small files, on the file system of the temporary folder. The transfer runs as a press
// runs it (destination from the file manager, sources from the clipboard's file URLs), with
// silent panels. Run by hand, Release build:
//   bin/bench_finder_transfer [rounds, default 3]
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
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    World world;
    const std::string src = world.root + "/src";
    fs::create_directories(src);
    std::printf("preparing sources in %s ...\n", world.root.c_str());
    makeBigFile(src + "/big.bin", std::size_t(1) << 30);
    makeTree(src + "/tree", 5000);
    sync();

    Selection finder;
    Clipboard clipboard;
    SilentDialogs dialogs;
    struct Case {
        const char* name;
        std::string source;
        double bytes;
    } cases[] = {
        {"one 1 GiB file", src + "/big.bin", double(1u << 30)},
        {"tree of 5,000 small files", src + "/tree", double(FileTransfer::measure(src + "/tree"))}};
    bool met = true;
    for (const Case& c : cases) {
        double oursBest = 1e9, cpBest = 1e9;
        for (int round = 0; round < rounds; ++round) {
            const std::string cpDest = world.root + "/cp", ourDest = world.root + "/ours";
            fs::create_directories(cpDest);
            fs::create_directories(ourDest);
            std::string command = "cp -a '" + c.source + "' '" + cpDest + "/'";
            std::string url = "file://" + c.source + "\r\n";
            clipboard.items = {{"public.file-url", {url.begin(), url.end()}}};
            finder.selected = {ourDest};
            // Each copy starts with no dirty pages of the other to write back, and the two take
            // turns at going first.
            double cp = 0, ours = 0;
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
            if (round % 2 == 0) {
                runCp();
                runOurs();
            } else {
                runOurs();
                runCp();
            }
            if (FileTransfer::measure(ourDest) != FileTransfer::measure(cpDest)) {
                std::printf("copies differ\n");
                return 1;
            }
            cpBest = std::min(cpBest, cp);
            oursBest = std::min(oursBest, ours);
            fs::remove_all(cpDest);
            fs::remove_all(ourDest);
            sync();
        }
        double ratio = cpBest / oursBest;
        met = met && ratio >= 0.9;
        std::printf("%-27s cp -a %7.1f MB/s (%.3f s)   Copy to... %7.1f MB/s (%.3f s)   "
                    "ratio %.2f\n",
                    c.name, c.bytes / cpBest / 1e6, cpBest, c.bytes / oursBest / 1e6, oursBest,
                    ratio);
    }
    std::printf("%s (best of %d rounds, at least 0.9 of cp -a wanted)\n",
                met ? "target met" : "target MISSED", rounds);
    return met ? 0 : 1;
}
