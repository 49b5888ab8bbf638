// PrestoHotKey: sends one pressed hot key to Presto.daemon. The desktop runs it as the command of
// a keybinding that PrestoKeys wrote, where the agent itself never sees the key:
//   PrestoHotKey [--socket PATH] KEYCODE MODFLAGS
#include "capture/DaemonLink.h"
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

int usage() {
    std::fprintf(stderr, "usage: PrestoHotKey [--socket PATH] KEYCODE MODFLAGS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int arg = 1;
    std::string socketPath;
    if (arg < argc && std::strcmp(argv[arg], "--socket") == 0) {
        if (arg + 1 >= argc || !*argv[arg + 1])
            return usage();
        socketPath = argv[arg + 1];
        arg += 2;
    }
    presto::HotKeyRec rec;
    if (argc - arg != 2 || !parseNumber(argv[arg], rec.keyCode) ||
        !parseNumber(argv[arg + 1], rec.modFlags))
        return usage();
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
