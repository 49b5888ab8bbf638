#pragma once

#include "capture/KeySource.h"
#include "capture/SourceChoice.h"

#include <map>
#include <string>
#include <vector>

typedef struct _GSettings GSettings;
typedef struct _GSettingsBackend GSettingsBackend;

namespace presto {

// GNOME's own custom keybindings as the key source (GNOME on Wayland without the shortcuts
// portal). The agent keeps one entry per hot key in the list "custom-keybindings" of
// org.gnome.settings-daemon.plugins.media-keys; GNOME runs its command, PrestoHotKey, which sends
// the press to the daemon itself, so no press ever passes through the agent. Entries of its own
// live under paths ".../custom-keybindings/presto-<id>/"; the user's entries are never touched
// and their paths never reused.
class GnomeKeybindings : public KeySource {
public:
    // Whether the desktop's schemas are installed; without them GSettings would abort.
    static bool available();

    // command: the start of each entry's command, already quoted for the shell (PrestoHotKey and
    // its --socket), to which the key code and modifiers are added. A null backend is the
    // default one. Entries of its own left by an agent that was killed go at once.
    GnomeKeybindings(Listener listener, std::string command, GSettingsBackend* backend = nullptr);
    // Removes every entry of its own.
    ~GnomeKeybindings() override;
    GnomeKeybindings(const GnomeKeybindings&) = delete;
    GnomeKeybindings& operator=(const GnomeKeybindings&) = delete;

    std::string name() const override { return sourceTitle(SourceKind::GnomeBindings); }
    bool connected() const override { return true; }
    int fd() const override { return -1; }
    void setHotKeys(std::vector<HotKeyRec> hotKeys) override;
    // Nothing is pressed here; GSettings' own notices of the writes are let go.
    void dispatchEvents(const PressHandler&) override;

    // The command GNOME runs for a hot key.
    std::string commandFor(const HotKeyRec& rec) const;

private:
    struct Entry {
        std::string name;
        std::string command;
        std::string binding;
    };
    GSettings* entrySettings(const std::string& path) const;
    void writeEntries(const std::map<std::string, Entry>& wanted,
                      const std::vector<std::string>& order);

    Listener listener_;
    std::string command_;
    GSettingsBackend* backend_;
    GSettings* list_ = nullptr;
};

} // namespace presto
