#include "tests/support/TempWorld.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace presto::test {

TempWorld::TempWorld() {
    std::string pattern = (fs::temp_directory_path() / "presto-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    root_ = pattern;
    for (const char* dir : {"home", "data", "config", "runtime"})
        fs::create_directories(fs::path(root_) / dir);
    fs::permissions(fs::path(root_) / "runtime", fs::perms::owner_all);
    setenv("HOME", (root_ + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root_ + "/runtime").c_str(), 1);
    setenv("PRESTO_SOCKET_PATH", (root_ + "/runtime/socket").c_str(), 1);
    locations_ = Locations::fromEnvironment();
}

TempWorld::~TempWorld() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string TempWorld::path(const std::string& relative) const {
    fs::path p = fs::path(root_) / relative;
    fs::create_directories(p.parent_path());
    return p.string();
}

std::string TempWorld::writeFile(const std::string& relative, const std::string& content) const {
    std::string p = path(relative);
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace presto::test
