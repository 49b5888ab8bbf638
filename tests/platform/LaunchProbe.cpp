// Runs GioLauncher in a process of its own, so that GIO reads the temporary XDG folders that
// the test set up (GIO looks its folders up once per process and keeps them).
//   presto_launch_probe <finder-state-file> (open:<path> | with:<app>)...
// prints each call's result on a line of its own.

#include "platform/linux/FinderStateFile.h"
#include "platform/linux/GioLauncher.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const char* home = std::getenv("HOME");
    presto::FinderStateFile finder(argv[1], home ? home : "", "");
    presto::GioLauncher launcher(finder);
    for (int i = 2; i < argc; ++i) {
        std::string command = argv[i];
        int result = 0;
        if (command.starts_with("open:"))
            result = launcher.openItem(command.substr(5));
        else if (command.starts_with("with:"))
            result = launcher.openSelectionWith(command.substr(5));
        else
            return 2;
        std::printf("%d\n", result);
    }
    return 0;
}
