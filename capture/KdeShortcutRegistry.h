#pragma once

#include <map>
#include <optional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace presto {

// KDE Plasma's registry of global shortcuts (kglobalaccel), where the shortcuts of each portal
// session token end up as one component. Its answer is the truth about a key: the portal of
// Plasma 5.27 describes every shortcut with the combination it was asked for, bound or not.
// Never started by asking: on another desktop there is nothing to ask.
namespace kde {

enum class KeyState {
    Active,
    HeldElsewhere, // another component holds the combination
    Inactive,      // nobody holds it, and the shortcut has no key: the user removed it
};

// The state of each shortcut of the component by its id; nothing when no registry runs or it
// has no such component.
std::optional<std::map<std::string, KeyState>> shortcutStates(GDBusConnection* bus,
                                                              const std::string& component);

// Drops the component's shortcuts once no session holds them any more, which frees their keys.
// The portal lets go of a closed session's shortcuts a moment after Close has returned, so this
// waits for that, a few seconds at most.
void dropClosedSessionsShortcuts(GDBusConnection* bus, const std::string& component);

} // namespace kde
} // namespace presto
