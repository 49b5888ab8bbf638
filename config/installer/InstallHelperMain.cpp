// The installer's privileged helper. pkexec runs it as root for one operation; the configuration
// application then asks for that operation's steps by name, one a line on standard input, and
// reads one status a line back. Without --steps it performs the whole operation, for an
// administrator at a terminal.
#include "common/CommandLine.h"
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

constexpr presto::cli::Option kOptions[] = {
    {"steps", nullptr, "perform the steps named on standard input, one a line"},
    {"root", "DIR", "install into DIR instead of / (not through pkexec)"},
};

constexpr presto::cli::Program kProgram{
    .name = "PrestoInstallHelper",
    .operands = "install|uninstall",
    .description =
        "Installs or removes Presto's programs in /opt/Presto, its systemd user units, autostart "
        "entry, desktop entry, polkit actions, manual pages and AppStream description, from the "
        "folder this program lies in. Needs administrator rights (sudo or pkexec); the "
        "configuration application runs it through pkexec.",
    .options = kOptions,
    .operandCount = 1,
    .notes = "Exit status:\n"
             "  0  done\n"
             "  1  a step failed\n"
             "  2  a wrong command line\n"
             "  3  started without administrator rights\n"
             "  4  the package manager installed the modules: nothing was changed",
};

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
    const presto::cli::CommandLine command = presto::cli::parse(argc, argv, kProgram);
    if (command.exitStatus)
        return *command.exitStatus;
    Operation operation{};
    if (command.operands[0] == "install") {
        operation = Operation::Install;
    } else if (command.operands[0] == "uninstall") {
        operation = Operation::Uninstall;
    } else {
        std::fprintf(stderr, "%s: unknown operation '%s'\nTry '%s --help' for more information.\n",
                     kProgram.name, command.operands[0].c_str(), kProgram.name);
        return kExitUsage;
    }
    const bool steps = command.has("steps");
    Place place;
    if (command.has("root")) {
        place.root = command.options.at("root");
        if (place.root.empty() || place.root[0] != '/') {
            std::fprintf(stderr, "%s: --root needs an absolute folder\n", kProgram.name);
            return kExitUsage;
        }
    }
    // A caller who already has the rights may install into a folder of its own (tests do);
    // through pkexec the helper writes nowhere but the fixed places.
    if (!place.root.empty() && std::getenv("PKEXEC_UID")) {
        std::fprintf(stderr, "%s: --root is not accepted through pkexec\n", kProgram.name);
        return kExitUsage;
    }
    if (place.root.empty() && geteuid() != 0) {
        std::fprintf(stderr, "%s: needs administrator rights; run it with sudo or pkexec\n",
                     kProgram.name);
        return kExitNotAdmin;
    }
    // Removing or overwriting them would leave dpkg's records wrong and its conffiles gone for
    // good; the application says so before it ever gets here.
    if (const std::string package = packageOwner(place); !package.empty()) {
        std::fprintf(stderr,
                     "%s: the package %s owns Presto's modules, so Presto leaves them alone; use "
                     "the package manager\n",
                     kProgram.name, package.c_str());
        return kExitPackaged;
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
