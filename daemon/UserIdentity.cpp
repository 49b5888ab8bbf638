#include "daemon/UserIdentity.h"

#include <algorithm>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace presto::identity {
namespace {

constexpr int kMaxGroups = 100;

std::string groupsText() {
    gid_t groups[kMaxGroups];
    int count = getgroups(kMaxGroups, groups);
    if (count < 0) {
        // More than 100: the first 100 are shown.
        std::vector<gid_t> all(static_cast<std::size_t>(getgroups(0, nullptr)) + 1);
        count = getgroups(static_cast<int>(all.size()), all.data());
        count = count < 0 ? 0 : std::min(count, kMaxGroups);
        std::copy_n(all.begin(), count, groups);
    }
    std::string text;
    for (int i = 0; i < count; ++i)
        text.append("[").append(std::to_string(groups[i])).append("]");
    return text;
}

} // namespace

std::string loginName() {
    char name[256];
    if (getlogin_r(name, sizeof name) == 0 && name[0])
        return name;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    return std::to_string(getuid());
}

std::string modeText(unsigned mode) {
    std::string text;
    const char letters[] = "rwx";
    for (int bit = 8; bit >= 0; --bit)
        text += (mode & (1u << bit)) ? letters[(8 - bit) % 3] : '-';
    return text;
}

// Built by appending: GCC 12 warns wrongly about chains of + that start with a literal.
std::string userText() {
    std::string text = "User=";
    text += loginName();
    text += "\nuid=";
    text += std::to_string(getuid());
    text += "\ngid=";
    text += std::to_string(getgid());
    text += "\ngroups=";
    text += groupsText();
    return text;
}

std::string pathText(const std::string& path) {
    struct stat st {};
    std::string text = "Path=";
    text += path;
    if (stat(path.c_str(), &st) != 0)
        return text += "\nuid=?\ngid=?\npermission=?";
    text += "\nuid=";
    text += std::to_string(st.st_uid);
    text += "\ngid=";
    text += std::to_string(st.st_gid);
    text += "\npermission=";
    text += modeText(st.st_mode);
    return text;
}

std::string permissionText(const std::string& path) {
    struct stat st {};
    std::string owner = "?", group = "?", mode = "?";
    if (stat(path.c_str(), &st) == 0) {
        owner = std::to_string(st.st_uid);
        group = std::to_string(st.st_gid);
        mode = modeText(st.st_mode);
    }
    std::string text = loginName();
    text += "'s uid=";
    text += std::to_string(getuid());
    text += ",gid=";
    text += std::to_string(getgid());
    text += ",groups=";
    text += groupsText();
    text += "\nAnd \"";
    text += path;
    text += "\" 's uid=";
    text += owner;
    text += ",gid=";
    text += group;
    text += ",mod is ";
    text += mode;
    text += "\n";
    return text;
}

} // namespace presto::identity
