#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

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
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);
    return RUN_ALL_TESTS();
}
