// Writes the units, the autostart entry, the desktop entry and the polkit actions into a folder,
// for the package.
#include "config/installer/ModuleFiles.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    using namespace presto::modules;
    const std::string folder = std::string(argv[1]) + "/";
    const std::pair<const char*, std::string> files[] = {
        {presto::kDaemonUnit, daemonUnitText()},
        {presto::kKeysUnit, keysUnitText()},
        {kAutostartEntry, autostartEntryText()},
        {kApplicationEntry, applicationEntryText()},
        {kPolicyFile, policyText()},
    };
    for (const auto& [name, text] : files) {
        const std::string path = folder + name;
        unlink(path.c_str());
        if (!writeNewFile(path, text, 0644)) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
