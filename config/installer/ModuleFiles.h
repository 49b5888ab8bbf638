#pragma once

#include "common/Installation.h"
#include "config/installer/ExtensionFiles.h"

#include <string>

// The rest of the installed layout (the programs and units are in common/Installation.h) and the
// fixed text of the files the installer writes. The Debian package ships the very same files, made
// from these texts by presto_module_files at build time. No Qt: that program needs none.
namespace presto::modules {

// Helpers the modules run from their own folder: the agent's Wayland half, the client GNOME's
// keybindings run, and the daemon's clipboard picture helper; then the installer's own helper,
// which later removes the modules with the dialog of Presto's own polkit actions.
inline constexpr char kInstallHelper[] = "PrestoInstallHelper";
inline constexpr const char* kHelperPrograms[] = {"PrestoKeysWayland", "PrestoHotKey", "PrestoClip",
                                                  kInstallHelper};

inline constexpr char kAutostartFolder[] = "/etc/xdg/autostart/";
inline constexpr char kAutostartEntry[] = "com.nimbo.Presto.desktop";

// So that the configuration application appears in the desktop's menus.
inline constexpr char kApplicationsFolder[] = "/usr/share/applications/";
inline constexpr char kApplicationEntry[] = "com.nimbo.Presto.config.desktop";
inline constexpr char kIconFolder[] = "/usr/share/icons/hicolor/scalable/apps/";
inline constexpr char kIconFile[] = "com.nimbo.Presto.svg";

// The programs' manual pages and the software centres' description of Presto, in standard places.
// The bundle carries the pages in kManualSource and the description beside the programs.
inline constexpr char kManualSource[] = "man/";
inline constexpr char kManualFolder[] = "/usr/share/man/man1/";
inline constexpr const char* kManualPages[] = {
    "Presto.1.gz",     "Presto.daemon.1.gz",      "PrestoAssist.1.gz",
    "PrestoKeys.1.gz", "PrestoKeysWayland.1.gz",  "PrestoHotKey.1.gz",
    "PrestoClip.1.gz", "PrestoInstallHelper.1.gz"};
inline constexpr char kMetainfoFolder[] = "/usr/share/metainfo/";
inline constexpr char kMetainfoFile[] = "com.nimbo.Presto.metainfo.xml";

// Presto's polkit actions: the password dialog names Presto and what the helper will do.
inline constexpr char kPolicyFolder[] = "/usr/share/polkit-1/actions/";
inline constexpr char kPolicyFile[] = "com.nimbo.Presto.policy";

// The file managers' Python extensions (kExtensionFiles), laid out system-wide as the Debian
// package lays them out: each binding loads them from its own folder. The bundle carries them in
// kExtensionSource.
inline constexpr char kExtensionSource[] = "filemanager/";

// The daemon's unit: started with the graphical session, restarted when it fails.
std::string daemonUnitText();
// The key-capture agent's unit, after the daemon's.
std::string keysUnitText();
// Starts both units on desktops whose session does not reach graphical-session.target.
std::string autostartEntryText();
// The configuration application in the desktop's menus.
std::string applicationEntryText();
// The polkit actions of the installed helper, one for each operation.
std::string policyText();

// Writes `text` to a new file at `path` with `mode`; an existing name, link or not, is never
// opened. False when the file could not be made or written whole.
bool writeNewFile(const std::string& path, const std::string& text, unsigned mode);

} // namespace presto::modules
