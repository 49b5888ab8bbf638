#pragma once

#include "common/HotKeyRec.h"

#include <functional>
#include <string>
#include <vector>

namespace presto {

// Why a hot key does not reach the agent.
enum class GrabProblem {
    HeldElsewhere,  // another X client grabbed the key combination first
    NoSuchKey,      // no physical key stands for its Mac key code on this server
    NoSuchModifier, // the keymap has no modifier bit for Alt or Super, or the record has others
    Unexpressible,  // the desktop's shortcuts have no way to say it (Caps Lock, unnamed keys)
    Refused,        // the desktop did not bind it
    Unconfirmed,    // the desktop waits for the user to confirm it
    Unoffered,      // the source binds no shortcuts at all
};

// Where pressed hot keys come from: the X server's grabs, the desktop's global-shortcut portal, or
// the desktop's own keybindings. The agent's loop waits on fd(), hands over each new table and
// lets the source turn what arrived into presses.
class KeySource {
public:
    using PressHandler = std::function<void(const HotKeyRec&)>;

    // What the source made of a table; called from setHotKeys() or dispatchEvents(), on the
    // agent's thread.
    struct Listener {
        // A hot key that does not work; a refusal is told once, not again at each retry.
        std::function<void(const HotKeyRec&, GrabProblem)> problem;
        // After the keys were taken for a new table, or a retry took more of them.
        std::function<void(int grabbed, int total)> renewed;
        // The desktop bound a hot key to another combination than the one asked for.
        std::function<void(const HotKeyRec&, const std::string& boundTo)> changed;
        // A hot key told as not working works now.
        std::function<void(const HotKeyRec&)> working;
        // The source cannot work on this session at all: the agent turns to the next one.
        std::function<void(const std::string& why)> failed;
    };

    virtual ~KeySource() = default;

    // Said in the agent's messages and status file.
    virtual std::string name() const = 0;
    // False once the source cannot work any more (the X server or the bus has gone).
    virtual bool connected() const = 0;
    // Readable when dispatchEvents() has something to do; -1 when never.
    virtual int fd() const = 0;
    // Takes exactly these hot keys, letting go of those no longer among them.
    virtual void setHotKeys(std::vector<HotKeyRec> hotKeys) = 0;
    // Tries again the keys that another program held; they may have been let go since.
    virtual void retryRefusedGrabs() {}
    // Handles everything that arrived so far; presses go to onPress.
    virtual void dispatchEvents(const PressHandler& onPress) = 0;
    // Sends what is queued.
    virtual void flush() {}
};

} // namespace presto
