// Runs GioLauncher in a process of its own, so that GIO reads the temporary XDG folders that
// the test set up (GIO looks its folders up once per process and keeps them).
//   presto_launch_probe <finder-state-file> (open:<path> | with:<app> | can:<path>)...
// prints each call's result on a line of its own (for can: 1 or 0). With PRESTO_PROBE_SCOPES set,
// each program the call handed to the scope placer follows as a line "scope <pid> <item>";
// PRESTO_PROBE_FOLDER is the launcher's working folder. PRESTO_PROBE_SESSION, when set, is the
// login's environment, one "NAME=value" a line.

#include "platform/linux/FinderStateFile.h"
#include "platform/linux/GioLauncher.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

class PrintingScopePlacer final : public presto::ScopePlacer {
public:
    void place(pid_t pid, const std::string& program) override {
        placed_.push_back("scope " + std::to_string(pid) + " " + program);
    }
    void print() {
        for (const std::string& line : placed_)
            std::printf("%s\n", line.c_str());
        placed_.clear();
    }

private:
    std::vector<std::string> placed_;
};

// The login's environment as PRESTO_PROBE_SESSION gives it.
class ProbeSession final : public presto::SessionEnvironment {
public:
    std::optional<std::vector<std::string>> read() override {
        std::vector<std::string> entries;
        std::string text = std::getenv("PRESTO_PROBE_SESSION");
        for (std::size_t start = 0; start <= text.size();) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            entries.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return entries;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const char* home = std::getenv("HOME");
    presto::FinderStateFile finder(argv[1], home ? home : "", "");
    PrintingScopePlacer scopes;
    const char* folder = std::getenv("PRESTO_PROBE_FOLDER");
    ProbeSession session;
    presto::GioLauncher launcher(finder, std::getenv("PRESTO_PROBE_SCOPES") ? &scopes : nullptr,
                                 std::getenv("PRESTO_PROBE_SESSION") ? &session : nullptr,
                                 folder ? folder : "");
    for (int i = 2; i < argc; ++i) {
        std::string command = argv[i];
        int result = 0;
        if (command.starts_with("open:"))
            result = launcher.openItem(command.substr(5));
        else if (command.starts_with("with:"))
            result = launcher.openSelectionWith(command.substr(5));
        else if (command.starts_with("can:"))
            result = launcher.canOpenFiles(command.substr(4)) ? 1 : 0;
        else
            return 2;
        std::printf("%d\n", result);
        scopes.print();
    }
    return 0;
}
