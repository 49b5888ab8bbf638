// PrestoKeys: the key-capture agent. It takes the hot key table from Presto.daemon, hands its keys
// to the session's key source (X11 grabs, the desktop's shortcuts portal or GNOME's keybindings)
// and tells the daemon when one is pressed.
//
// Built twice, as PrestoKeys and PrestoKeysWayland: what differs lies in KeysProgram.h.
#include "capture/Agent.h"
#include "capture/DaemonLink.h"
#include "capture/KeysProgram.h"
#include "capture/ReloadWatch.h"
#include "capture/SourceChoice.h"
#include "capture/StatusFile.h"
#include "capture/UnofferedKeys.h"
#include "capture/XKeyboard.h"
#include "common/CommandLine.h"
#include "common/Locations.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr const char* kNotes =
    "Environment:\n"
    "  PRESTO_SOCKET_PATH  the socket (default $XDG_RUNTIME_DIR/Presto_socket)\n"
    "\n"
    "Files:\n"
    "  $XDG_RUNTIME_DIR/Presto/keys-status  the key source in use, and why\n"
    "\n"
    "Exit status:\n"
    "  0  ended by SIGTERM, SIGINT or SIGHUP\n"
    "  1  no key source could be opened, or a private folder is not the user's own\n"
    "  2  a wrong command line";

// The source of this kind, or null with why it cannot start.
std::unique_ptr<presto::KeySource> openSource(presto::SourceKind kind, presto::Agent& agent,
                                              const presto::Locations& locations,
                                              std::string& why) {
    using presto::SourceKind;
    if (auto desktop = presto::keys::openDesktopSource(kind, agent, locations, why);
        desktop || !why.empty())
        return desktop;
    if (kind == SourceKind::None)
        return std::make_unique<presto::UnofferedKeys>(agent.listener());
    auto keyboard = std::make_unique<presto::XKeyboard>(nullptr, agent.listener());
    if (!keyboard->connected()) {
        const char* display = std::getenv("DISPLAY");
        why = std::string("cannot open the X display ") +
              (display && *display ? display : "(DISPLAY is not set)");
        return nullptr;
    }
    if (kind == SourceKind::XWayland) {
        keyboard->setName(presto::sourceTitle(kind));
        std::printf("PrestoKeys: this Wayland desktop offers no global shortcuts; hot keys work "
                    "only while an X11 window has the focus\n");
    }
    return keyboard;
}

} // namespace

namespace presto::keys {

std::filesystem::path selfDir() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

} // namespace presto::keys

int main(int argc, char** argv) {
    const presto::cli::Program program{
        .name = presto::keys::kProgramName,
        .operands = "",
        .description = presto::keys::kDescription,
        .notes = kNotes,
    };
    if (auto line = presto::cli::parse(argc, argv, program); line.exitStatus)
        return *line.exitStatus;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Signals only wake the loop through a descriptor; the loop ends itself cleanly. Blocked
    // before any thread starts (GDBus has its own), so none of them takes a signal instead.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, sig);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const presto::SessionFacts facts = presto::sessionFactsFromEnvironment();
    presto::SourceKind kind = presto::keys::firstSource(facts, argv);
    // A write to a vanished X server or daemon must fail, not end the agent before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);

    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        std::perror("PrestoKeys: signalfd");
        return 1;
    }

    const presto::Locations locations = presto::Locations::fromEnvironment();
    if (!locations.securePrivateFolders(presto::Locations::UsesSocket, "PrestoKeys"))
        return 1;
    // A stop signal ends a request to the daemon at once, not after its deadline.
    presto::DaemonLink link(locations.socketPath, std::chrono::seconds(1), signalFd);
    presto::SystemAgentClock clock;
    presto::ReloadWatch reload(locations.runtimeDir);
    presto::StatusFile status(locations.runtimeDir + "/" + presto::kKeysStatusName);
    presto::Agent agent(link, stdout, clock, &status);

    // A source that cannot work here hands over to the next one, still with the table.
    std::unique_ptr<presto::KeySource> source;
    int result = 0;
    for (;;) {
        std::string why;
        source = openSource(kind, agent, locations, why);
        if (source) {
            std::printf("PrestoKeys: key source: %s\n", source->name().c_str());
            const auto end = agent.run(*source, signalFd, &reload);
            if (end != presto::Agent::RunEnd::SourceFailed) {
                result = end == presto::Agent::RunEnd::WaitFailed ? 1 : 0;
                break;
            }
            why = agent.sourceFailure();
        }
        if (kind == presto::SourceKind::X11) {
            std::fprintf(stderr, "PrestoKeys: %s\n", why.c_str());
            result = 1;
            break;
        }
        const presto::SourceKind next = presto::nextKeySource(kind, facts);
        agent.reportFallback(presto::sourceTitle(kind), why, presto::sourceTitle(next));
        source.reset();
        kind = next;
    }
    source.reset();
    status.remove();
    close(signalFd);
    return result;
}
