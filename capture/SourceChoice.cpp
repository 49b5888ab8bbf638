#include "capture/SourceChoice.h"

#include <cstdlib>
#include <sstream>

namespace presto {
namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool desktopIncludes(const std::string& desktops, const std::string& wanted) {
    std::istringstream list(desktops);
    for (std::string name; std::getline(list, name, ':');)
        if (name == wanted)
            return true;
    return false;
}

} // namespace

SourceKind chooseKeySource(const SessionFacts& facts,
                           const std::function<bool()>& portalOffersShortcuts) {
    for (SourceKind kind :
         {SourceKind::X11, SourceKind::Portal, SourceKind::GnomeBindings, SourceKind::XWayland})
        if (facts.forced == sourceKindName(kind))
            return kind;
    const bool wayland = facts.sessionType == "wayland" ||
                         (facts.sessionType != "x11" && !facts.waylandDisplay.empty());
    if (!wayland)
        return SourceKind::X11;
    if (portalOffersShortcuts && portalOffersShortcuts())
        return SourceKind::Portal;
    if (desktopIncludes(facts.currentDesktop, "GNOME"))
        return SourceKind::GnomeBindings;
    return SourceKind::XWayland;
}

SourceKind nextKeySource(SourceKind failed, const SessionFacts& facts) {
    switch (failed) {
    case SourceKind::Portal:
        return desktopIncludes(facts.currentDesktop, "GNOME") ? SourceKind::GnomeBindings
                                                              : SourceKind::XWayland;
    case SourceKind::GnomeBindings:
        return SourceKind::XWayland;
    case SourceKind::X11:
    case SourceKind::XWayland:
    case SourceKind::None:
        break;
    }
    return SourceKind::None;
}

SessionFacts sessionFactsFromEnvironment() {
    return {env("XDG_SESSION_TYPE"), env("WAYLAND_DISPLAY"), env("XDG_CURRENT_DESKTOP"),
            env("PRESTO_KEY_SOURCE")};
}

const char* sourceKindName(SourceKind kind) {
    switch (kind) {
    case SourceKind::X11:
        return "x11";
    case SourceKind::Portal:
        return "portal";
    case SourceKind::GnomeBindings:
        return "gnome";
    case SourceKind::XWayland:
        return "xwayland";
    case SourceKind::None:
        return "none";
    }
    return "x11";
}

const char* sourceTitle(SourceKind kind) {
    switch (kind) {
    case SourceKind::X11:
        return "X11";
    case SourceKind::Portal:
        return "GlobalShortcuts portal";
    case SourceKind::GnomeBindings:
        return "GNOME custom keybindings";
    case SourceKind::XWayland:
        return "X11 through XWayland";
    case SourceKind::None:
        return "no key source";
    }
    return "X11";
}

} // namespace presto
