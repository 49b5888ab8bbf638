// The file-manager extensions (Python) and the daemon (C++) must agree on where the state file
// lies and on what its lines mean: each side is run on the same environment and the same names.
#include "common/Locations.h"
#include "platform/linux/FinderStateFile.h"
#include "platform/linux/Subprocess.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempWorld.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace presto {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;

// Runs Python code with presto_state importable; its standard output, or a failure.
std::string python(const std::string& code, const std::vector<std::string>& args = {}) {
    std::vector<std::string> argv{PRESTO_SYSTEM_PYTHON, "-c",
                                  "import sys; sys.path.insert(0, '" PRESTO_FM_DIR "')\n" + code};
    argv.insert(argv.end(), args.begin(), args.end());
    int error = 0;
    auto outcome = subprocess::run(argv, error);
    if (!outcome || !outcome->exited || outcome->status != 0) {
        ADD_FAILURE() << "python failed: " << (outcome ? outcome->err : std::strerror(error));
        return {};
    }
    return outcome->out;
}

TEST(StateFileAgreement, BothSidesFindTheSameRuntimeFolderWhateverTmpdirNames) {
    test::TempWorld world;
    const std::string folder = world.path("tmp");
    fs::create_directories(folder);
    const std::string file = world.writeFile("a file", "");
    fs::create_symlink(folder, world.path("link to folder"));
    fs::create_symlink(file, world.path("link to file"));
    fs::create_symlink(world.path("nothing"), world.path("dangling link"));
    fs::create_directories(world.path("relative"));

    struct Case {
        const char* what;
        std::optional<std::string> tmpdir;
        std::optional<std::string> tmp; // other programs' variable, never ours
        std::string expected;           // the temporary folder
    };
    const Case cases[] = {
        {"unset", std::nullopt, std::nullopt, "/tmp"},
        {"a folder", folder, std::nullopt, folder},
        {"a folder with final slashes", folder + "//", std::nullopt, folder},
        {"a file", file, std::nullopt, "/tmp"},
        {"a file, TMP a folder", file, folder, "/tmp"},
        {"a missing path", world.path("nothing"), folder, "/tmp"},
        {"a link to a folder", world.path("link to folder"), std::nullopt,
         world.path("link to folder")},
        {"a link to a file", world.path("link to file"), std::nullopt, "/tmp"},
        {"a dangling link", world.path("dangling link"), std::nullopt, "/tmp"},
        {"a relative folder", "relative", std::nullopt, "/tmp"},
        {"empty", "", folder, "/tmp"},
        {"the root", "/", std::nullopt, "/"},
    };
    // Relative names are looked up from here, on both sides.
    const fs::path oldCwd = fs::current_path();
    fs::current_path(world.root());
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    for (const Case& c : cases) {
        ScopedEnv tmpdir("TMPDIR", c.tmpdir);
        ScopedEnv tmp("TMP", c.tmp);
        const std::string daemonSide = Locations::fromEnvironment().runtimeDir;
        const std::string extensionSide =
            python("import os, presto_state\n"
                   "sys.stdout.buffer.write(os.fsencode(presto_state.runtime_folder()))");
        EXPECT_EQ(extensionSide, daemonSide) << c.what;
        EXPECT_EQ(daemonSide,
                  (c.expected == "/" ? "" : c.expected) + "/Presto-" + std::to_string(::getuid()))
            << c.what;
    }
    fs::current_path(oldCwd);
}

// Names as Linux allows them, written by the extensions' writer and read by the daemon's reader.
TEST(StateFileAgreement, EverySelectedNameComesThroughAsItWasSelected) {
    test::TempWorld world;
    const std::string dir = world.path("w");
    const std::vector<std::string> names = {
        "a:b.txt",           "two\nlines",        "cr\rname",    "with space", "it's",
        "%41 not an escape", "\xc3\xa9t\xc3\xa9", "latin1-\xe9", "trailing\n", "file:///not a uri",
    };
    std::string list;
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(dir + "/" + name);
        list += paths.back() + '\0';
    }
    const std::string front = dir + "/front\nfolder";
    list = front + '\0' + list;
    std::ofstream(world.path("paths"), std::ios::binary) << list;
    const std::string state = world.path("state");
    python("import presto_state\n"
           "front, *paths = open(sys.argv[1], 'rb').read().split(b'\\0')[:-1]\n"
           "presto_state.StateFile(sys.argv[2]).write(front, paths)\n",
           {world.path("paths"), state});

    FinderStateFile reader(state + "/finder", world.root(), world.path("config"));
    EXPECT_EQ(reader.frontWindowFolder(), front);
    EXPECT_EQ(reader.selection(), paths);
}

} // namespace
} // namespace presto
