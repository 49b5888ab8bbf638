// Runs GioLauncher in a process of its own, so that GIO reads the temporary XDG folders that
// the test set up (GIO looks its folders up once per process and keeps them).
//   presto_launch_probe <finder-state-file> (open:<path> | with:<app> | can:<path>)...
// prints each call's result on a line of its own (for can: 1 or 0). With PRESTO_PROBE_SCOPES set,
// each program the call handed to the scope placer follows as a line "scope <pid> <item>";
// PRESTO_PROBE_FOLDER is the launcher's working folder.

#include "platform/linux/FinderStateFile.h"
#include "platform/linux/GioLauncher.h"

#include <cstdio>
#include <cstdlib>
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

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const char* home = std::getenv("HOME");
    presto::FinderStateFile finder(argv[1], home ? home : "", "");
    PrintingScopePlacer scopes;
    const char* folder = std::getenv("PRESTO_PROBE_FOLDER");
    presto::GioLauncher launcher(finder, std::getenv("PRESTO_PROBE_SCOPES") ? &scopes : nullptr,
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
