// PrestoHotKey: sends one pressed hot key to Presto.daemon. The desktop runs it as the command of
// a keybinding that PrestoKeys wrote, where the agent itself never sees the key:
//   PrestoHotKey [--socket=PATH] KEYCODE MODFLAGS
#include "capture/DaemonLink.h"
#include "common/CommandLine.h"
#include "common/Locations.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>

namespace {

bool parseNumber(const char* text, std::uint32_t& out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text, &end, 0);
    if (errno != 0 || *end != '\0' || value > 0xffffffffUL || text[0] == '-')
        return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

constexpr presto::cli::Option kOptions[] = {
    {"socket", "PATH", "the daemon's socket, when it is not the default one"},
};

constexpr presto::cli::Program kProgram{
    .name = "PrestoHotKey",
    .operands = "KEYCODE MODFLAGS",
    .description =
        "Sends one pressed hot key to Presto.daemon. The desktop runs it as the command of a "
        "keybinding that PrestoKeys wrote, where the agent itself never sees the key. KEYCODE "
        "and MODFLAGS are the hot key's key code and modifier flags as Presto stores them, "
        "decimal or 0x-hexadecimal.",
    .options = kOptions,
    .operandCount = 2,
    .notes = "Environment:\n"
             "  PRESTO_SOCKET_PATH  the socket (default $XDG_RUNTIME_DIR/Presto_socket)\n"
             "\n"
             "Exit status:\n"
             "  0  the daemon took the key\n"
             "  1  the daemon does not answer, or does not know the key\n"
             "  2  a wrong command line",
};

} // namespace

int main(int argc, char** argv) {
    const presto::cli::CommandLine line = presto::cli::parse(argc, argv, kProgram);
    if (line.exitStatus)
        return *line.exitStatus;
    std::string socketPath = line.has("socket") ? line.options.at("socket") : std::string();
    const char* problem = line.has("socket") && socketPath.empty() ? "socket path" : nullptr;
    presto::HotKeyRec rec;
    if (!problem && !parseNumber(line.operands[0].c_str(), rec.keyCode))
        problem = "key code";
    if (!problem && !parseNumber(line.operands[1].c_str(), rec.modFlags))
        problem = "modifier flags";
    if (problem) {
        std::fprintf(stderr,
                     "PrestoHotKey: invalid %s\nTry 'PrestoHotKey --help' for more "
                     "information.\n",
                     problem);
        return 2;
    }
    if (socketPath.empty())
        socketPath = presto::Locations::fromEnvironment().socketPath;
    rec.eventType = presto::kKeyDownEventType;
    rec.kind = presto::kKindLaunch;

    presto::DaemonLink link(socketPath);
    presto::UniqueFd fd = link.sendHotKey(rec);
    if (!fd) {
        std::fprintf(stderr, "PrestoHotKey: Presto.daemon does not answer at %s\n",
                     socketPath.c_str());
        return 1;
    }
    // The daemon closes the connection once it has acted, or answers "NG" first.
    pollfd wait{fd.get(), POLLIN, 0};
    if (::poll(&wait, 1, 1000) > 0 && presto::DaemonLink::isNotFoundReply(fd.get())) {
        std::fprintf(stderr, "PrestoHotKey: Presto.daemon does not know hot key %u/0x%x\n",
                     static_cast<unsigned>(rec.keyCode), static_cast<unsigned>(rec.modFlags));
        return 1;
    }
    return 0;
}
