#include "tests/support/Leftovers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The first `name` on PATH, or an empty string.
std::string findInPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = folder + "/" + name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// A systemctl first on PATH that refuses every verb that would suspend, reboot or power off the
// machine and hands everything else to the real one: whatever a test starts (the built daemon
// pressing a Sleep key, say) can never end the session. Tests with a fake of their own put it
// before this one.
void guardSessionPower(const std::string& root) {
    const std::string guard = root + "/session-guard";
    std::filesystem::create_directories(guard);
    const std::string real = findInPath("systemctl");
    const std::string script = guard + "/systemctl";
    std::ofstream(script) << "#!/bin/sh\n"
                             "for arg; do\n"
                             "  case \"$arg\" in\n"
                             "    suspend|hibernate|hybrid-sleep|suspend-then-hibernate|reboot|\\\n"
                             "    soft-reboot|poweroff|halt|kexec|emergency|rescue|isolate)\n"
                             "      echo \"systemctl $arg: refused while testing\" >&2; exit 1 ;;\n"
                             "  esac\n"
                             "done\n"
                          << (real.empty() ? std::string("exit 1\n")
                                           : "exec '" + real + "' \"$@\"\n");
    ::chmod(script.c_str(), 0755);
    const char* path = std::getenv("PATH");
    setenv("PATH", (guard + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
}

// Before any test runs, the process's home and XDG folders move to a throw-away folder, so a test
// that forgets its own TempWorld still never reads or writes the user's real files or socket.
class SandboxEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "presto-sandbox-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        root_ = pattern;
        setenv("HOME", root_.c_str(), 1);
        for (const char* var : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR",
                                "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            unsetenv(var);
        setenv("PRESTO_SOCKET_PATH", (root_ + "/socket").c_str(), 1);
        guardSessionPower(root_);
        // Nobody listens there: what a test starts reaches no real session or system service
        // over D-Bus unless the test gives it a private bus of its own.
        for (const char* bus : {"DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"})
            setenv(bus, ("unix:path=" + root_ + "/no-bus").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

private:
    std::string root_;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    presto::test::endLeftoversWhenGone(std::filesystem::path(argv[0]).filename().string() + " " +
                                       GTEST_FLAG_GET(filter));
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);
    return RUN_ALL_TESTS();
}
