#pragma once

namespace presto {

// Where the installer puts the programs, their names, and the names of their systemd user units:
// the installer writes them, the configuration application and the tray look for an installed copy,
// and the daemon places its launches beside its own unit.
inline constexpr char kInstallFolder[] = "/opt/Presto/";
inline constexpr char kKeysProgram[] = "PrestoKeys";
inline constexpr char kDaemonProgram[] = "Presto.daemon";
inline constexpr char kAssistProgram[] = "PrestoAssist";
inline constexpr char kConfigProgram[] = "Presto";
inline constexpr char kUnitFolder[] = "/etc/systemd/user/";
inline constexpr char kDaemonUnit[] = "com.nimbo.Presto.daemon.service";
inline constexpr char kKeysUnit[] = "com.nimbo.Presto.keys.service";

} // namespace presto
