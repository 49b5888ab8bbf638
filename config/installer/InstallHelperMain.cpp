// The installer's privileged helper. pkexec runs it as root for one operation; the configuration
// application then asks for that operation's steps by name, one a line on standard input, and
// reads one status a line back. Without --steps it performs the whole operation, for an
// administrator at a terminal.
#include "config/installer/InstallSteps.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] = "Usage: %s install|uninstall [--steps]\n"
                      "Installs or removes Presto's programs in /opt/Presto, its systemd user "
                      "units,\nautostart entry, desktop entry and polkit actions, from the folder "
                      "this program\nlies in. Needs administrator rights (sudo or pkexec).\n"
                      "  --steps   perform the steps named on standard input, one a line\n";

std::vector<std::string> words(const char* line) {
    std::vector<std::string> result;
    std::string word;
    for (const char* c = line; *c && *c != '\n'; ++c) {
        if (*c == ' ') {
            result.push_back(word);
            word.clear();
        } else {
            word += *c;
        }
    }
    result.push_back(word);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    using namespace presto::install;
    umask(022);
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(kUsage, argv[0]);
        return 0;
    }
    Operation operation{};
    if (argc >= 2 && std::strcmp(argv[1], "install") == 0) {
        operation = Operation::Install;
    } else if (argc >= 2 && std::strcmp(argv[1], "uninstall") == 0) {
        operation = Operation::Uninstall;
    } else {
        std::fprintf(stderr, kUsage, argv[0]);
        return kExitUsage;
    }
    bool steps = false;
    Place place;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--steps") == 0) {
            steps = true;
        } else if (std::strncmp(argv[i], "--root=", 7) == 0 && argv[i][7] == '/') {
            place.root = argv[i] + 7;
        } else {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[i]);
            return kExitUsage;
        }
    }
    // A caller who already has the rights may install into a folder of its own (tests do);
    // through pkexec the helper writes nowhere but the fixed places.
    if (!place.root.empty() && std::getenv("PKEXEC_UID")) {
        std::fprintf(stderr, "%s: --root is not accepted through pkexec\n", argv[0]);
        return kExitUsage;
    }
    if (place.root.empty() && geteuid() != 0) {
        std::fprintf(stderr, "%s: needs administrator rights; run it with sudo or pkexec\n",
                     argv[0]);
        return kExitNotAdmin;
    }
    char self[PATH_MAX];
    if (!realpath("/proc/self/exe", self)) {
        std::perror("/proc/self/exe");
        return kExitFailed;
    }
    place.sources = self;
    place.sources.erase(place.sources.rfind('/'));

    if (!steps)
        return performAll(operation, place, stdout);
    std::printf("ready\n");
    std::fflush(stdout);
    char* line = nullptr;
    std::size_t capacity = 0;
    while (getline(&line, &capacity, stdin) > 0) {
        std::printf("%d\n", perform(operation, words(line), place));
        std::fflush(stdout);
    }
    std::free(line);
    return 0;
}
