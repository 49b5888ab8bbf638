#pragma once

#include <functional>
#include <string>

namespace presto {

enum class SourceKind {
    X11,           // an X11 session: passive grabs
    Portal,        // the GlobalShortcuts portal
    GnomeBindings, // GNOME's own custom keybindings
    XWayland,      // another Wayland desktop: grabs that see only X11 windows
    None,          // nothing works: every hot key is told as not offered
};

struct SessionFacts {
    std::string sessionType;    // $XDG_SESSION_TYPE
    std::string waylandDisplay; // $WAYLAND_DISPLAY
    std::string currentDesktop; // $XDG_CURRENT_DESKTOP, e.g. "ubuntu:GNOME"
    std::string forced;         // $PRESTO_KEY_SOURCE: "x11", "portal", "gnome" or "xwayland"
};

// The source for this session. portalOffersShortcuts is asked only on Wayland and only when the
// answer matters: the portal comes first, then GNOME's keybindings on GNOME, then XWayland.
SourceKind chooseKeySource(const SessionFacts& facts,
                           const std::function<bool()>& portalOffersShortcuts);

// The source to try when this one fails at start: the portal, then GNOME's keybindings on GNOME,
// then XWayland, then none.
SourceKind nextKeySource(SourceKind failed, const SessionFacts& facts);

SessionFacts sessionFactsFromEnvironment();
// "x11", "portal", ... as PRESTO_KEY_SOURCE takes them.
const char* sourceKindName(SourceKind kind);
// How the agent's messages and status file name it, e.g. "GNOME custom keybindings".
const char* sourceTitle(SourceKind kind);

} // namespace presto
