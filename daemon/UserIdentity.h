#pragma once

#include <string>

namespace presto {

// Who the daemon runs as and what a file allows, as the permission texts show them.
namespace identity {

// The login name; for a process without a terminal (getlogin fails) the name of the real user
// ID, and its number when even that has no name.
std::string loginName();

// "User=<name>\nuid=<uid>\ngid=<gid>\ngroups=[g1][g2]..." (at most 100 groups).
std::string userText();

// "Path=<path>\nuid=<owner>\ngid=<group>\npermission=rwxr-xr-x"; "?" for what stat cannot tell.
std::string pathText(const std::string& path);

// "<name>'s uid=<uid>,gid=<gid>,groups=[g1]...\nAnd \"<path>\" 's uid=<owner>,gid=<group>,mod is
// rwxr-xr-x\n".
std::string permissionText(const std::string& path);

// The nine permission bits as r, w, x or -.
std::string modeText(unsigned mode);

} // namespace identity
} // namespace presto
