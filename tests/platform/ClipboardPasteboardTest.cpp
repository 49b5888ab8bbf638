#include "platform/linux/ClipboardPasteboard.h"

#include "tests/platform/TestProcesses.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempWorld.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace presto {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

using test::ScopedEnv;

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Fake xclip, wl-copy and wl-paste in a folder put first on PATH. Each records its arguments;
// a writer stores its stdin; a reader prints what the test offered for the type named last and
// fails when nothing was offered, as the real ones do.
class ClipboardTest : public ::testing::Test {
protected:
    ClipboardTest() {
        const std::string store = "exec cat > '" + world_.path("stored") + "'\n";
        const std::string serve = "f='" + offers_ +
                                  "'/$(printf '%s' \"$last\" | tr '/;=' '___')\n"
                                  "[ -f \"$f\" ] || exit 1\n"
                                  "exec cat \"$f\"\n";
        const std::string scan = "for arg; do last=$arg; [ \"$arg\" = -o ] && reading=1; done\n";
        installTool("xclip", scan + "[ -n \"$reading\" ] || " + store + serve);
        installTool("wl-copy", store);
        installTool("wl-paste", scan + serve);
    }

    void installTool(const std::string& name, const std::string& body) {
        std::string path =
            world_.writeFile("bin/" + name, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" +
                                                world_.path(name + ".args") + "\"\n" + body);
        test::makeExecutable(path);
    }

    void offer(const std::string& mime, const std::string& data) {
        std::string file = mime;
        for (char& c : file)
            if (c == '/' || c == ';' || c == '=')
                c = '_';
        world_.writeFile("offers/" + file, data);
    }

    Lines argsOf(const std::string& tool) { return test::readLines(world_.path(tool + ".args")); }
    bool ran(const std::string& tool) {
        return std::filesystem::exists(world_.path(tool + ".args"));
    }
    Bytes stored() { return bytes(test::readText(world_.path("stored"))); }

    test::TempWorld world_;
    std::string offers_ = world_.path("offers");
    ScopedEnv path_{"PATH", world_.path("bin") + ":" + std::getenv("PATH")};
    ScopedEnv display_{"DISPLAY", ":42"};
    ScopedEnv wayland_{"WAYLAND_DISPLAY", std::nullopt};
    ClipboardPasteboard pasteboard_{std::chrono::milliseconds(2000)};
};

TEST_F(ClipboardTest, X11WriterGetsTheMimeTypeAndEveryByte) {
    // Larger than a pipe's buffer, with every byte value.
    Bytes data;
    for (int i = 0; i < 300'000; ++i)
        data.push_back(static_cast<std::uint8_t>(i * 7));

    ASSERT_TRUE(pasteboard_.replaceContents("public.tiff", data));
    EXPECT_EQ(argsOf("xclip"), (Lines{"-selection", "clipboard", "-t", "image/tiff", "-i"}));
    EXPECT_EQ(stored(), data);
}

TEST_F(ClipboardTest, TypeIdentifiersMapToMimeTypes) {
    ASSERT_TRUE(pasteboard_.replaceContents("public.utf8-plain-text", bytes("héllo")));
    EXPECT_EQ(argsOf("xclip")[3], "text/plain;charset=utf-8");
    EXPECT_EQ(stored(), bytes("héllo"));
    ASSERT_TRUE(pasteboard_.replaceContents("public.file-url", bytes("file:///tmp/x")));
    EXPECT_EQ(argsOf("xclip")[3], "text/uri-list");

    std::filesystem::remove(world_.path("xclip.args"));
    EXPECT_FALSE(pasteboard_.replaceContents("com.example.unknown", bytes("x")));
    EXPECT_FALSE(ran("xclip"));
}

TEST_F(ClipboardTest, WaylandIsPreferredAndXclipServesWhenWlCopyIsMissing) {
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-7");
    ASSERT_TRUE(pasteboard_.replaceContents("public.utf8-plain-text", bytes("way")));
    EXPECT_EQ(argsOf("wl-copy"), (Lines{"--type", "text/plain;charset=utf-8"}));
    EXPECT_FALSE(ran("xclip"));

    std::filesystem::remove(world_.path("bin/wl-copy"));
    ASSERT_TRUE(pasteboard_.replaceContents("public.utf8-plain-text", bytes("x11")));
    EXPECT_EQ(stored(), bytes("x11"));
    EXPECT_TRUE(ran("xclip"));
}

TEST_F(ClipboardTest, WithoutADisplayNothingIsWritten) {
    ScopedEnv noDisplay("DISPLAY", "");
    EXPECT_FALSE(pasteboard_.replaceContents("public.utf8-plain-text", bytes("lost")));
    EXPECT_EQ(pasteboard_.contents("public.utf8-plain-text"), std::nullopt);
    EXPECT_FALSE(ran("xclip"));
}

TEST_F(ClipboardTest, HelperFailuresReportFalse) {
    installTool("xclip", "exit 1\n");
    EXPECT_FALSE(pasteboard_.replaceContents("public.utf8-plain-text", bytes("refused")));

    // Quits before reading: must not kill us with SIGPIPE.
    installTool("xclip", "exec 0<&-\nexit 0\n");
    Bytes big(1 << 20, 'x');
    EXPECT_FALSE(pasteboard_.replaceContents("public.tiff", big));

    std::filesystem::remove(world_.path("bin/xclip"));
    EXPECT_FALSE(pasteboard_.replaceContents("public.utf8-plain-text", bytes("no helper")));
}

TEST_F(ClipboardTest, HelperThatHangsIsGivenUpOnInTime) {
    ClipboardPasteboard impatient(std::chrono::milliseconds(300));
    installTool("xclip", "exec sleep 20\n");
    // The helper would take 20 s; giving up well before shows the time-out at work.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(impatient.replaceContents("public.utf8-plain-text", bytes("stuck")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST_F(ClipboardTest, WriterReturnsOnceTheHelperHasTheDataThoughItsServerStaysBehind) {
    // As xclip does: read everything, leave a background server with our stdout and stderr.
    const std::string serverPid = world_.path("server.pid");
    installTool("xclip", "cat > \"" + world_.path("stored") + "\"\nsleep 30 &\necho $! > \"" +
                             serverPid + "\"\nexit 0\n");
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(pasteboard_.replaceContents("public.utf8-plain-text", bytes("served")));
    // Waiting for the server to go would take 30 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(stored(), bytes("served"));
    // The server is ours to end, not the next test's.
    std::ifstream pidFile(serverPid);
    pid_t server = 0;
    if (pidFile >> server && server > 0)
        kill(server, SIGKILL);
}

TEST_F(ClipboardTest, ReadsTheMappedTypeThroughTheHelper) {
    offer("image/tiff", std::string("II*\0tiff", 8));
    EXPECT_EQ(pasteboard_.contents("public.tiff"), bytes(std::string("II*\0tiff", 8)));
    EXPECT_EQ(argsOf("xclip"), (Lines{"-selection", "clipboard", "-o", "-t", "image/tiff"}));

    EXPECT_EQ(pasteboard_.contents("public.utf8-plain-text"), std::nullopt);
    offer("text/plain", "plain");
    EXPECT_EQ(pasteboard_.contents("public.utf8-plain-text"), bytes("plain"));
    offer("text/plain;charset=utf-8", "utf8");
    EXPECT_EQ(pasteboard_.contents("public.utf8-plain-text"), bytes("utf8"));

    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-7");
    EXPECT_EQ(pasteboard_.contents("public.utf8-plain-text"), bytes("utf8"));
    EXPECT_EQ(argsOf("wl-paste"), (Lines{"--no-newline", "--type", "text/plain;charset=utf-8"}));
}

TEST_F(ClipboardTest, FileUrlsAreReadFromGnomeCopiedFilesToo) {
    offer("x-special/gnome-copied-files", "copy\nfile:///tmp/a\nfile:///tmp/b%20c");
    EXPECT_EQ(pasteboard_.contents("public.file-url"),
              bytes("file:///tmp/a\r\nfile:///tmp/b%20c\r\n"));

    offer("text/uri-list", "file:///tmp/listed\r\n");
    EXPECT_EQ(pasteboard_.contents("public.file-url"), bytes("file:///tmp/listed\r\n"));
}

TEST_F(ClipboardTest, DataBeyondTheReadLimitIsNotTakenAndTheLogSaysSo) {
    std::vector<std::string> said;
    ClipboardPasteboard capped(std::chrono::seconds(20), {},
                               [&](const std::string& line) { said.push_back(line); });
    const std::string list(ClipboardPasteboard::kMaxReadBytes, 'x');
    offer("text/uri-list", list);
    auto got = capped.contents("public.file-url");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->size(), list.size());
    EXPECT_TRUE(said.empty());

    offer("text/uri-list", list + "y");
    EXPECT_FALSE(capped.contents("public.file-url").has_value());
    EXPECT_EQ(said, (Lines{"the clipboard's text/uri-list is larger than 16777216 bytes: not "
                           "taken"}));
}

} // namespace
} // namespace presto
