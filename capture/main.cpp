// PrestoKeys: the key-capture agent. It takes the hot key table from Presto.daemon, hands its keys
// to the session's key source (X11 grabs, the desktop's shortcuts portal or GNOME's keybindings)
// and tells the daemon when one is pressed.
//
// Built twice: PrestoKeys knows X11 alone and stays small for the X11 sessions it serves all
// session long; on Wayland it becomes PrestoKeysWayland (same folder), which adds the desktops'
// sources and the GIO they need.
#include "capture/Agent.h"
#include "capture/DaemonLink.h"
#include "capture/ReloadWatch.h"
#include "capture/SourceChoice.h"
#include "capture/StatusFile.h"
#include "capture/UnofferedKeys.h"
#include "capture/XKeyboard.h"
#include "common/CommandLine.h"
#include "common/Locations.h"
#include "common/ProgramVersion.h"
#include "common/Version.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/signalfd.h>
#include <unistd.h>

#if PRESTO_KEYS_WAYLAND
#include "capture/GlobalShortcutsPortal.h"
#include "capture/GnomeKeybindings.h"

#include <glib.h>
#include <sys/prctl.h>
#endif

// The installer reads the installed agent's version from this mark without running it.
#if PRESTO_KEYS_WAYLAND
PRESTO_VERSION_MARK("PrestoKeysWayland", PRESTO_BUNDLE_VERSION);
#else
PRESTO_VERSION_MARK("PrestoKeys", PRESTO_BUNDLE_VERSION);
#endif

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

#if PRESTO_KEYS_WAYLAND
constexpr presto::cli::Program kProgram{
    .name = "PrestoKeysWayland",
    .operands = "",
    .description =
        "The Wayland half of Presto's key-capture agent, started by PrestoKeys in its place: "
        "hands the hot keys to the desktop's global shortcuts portal or to GNOME's custom "
        "keybindings, or else to X11 through XWayland, and tells Presto.daemon when one is "
        "pressed.",
    .notes = kNotes,
};
#else
constexpr presto::cli::Program kProgram{
    .name = "PrestoKeys",
    .operands = "",
    .description =
        "Presto's key-capture agent: takes the hot key table from Presto.daemon, grabs its "
        "keys on the X11 display and tells the daemon when one is pressed. In a Wayland "
        "session it starts PrestoKeysWayland in its place. It runs for the whole session, "
        "started by the systemd user unit com.nimbo.Presto.keys.service.",
    .notes = kNotes,
};
#endif

std::filesystem::path selfDir() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

#if PRESTO_KEYS_WAYLAND

// PrestoHotKey beside this program, with the socket named when it is not the default one: the
// desktop runs the command in its own environment, which lacks PRESTO_SOCKET_PATH.
std::string hotKeyCommand(const presto::Locations& locations) {
    const std::string client = (selfDir() / "PrestoHotKey").string();
    gchar* quoted = g_shell_quote(client.c_str());
    std::string command = quoted;
    g_free(quoted);
    if (const char* socket = std::getenv("PRESTO_SOCKET_PATH"); socket && *socket) {
        quoted = g_shell_quote(locations.socketPath.c_str());
        command += std::string(" --socket ") + quoted;
        g_free(quoted);
    }
    return command;
}
#endif

// The source of this kind, or null with why it cannot start.
std::unique_ptr<presto::KeySource> openSource(presto::SourceKind kind, presto::Agent& agent,
                                              [[maybe_unused]] const presto::Locations& locations,
                                              std::string& why) {
    using presto::SourceKind;
#if PRESTO_KEYS_WAYLAND
    if (kind == SourceKind::Portal)
        return std::make_unique<presto::GlobalShortcutsPortal>(agent.listener());
    if (kind == SourceKind::GnomeBindings) {
        if (!presto::GnomeKeybindings::available()) {
            why = "GNOME's keybinding schemas are not installed";
            return nullptr;
        }
        return std::make_unique<presto::GnomeKeybindings>(agent.listener(),
                                                          hotKeyCommand(locations));
    }
#endif
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

int main(int argc, char** argv) {
    if (auto line = presto::cli::parse(argc, argv, kProgram); line.exitStatus)
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
#if PRESTO_KEYS_WAYLAND
    // Still "PrestoKeys" to whoever looks for the agent by name.
    prctl(PR_SET_NAME, "PrestoKeys");
    presto::SourceKind kind =
        presto::chooseKeySource(facts, presto::GlobalShortcutsPortal::offered);
#else
    // Whatever is not plain X11 is for the Wayland build to decide.
    presto::SourceKind kind = presto::chooseKeySource(facts, [] { return true; });
    if (kind != presto::SourceKind::X11) {
        const std::string wayland = (selfDir() / "PrestoKeysWayland").string();
        argv[0] = const_cast<char*>(wayland.c_str());
        ::execv(wayland.c_str(), argv);
        std::printf("PrestoKeys: %s cannot be started; X11 through XWayland instead\n",
                    wayland.c_str());
        kind = presto::SourceKind::XWayland;
    }
#endif
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
