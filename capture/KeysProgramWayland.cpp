// PrestoKeysWayland: the desktops' shortcuts portal and GNOME's keybindings, else X11 through
// XWayland.
#include "capture/Agent.h"
#include "capture/GlobalShortcutsPortal.h"
#include "capture/GnomeKeybindings.h"
#include "capture/KeysProgram.h"
#include "common/Locations.h"
#include "common/ProgramVersion.h"
#include "common/Version.h"

#include <glib.h>
#include <sys/prctl.h>

// The installer reads the installed agent's version from this mark without running it.
PRESTO_VERSION_MARK("PrestoKeysWayland", PRESTO_BUNDLE_VERSION);

namespace presto::keys {

const char kProgramName[] = "PrestoKeysWayland";
const char kDescription[] =
    "The Wayland half of Presto's key-capture agent, started by PrestoKeys in its place: hands "
    "the hot keys to the desktop's global shortcuts portal or to GNOME's custom keybindings, or "
    "else to X11 through XWayland, and tells Presto.daemon when one is pressed.";

namespace {

// PrestoHotKey beside this program, with the socket named when it is not the default one: the
// desktop runs the command in its own environment, which lacks PRESTO_SOCKET_PATH.
std::string hotKeyCommand(const Locations& locations) {
    const std::string client = (selfDir() / "PrestoHotKey").string();
    gchar* quoted = g_shell_quote(client.c_str());
    std::string command = quoted;
    g_free(quoted);
    if (locations.socketIsOverride) {
        quoted = g_shell_quote(locations.socketPath.c_str());
        command += std::string(" --socket ") + quoted;
        g_free(quoted);
    }
    return command;
}

} // namespace

SourceKind firstSource(const SessionFacts& facts, char**) {
    // Still "PrestoKeys" to whoever looks for the agent by name.
    prctl(PR_SET_NAME, "PrestoKeys");
    return chooseKeySource(facts, GlobalShortcutsPortal::offered);
}

std::unique_ptr<KeySource> openDesktopSource(SourceKind kind, Agent& agent,
                                             const Locations& locations, std::string& why) {
    if (kind == SourceKind::Portal)
        return std::make_unique<GlobalShortcutsPortal>(agent.listener());
    if (kind == SourceKind::GnomeBindings) {
        if (!GnomeKeybindings::available()) {
            why = "GNOME's keybinding schemas are not installed";
            return nullptr;
        }
        return std::make_unique<GnomeKeybindings>(agent.listener(), hotKeyCommand(locations));
    }
    return nullptr;
}

} // namespace presto::keys
