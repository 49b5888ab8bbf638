// From a selection in a real Nautilus to the clipboard: the built daemon carries out a Get Path
// key on what the Nautilus extension recorded, and hands the text to a fake clipboard helper.
#include "tests/daemon/DaemonProcess.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempWorld.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace presto {
namespace {

constexpr std::uint8_t kGetPath = 23;

// nautilus_selection.py: a Nautilus on its own display and bus holding the given selection,
// until its standard input closes.
class NautilusWithSelection {
public:
    explicit NautilusWithSelection(const std::vector<std::string>& files) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<std::string> args = {PRESTO_SYSTEM_PYTHON,
                                             PRESTO_FM_TESTS_DIR "/nautilus_selection.py"};
            args.insert(args.end(), files.begin(), files.end());
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = ::fdopen(out[0], "r");
    }
    ~NautilusWithSelection() {
        if (input_ >= 0)
            ::close(input_); // the helper ends its session and exits
        if (output_)
            std::fclose(output_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    NautilusWithSelection(const NautilusWithSelection&) = delete;
    NautilusWithSelection& operator=(const NautilusWithSelection&) = delete;

    // Reads the helper's lines up to "READY"; the DISPLAY it reported, or a "SKIP ..." line, or
    // empty when it failed.
    std::string waitUntilReady() {
        std::string display;
        char line[4096];
        while (output_ && std::fgets(line, sizeof line, output_)) {
            std::string text(line);
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
            if (text.starts_with("SKIP"))
                return text;
            if (text.starts_with("DISPLAY="))
                display = text.substr(8);
            if (text == "READY")
                return display;
        }
        return {};
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    FILE* output_ = nullptr;
};

std::string shellQuoted(const std::string& path) {
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

TEST(NautilusGetPathTest, GetPathKeyPutsTheSelectedQuotedPathsOnAFakeClipboardHelper) {
    test::TempWorld world;
    const Locations& loc = world.locations();
    std::vector<std::string> files;
    for (const char* name : {"with space", "it's", "a:b", "two\nlines"})
        files.push_back(world.writeFile(std::string("work/picked files/") + name, "x"));

    // xclip as the daemon starts it for the X11 clipboard: record what it was given.
    const std::string clip = world.path("clip");
    test::writeExecutable(world.path("fakebin/xclip"),
                          "#!/bin/sh\n"
                          "for a in \"$@\"; do [ \"$a\" = -i ] || continue; "
                          "cat > '" +
                              clip + ".tmp' && mv '" + clip + ".tmp' '" + clip +
                              "'; exit 0; done\n");

    NautilusWithSelection nautilus(files);
    const std::string display = nautilus.waitUntilReady();
    if (display.starts_with("SKIP"))
        GTEST_SKIP() << display.substr(5);
    ASSERT_FALSE(display.empty()) << "Nautilus did not come up with the selection";

    test::editPreferences(loc, kPrestoDomain, [](PreferenceDomain& d) {
        d.setBool(kFlagShowIcon, false);
        d.setInteger(kKindIntervalHotKey, 0);
    });
    const HotKeyRec getPath = test::hotKey(5, kCommandBit, kKindFinder, 0, kGetPath);
    test::writeDataFile(loc, {{getPath, {}}});

    test::ScopedEnv displayEnv("DISPLAY", display);
    test::ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    test::ScopedEnv path("PATH", world.path("fakebin") + ":" + std::getenv("PATH"));
    test::DaemonProcess daemon;
    ASSERT_TRUE(test::eventually(
        [&] {
            int fd = test::connectTo(loc.socketPath);
            if (fd >= 0)
                ::close(fd);
            return fd >= 0;
        },
        std::chrono::seconds(60)))
        << "the daemon did not come up";

    ASSERT_TRUE(test::request(loc.socketPath, test::pressOf(getPath)).has_value());
    ASSERT_TRUE(
        test::eventually([&] { return std::filesystem::exists(clip); }, std::chrono::seconds(60)))
        << "nothing reached the clipboard helper; daemon said:\n"
        << daemon.output();

    // One quoted path and a return per selected item, in the file manager's order.
    std::string text = test::readText(clip);
    ASSERT_TRUE(text.ends_with('\r')) << text;
    std::vector<std::string> got;
    for (std::size_t start = 0, end; (end = text.find('\r', start)) != std::string::npos;
         start = end + 1)
        got.push_back(text.substr(start, end - start));
    std::vector<std::string> wanted;
    for (const auto& f : files)
        wanted.push_back(shellQuoted(f));
    std::sort(got.begin(), got.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(got, wanted) << text;
}

} // namespace
} // namespace presto
