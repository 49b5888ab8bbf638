#include "daemon/FileTransfer.h"
#include "daemon/PasteboardData.h"
#include "daemon/UserIdentity.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/MemoryPasteboard.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stop_token>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace presto {
namespace {

namespace fs = std::filesystem;
using Response = DaemonDialogs::Response;
using Request = test::ScriptedDialogs::Request;

using test::readText;

std::string fileUrl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
            url += static_cast<char>(c);
        else
            url += std::string("%") + hex[c >> 4] + hex[c & 15];
    }
    return url;
}

// Names in a folder, sorted; shows leftovers such as temporary copies.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder on a second file system (/dev/shm), removed with everything in it; empty when
// there is none writable.
class OtherFileSystem {
public:
    explicit OtherFileSystem(const test::TempWorld& world) {
        static int count = 0;
        struct stat shm {
        }, here{};
        if (stat("/dev/shm", &shm) == 0 && stat(world.root().c_str(), &here) == 0 &&
            shm.st_dev != here.st_dev && access("/dev/shm", W_OK) == 0)
            root_ = "/dev/shm/presto-transfer-test-" + std::to_string(getpid()) + "-" +
                    std::to_string(++count);
        if (!root_.empty())
            fs::create_directories(root_);
    }
    ~OtherFileSystem() {
        std::error_code ignored;
        if (!root_.empty())
            fs::remove_all(root_, ignored);
    }
    explicit operator bool() const { return !root_.empty(); }
    std::string writeFile(const std::string& relative, const std::string& content) const {
        std::string path = root_ + "/" + relative;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << content;
        return path;
    }
    const std::string& root() const { return root_; }

private:
    std::string root_;
};

constexpr char kNoSecondFileSystem[] = "no second writable file system (/dev/shm) here";

class TransferTest : public ::testing::Test {
protected:
    TransferTest() {
        fs::create_directories(desktop);
        finder.setDesktopFolder(desktop);
    }

    std::string folder(const std::string& relative) {
        std::string path = world.path(relative);
        fs::create_directories(path);
        return path;
    }

    void copyToClipboard(const std::vector<std::string>& urls) {
        std::string list;
        for (const std::string& url : urls)
            list += url + "\r\n";
        pasteboard.replaceContents("public.file-url", {list.begin(), list.end()});
    }
    void copyFiles(const std::vector<std::string>& paths) {
        std::vector<std::string> urls;
        for (const std::string& path : paths)
            urls.push_back(fileUrl(path));
        copyToClipboard(urls);
    }

    void copyTo(int mode = 0) {
        if (mode == 0)
            PasteboardData(finder, pasteboard, dialogs).copyPathsAll();
        else
            PasteboardData(finder, pasteboard, dialogs, mode).copyPathsAll();
    }
    void moveTo(int mode = 0) {
        if (mode == 0)
            PasteboardData(finder, pasteboard, dialogs).movePathsAll();
        else
            PasteboardData(finder, pasteboard, dialogs, mode).movePathsAll();
    }

    std::vector<Request> alerts() { return dialogs.requestsOf(Request::Alert); }

    test::TempWorld world;
    std::string desktop = world.path("home/Desktop");
    test::ScriptedFinder finder;
    test::MemoryPasteboard pasteboard;
    test::ScriptedDialogs dialogs;
    std::string source = world.writeFile("src/report.txt", "new text");
    std::string dest = folder("dest");
};

TEST_F(TransferTest, CopiesIntoTheSelectedFolderOrTheFolderOfASelectedFileOrALinksTarget) {
    copyFiles({source});
    finder.setSelection({dest});
    copyTo();
    EXPECT_EQ(readText(dest + "/report.txt"), "new text");

    std::string other = folder("other");
    finder.setSelection({world.writeFile("other/some file", ""), dest});
    copyTo();
    EXPECT_EQ(readText(other + "/report.txt"), "new text") << "a file stands for its folder";

    std::string linked = folder("linked");
    fs::create_directory_symlink(linked, world.path("link to linked"));
    finder.setSelection({world.path("link to linked")});
    copyTo();
    EXPECT_EQ(readText(linked + "/report.txt"), "new text");
    EXPECT_TRUE(fs::is_symlink(world.path("link to linked")));
    EXPECT_TRUE(dialogs.requests().size() == 3u) << "one progress notice per item, nothing else";
    EXPECT_EQ(dialogs.openNotices(), 0u);
}

TEST_F(TransferTest, WithNothingSelectedTheFrontWindowOrElseTheDesktopReceives) {
    copyFiles({source});
    std::string front = folder("it's front");
    finder.setFrontWindowFolder(front);
    copyTo();
    EXPECT_TRUE(fs::exists(front + "/report.txt")) << "a quote in the path is found";

    finder.setFrontWindowFolder(std::nullopt);
    copyTo();
    EXPECT_TRUE(fs::exists(desktop + "/report.txt"));
    EXPECT_TRUE(fs::exists(source));
}

TEST_F(TransferTest, CopiesAFolderTreeWithModesTimesAndLinksKept) {
    std::string tree = folder("src/Tree");
    world.writeFile("src/Tree/a.txt", "a");
    world.writeFile("src/Tree/deep/er/b.bin", std::string(100000, 'b'));
    fs::create_symlink("a.txt", tree + "/link");
    fs::create_symlink("/nowhere/at/all", tree + "/dangling");
    chmod((tree + "/a.txt").c_str(), 0640);
    chmod((tree + "/deep").c_str(), 0710);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, (tree + "/a.txt").c_str(), old, 0);
    utimensat(AT_FDCWD, (tree + "/deep").c_str(), old, 0);

    copyFiles({tree});
    finder.setSelection({dest});
    copyTo();

    const std::string copy = dest + "/Tree";
    EXPECT_EQ(readText(copy + "/a.txt"), "a");
    EXPECT_EQ(readText(copy + "/deep/er/b.bin"), std::string(100000, 'b'));
    EXPECT_EQ(fs::read_symlink(copy + "/link"), "a.txt");
    EXPECT_EQ(fs::read_symlink(copy + "/dangling"), "/nowhere/at/all");
    struct stat file {
    }, deep{};
    ASSERT_EQ(stat((copy + "/a.txt").c_str(), &file), 0);
    ASSERT_EQ(stat((copy + "/deep").c_str(), &deep), 0);
    EXPECT_EQ(file.st_mode & 07777, 0640u);
    EXPECT_EQ(deep.st_mode & 07777, 0710u);
    EXPECT_EQ(file.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(deep.st_mtim.tv_sec, 1000000000) << "a folder's time is set after its contents";
    EXPECT_EQ(namesIn(dest), std::vector<std::string>{"Tree"}) << "no temporary copy stays";
    EXPECT_TRUE(fs::exists(tree + "/a.txt"));
}

TEST_F(TransferTest, MoveTakesFilesAndFoldersAndEmptiesTheClipboard) {
    std::string second = world.writeFile("src/second", "2");
    std::string tree = folder("src/Tree");
    world.writeFile("src/Tree/inside", "i");
    copyFiles({source, second, tree});
    finder.setSelection({dest});
    moveTo();
    EXPECT_EQ(readText(dest + "/report.txt"), "new text");
    EXPECT_EQ(readText(dest + "/Tree/inside"), "i");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_FALSE(pasteboard.contents("public.file-url"));
    EXPECT_EQ(pasteboard.replacements().back().data, std::vector<std::uint8_t>{});
    auto notices = dialogs.requestsOf(Request::Progress);
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].header, "Now Moving...");
    EXPECT_EQ(notices[0].message, "report.txt");
}

TEST_F(TransferTest, AMoveAcrossFileSystemsRemovesTheSourceOnlyAfterTheCopy) {
    OtherFileSystem shm(world);
    if (!shm)
        GTEST_SKIP() << kNoSecondFileSystem;
    const std::string& other = shm.root();
    shm.writeFile("Tree/sub/f", "far");
    fs::create_symlink("sub/f", other + "/Tree/l");
    copyFiles({other + "/Tree"});
    finder.setSelection({dest});
    moveTo();
    EXPECT_EQ(readText(dest + "/Tree/sub/f"), "far");
    EXPECT_TRUE(fs::is_symlink(dest + "/Tree/l"));
    EXPECT_FALSE(fs::exists(other + "/Tree"));
}

TEST_F(TransferTest, ANameClashAsksAndYesReplacesNoSkipsCancelDropsEverything) {
    std::string second = world.writeFile("src/second", "2 new");
    world.writeFile("dest/report.txt", "old text");
    world.writeFile("dest/second", "2 old");
    copyFiles({source, second});
    finder.setSelection({dest});

    dialogs.answer(Response::Other);   // NO for report.txt
    dialogs.answer(Response::Default); // YES for second
    copyTo();
    EXPECT_EQ(readText(dest + "/report.txt"), "old text");
    EXPECT_EQ(readText(dest + "/second"), "2 new");
    auto asked = alerts();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].alert.header, "The following item exists in\n\"" + dest +
                                         "\".\n Do you want to replace this item?");
    EXPECT_EQ(asked[0].alert.message, "report.txt");
    EXPECT_EQ(asked[0].alert.defaultButton, "YES");
    EXPECT_EQ(asked[0].alert.alternateButton, "CANCEL");
    EXPECT_EQ(asked[0].alert.otherButton, "NO");
    EXPECT_EQ(asked[0].alert.level, DaemonDialogs::Level::Caution);

    std::string fresh = world.writeFile("src/fresh", "f");
    copyFiles({fresh, source});
    dialogs.answer(Response::Alternate);
    copyTo();
    EXPECT_FALSE(fs::exists(dest + "/fresh")) << "CANCEL drops the items before it too";
    EXPECT_EQ(readText(dest + "/report.txt"), "old text");
}

TEST_F(TransferTest, AReplaceQuestionThatCannotShowSkipsTheItem) {
    world.writeFile("dest/report.txt", "old text");
    std::string fresh = world.writeFile("src/fresh", "f");
    copyFiles({source, fresh});
    finder.setSelection({dest});
    dialogs.answer(Response::NotShown);
    copyTo();
    EXPECT_EQ(readText(dest + "/report.txt"), "old text");
    EXPECT_EQ(readText(dest + "/fresh"), "f");
}

TEST_F(TransferTest, TheRenameDialogOffersNameAndExtensionAndBuildsTheNewName) {
    finder.setSelection({dest});
    copyFiles({source});
    dialogs.answer(Response::Default, std::vector<std::string>{"summary", "txt"});
    copyTo(PasteboardData::kCopyByNewName);
    EXPECT_EQ(readText(dest + "/summary.txt"), "new text");
    auto forms = dialogs.requestsOf(Request::Fields);
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_EQ(forms[0].header, "Copy");
    EXPECT_EQ(forms[0].message, "  " + source + "\nto\n  " + dest + "/\n");
    ASSERT_EQ(forms[0].fields.size(), 2u);
    EXPECT_EQ(forms[0].fields[0].title, "New Name:");
    EXPECT_EQ(forms[0].fields[0].value, "report");
    EXPECT_EQ(forms[0].fields[1].title, "Extension:");
    EXPECT_EQ(forms[0].fields[1].value, "txt");
    EXPECT_EQ(forms[0].alternateButton, "CANCEL");
    auto notice = dialogs.requestsOf(Request::Progress).at(0);
    EXPECT_EQ(notice.message, "  report\nto\n  summary.txt\n");

    dialogs.answer(Response::Default, std::vector<std::string>{"summary", ""});
    copyTo(PasteboardData::kCopyByNewName);
    EXPECT_EQ(readText(dest + "/summary"), "new text");

    dialogs.answer(Response::Default, std::vector<std::string>{"", "txt"});
    copyTo(PasteboardData::kCopyByNewName);
    EXPECT_EQ(readText(dest + "/.txt"), "new text");

    std::string plain = world.writeFile("src/README", "r");
    copyFiles({plain});
    dialogs.answer(Response::Default, std::vector<std::string>{"README", ""});
    copyTo(PasteboardData::kCopyByNewName);
    EXPECT_EQ(dialogs.requestsOf(Request::Fields).back().fields.at(1).value, "")
        << "a file without extension gets an empty second field";
}

TEST_F(TransferTest, AFolderWithADotIsRenamedThroughOneFieldAndMovedUnderTheNewName) {
    std::string my = folder("src/My.Folder");
    world.writeFile("src/My.Folder/in", "in");
    copyFiles({my});
    finder.setSelection({dest});
    dialogs.answer(Response::Default, std::vector<std::string>{"Renamed.d"});
    moveTo(PasteboardData::kMoveByNewName);
    auto form = dialogs.requestsOf(Request::Fields).at(0);
    EXPECT_EQ(form.header, "Move");
    ASSERT_EQ(form.fields.size(), 1u);
    EXPECT_EQ(form.fields[0].value, "My");
    EXPECT_EQ(readText(dest + "/Renamed.d/in"), "in");
    EXPECT_FALSE(fs::exists(my));
}

TEST_F(TransferTest, CancelOrNoDialogAtTheSecondOfThreeTransfersNothing) {
    std::string b = world.writeFile("src/b", "b"), c = world.writeFile("src/c", "c");
    copyFiles({source, b, c});
    finder.setSelection({dest});
    dialogs.answer(Response::Default, std::vector<std::string>{"one", "txt"});
    dialogs.answer(Response::Alternate);
    copyTo(PasteboardData::kCopyByNewName);
    EXPECT_EQ(dialogs.requestsOf(Request::Fields).size(), 2u) << "the third is never asked";
    EXPECT_TRUE(namesIn(dest).empty());

    dialogs.answer(Response::Default, std::vector<std::string>{"one", "txt"});
    dialogs.answer(Response::NotShown);
    moveTo(PasteboardData::kMoveByNewName);
    EXPECT_TRUE(namesIn(dest).empty());
    EXPECT_TRUE(fs::exists(source));
    EXPECT_TRUE(pasteboard.contents("public.file-url")) << "nothing moved, nothing cleared";
}

TEST_F(TransferTest, ItemsWithoutALocalFileUrlAreSkipped) {
    std::string b = world.writeFile("src/b", "b");
    copyToClipboard({"https://example.org/x", "file://elsewhere" + source, fileUrl(source) + "%FF",
                     "file://" + world.root() + "/src/nothing-here", "# a comment",
                     "file://localhost" + b});
    finder.setSelection({dest});
    copyTo();
    EXPECT_EQ(namesIn(dest), std::vector<std::string>{"b"});

    pasteboard.replaceContents("public.utf8-plain-text", {'h', 'i'});
    copyTo();
    EXPECT_TRUE(dialogs.requests().size() == 1u) << "only text: nothing more happens";
}

TEST_F(TransferTest, AListOfMoreItemsThanAnyoneCopiesIsNotTransferredAtAll) {
    std::vector<std::string> urls(100'000, fileUrl(world.path("src/missing")));
    urls.push_back(fileUrl(source));
    copyToClipboard(urls);
    finder.setSelection({dest});
    copyTo();
    EXPECT_TRUE(namesIn(dest).empty());
    EXPECT_TRUE(dialogs.requests().empty());

    urls.pop_back();
    urls.back() = fileUrl(source);
    copyToClipboard(urls);
    copyTo();
    EXPECT_EQ(namesIn(dest), std::vector<std::string>{"report.txt"});
}

TEST_F(TransferTest, FileUrlsAreDecodedAndCheckedAsUtf8) {
    auto paths = [](const std::string& list) {
        return PasteboardData::fileUrlPaths({list.begin(), list.end()});
    };
    EXPECT_EQ(paths("file:///a%20b/%C3%A9\r\nfile:///c\n"),
              (std::vector<std::string>{"/a b/\xC3\xA9", "/c"}));
    EXPECT_TRUE(paths("file:///%C3\nfile:///%00x\nfile:///%zz\nfile:relative\nftp:///x").empty());
    EXPECT_TRUE(paths("file:///\xED\xA0\x80").empty()) << "a surrogate is not UTF-8";
}

TEST_F(TransferTest, DestinationProblemsShowOneAlertAndTransferNothing) {
    copyFiles({source});
    finder.setSelection({world.path("gone")});
    dialogs.answer(Response::Default);
    copyTo();
    auto shown = alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].alert.header, "Destination is not found!!");
    EXPECT_EQ(shown[0].alert.message, world.path("gone"));
    EXPECT_EQ(shown[0].alert.defaultButton, "CANCEL");

    fs::create_symlink(world.path("gone"), world.path("broken"));
    finder.setSelection({world.path("broken")});
    dialogs.answer(Response::Default);
    copyTo();
    EXPECT_EQ(alerts().back().alert.header, "Destination folder is not found!!");
    EXPECT_TRUE(dialogs.requestsOf(Request::Progress).empty());
}

TEST_F(TransferTest, AFolderTheUserMayNotChangeGivesThePermissionText) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root may change every folder";
    chmod(dest.c_str(), 0555);
    copyFiles({source});
    finder.setSelection({dest});
    dialogs.answer(Response::Default);
    copyTo();
    const std::string expected = identity::permissionText(dest);
    chmod(dest.c_str(), 0755);
    auto shown = alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].alert.header, "Permision Error!!");
    EXPECT_EQ(shown[0].alert.message, expected);
    EXPECT_NE(shown[0].alert.message.find("mod is r-xr-xr-x\n"), std::string::npos);
    EXPECT_TRUE(namesIn(dest).empty());
}

TEST(PermissionText, ShowsTheRealIdsGroupsAndMode) {
    test::TempWorld world;
    std::string file = world.writeFile("f", "");
    chmod(file.c_str(), 0751);
    std::string groups;
    gid_t list[100];
    for (int i = 0, n = getgroups(100, list); i < n; ++i)
        groups += "[" + std::to_string(list[i]) + "]";
    EXPECT_EQ(identity::permissionText(file),
              identity::loginName() + "'s uid=" + std::to_string(getuid()) +
                  ",gid=" + std::to_string(getgid()) + ",groups=" + groups + "\nAnd \"" + file +
                  "\" 's uid=" + std::to_string(getuid()) + ",gid=" + std::to_string(getgid()) +
                  ",mod is rwxr-x--x\n");
    EXPECT_FALSE(identity::loginName().empty());
}

// Copying or moving an item onto or into itself fails for that item alone and harms nothing.
TEST_F(TransferTest, AnItemIsNeverTransferredOntoOrIntoItself) {
    std::string tree = folder("src/Tree");
    world.writeFile("src/Tree/keep", "keep");
    std::string inner = folder("src/Tree/inner");
    std::string after = world.writeFile("elsewhere/after", "after");

    copyFiles({tree, after});
    finder.setSelection({inner});
    dialogs.answer(Response::Default); // "Tree was not copied"
    copyTo();
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].alert.header, "Tree was not copied");
    EXPECT_EQ(alerts()[0].alert.message, "Result Code:-50");
    EXPECT_EQ(alerts()[0].alert.defaultButton, "OK");
    EXPECT_EQ(namesIn(inner), std::vector<std::string>{"after"}) << "the next item still runs";

    copyFiles({source});
    finder.setSelection({world.path("src")});
    dialogs.answer(Response::Default); // YES, replace report.txt
    dialogs.answer(Response::Default); // "report.txt was not moved"
    moveTo();
    EXPECT_EQ(alerts().back().alert.header, "report.txt was not moved");
    EXPECT_EQ(readText(source), "new text");

    std::string outer = folder("outer");
    std::string nested = world.writeFile("outer/Tree/x", "x");
    copyFiles({nested.substr(0, nested.size() - 2) + "/x"});
    finder.setSelection({outer});
    world.writeFile("outer/x", "other x");
    dialogs.answer(Response::Default); // YES
    copyTo();
    EXPECT_EQ(readText(outer + "/x"), "x") << "a plain clash still replaces";

    copyFiles({outer + "/Tree/x"});
    fs::rename(outer + "/x", outer + "/x.old");
    fs::create_directories(world.path("top/x"));
    fs::rename(outer + "/Tree/x", world.path("top/x/x"));
    copyFiles({world.path("top/x/x")});
    finder.setSelection({world.path("top")});
    dialogs.answer(Response::Default); // YES, replace the folder "x" holding the source
    dialogs.answer(Response::Default); // "x was not copied"
    copyTo();
    EXPECT_EQ(readText(world.path("top/x/x")), "x") << "the folder holding it is not replaced";
}

TEST_F(TransferTest, AFailedOverwriteKeepsTheOldItemAndLeavesNoTemporaryCopy) {
    world.writeFile("dest/report.txt", "old text");
    std::string big = world.writeFile("src/big", std::string(3 << 20, 'n'));
    world.writeFile("dest/big", "old big");
    std::string after = world.writeFile("src/after", "after");
    copyFiles({big, after});
    finder.setSelection({dest});

    // Files may not grow past 1 MiB: the copy of big fails half-way.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1 << 20;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    dialogs.answer(Response::Default); // YES, replace big
    dialogs.answer(Response::Default); // "big was not copied"
    copyTo();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(readText(dest + "/big"), "old big");
    EXPECT_EQ(alerts().back().alert.header, "big was not copied");
    EXPECT_EQ(namesIn(dest), (std::vector<std::string>{"after", "big", "report.txt"}));
}

TEST_F(TransferTest, OverwriteReplacesAFileByAFolderAndAFolderByAFile) {
    std::string tree = folder("src/Tree");
    world.writeFile("src/Tree/in", "in");
    world.writeFile("dest/Tree", "a file in the way");
    folder("dest/report.txt/old inside");
    copyFiles({tree, source});
    finder.setSelection({dest});
    dialogs.answer(Response::Default);
    dialogs.answer(Response::Default);
    copyTo();
    EXPECT_EQ(readText(dest + "/Tree/in"), "in");
    EXPECT_EQ(readText(dest + "/report.txt"), "new text");
    EXPECT_EQ(namesIn(dest), (std::vector<std::string>{"Tree", "report.txt"}));
}

TEST_F(TransferTest, ALargeItemShowsHowFarItHasCome) {
    std::string big = world.path("src/large");
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(PasteboardData::kMeasuredItemBytes) * 2 - 1);
        out.put('!');
    }
    copyFiles({big, source});
    finder.setSelection({dest});
    copyTo();
    auto notices = dialogs.requestsOf(Request::Progress);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_TRUE(notices[0].measured);
    EXPECT_FALSE(notices[1].measured) << "small items keep the pulsing notice";
    auto steps = dialogs.progressOf(0);
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_DOUBLE_EQ(steps.back(), 1.0);
    EXPECT_EQ(fs::file_size(dest + "/large"), PasteboardData::kMeasuredItemBytes * 2);
    EXPECT_EQ(dialogs.openNotices(), 0u);
}

TEST(FileTransfer, AMoveWithinOneFileSystemKeepsTheItemItself) {
    test::TempWorld world;
    std::string file = world.writeFile("a/f", "f");
    fs::create_directories(world.path("b"));
    struct stat before {
    }, after{};
    stat(file.c_str(), &before);
    EXPECT_EQ(FileTransfer::moveObject(file, world.path("b"), "g"), kNoErr);
    stat(world.path("b/g").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(FileTransfer::moveObject(world.path("a/none"), world.path("b"), ""),
              kFileNotFoundErr);
    EXPECT_EQ(FileTransfer::copyObject(world.path("b/g"), world.path("b"), "a/b"), kBadNameErr);
    EXPECT_EQ(FileTransfer::copyObject(world.path("b/g"), world.path("nowhere"), ""),
              kDirNotFoundErr);
}

using Step = FileTransfer::Step;

// Runs `change` at `step` of a transfer, as another process could at that moment.
FileTransfer::Options at(Step step, std::function<void()> change) {
    FileTransfer::Options options;
    options.onStep = [step, change](Step now) {
        if (now == step)
            change();
    };
    return options;
}

TEST(FileTransfer, AMoveAcrossFileSystemsRemovesOnlyTheItemItCopied) {
    test::TempWorld world;
    OtherFileSystem shm(world);
    if (!shm)
        GTEST_SKIP() << kNoSecondFileSystem;
    const std::string precious = world.writeFile("home/Documents/precious", "p");
    struct Case {
        const char* what;
        std::function<void(const std::string& x)> swap;
        OSErr status;
    };
    const Case cases[] = {
        {"a folder on its way becomes a link to the user's home",
         [&](const std::string& x) {
             fs::rename(x, x + ".old");
             fs::create_directory_symlink(world.path("home"), x);
         },
         kNoErr},
        {"the item is replaced by another",
         [&](const std::string& x) {
             fs::rename(x + "/Documents", x + "/Documents.old");
             shm.writeFile(x.substr(shm.root().size() + 1) + "/Documents/other", "o");
         },
         kFileBusyErr},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        const std::string x = shm.root() + "/share" + std::to_string(i) + "/x";
        shm.writeFile("share" + std::to_string(i) + "/x/Documents/f", "f");
        const std::string dest = world.path("dest" + std::to_string(i));
        fs::create_directories(dest);
        EXPECT_EQ(
            FileTransfer::moveObject(x + "/Documents", dest, "",
                                     at(Step::BeforeRemovingSource, [&] { cases[i].swap(x); })),
            cases[i].status);
        EXPECT_EQ(readText(precious), "p");
        EXPECT_EQ(readText(dest + "/Documents/f"), "f");
        if (cases[i].status == kNoErr)
            EXPECT_FALSE(fs::exists(x + ".old/Documents")) << "the item copied is the one gone";
        else
            EXPECT_TRUE(fs::exists(x + "/Documents/other") && fs::exists(x + "/Documents.old/f"));
    }
}

TEST(FileTransfer, AFolderWhoseListingFailsIsNotCopied) {
    test::TempWorld world;
    const std::string dest = world.path("dest");
    fs::create_directories(dest);
    // The listing of a process's folder fails once the process is gone.
    pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    auto end = [&] {
        if (child > 0 && kill(child, SIGKILL) == 0)
            waitpid(child, nullptr, 0);
        child = -1;
    };
    EXPECT_NE(FileTransfer::copyObject("/proc/" + std::to_string(child) + "/fd", dest, "",
                                       at(Step::SourceOpened, end)),
              kNoErr);
    end();
    EXPECT_EQ(namesIn(dest), std::vector<std::string>{}) << "neither a copy nor a partial one";
}

TEST(FileTransfer, AMoveNeverLeavesTheItemUnderAHiddenName) {
    test::TempWorld world;
    world.writeFile("src/report.txt", "new");
    const std::string dest = world.path("dest");
    world.writeFile("dest/report.txt", "old");
    FileTransfer::moveObject(world.path("src/report.txt"), dest, "",
                             at(Step::BeforePlacing, [&] { fs::rename(dest, dest + ".gone"); }));
    std::vector<std::string> named, hidden;
    for (const auto& entry : fs::recursive_directory_iterator(world.root())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".presto-transfer-"))
            hidden.push_back(entry.path().string());
        if (name == "report.txt" && readText(entry.path().string()) == "new")
            named.push_back(entry.path().string());
    }
    EXPECT_EQ(hidden, std::vector<std::string>{});
    EXPECT_EQ(named.size(), 1u) << "findable under its own name";
}

TEST(FileTransfer, HolesStayHoles) {
    test::TempWorld world;
    OtherFileSystem shm(world);
    const std::string sparse = world.path("src/sparse");
    {
        int fd = open(sparse.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(pwrite(fd, "data", 4, 32 << 20), 4);
        EXPECT_EQ(pwrite(fd, "tail", 4, 96 << 20), 4);
        EXPECT_EQ(ftruncate(fd, 150 << 20), 0);
        close(fd);
    }
    struct stat source {};
    stat(sparse.c_str(), &source);
    std::vector<std::string> destinations{world.path("dest")};
    fs::create_directories(destinations[0]);
    if (shm)
        destinations.push_back(shm.root());
    for (const std::string& dest : destinations) {
        SCOPED_TRACE(dest);
        ASSERT_EQ(FileTransfer::copyObject(sparse, dest, ""), kNoErr);
        struct stat copy {};
        stat((dest + "/sparse").c_str(), &copy);
        EXPECT_EQ(copy.st_size, source.st_size);
        EXPECT_LE(copy.st_blocks, 2 * source.st_blocks + 64) << "512-byte blocks in use";
        std::ifstream in(dest + "/sparse", std::ios::binary);
        char bytes[5] = {};
        in.seekg(32 << 20).read(bytes, 4);
        EXPECT_STREQ(bytes, "data");
        in.seekg(96 << 20).read(bytes, 4);
        EXPECT_STREQ(bytes, "tail");
    }
}

TEST(FileTransfer, AStopEndsTheTransferWithNothingLostAndNoPartialCopy) {
    test::TempWorld world;
    OtherFileSystem shm(world);
    const std::string big = std::string(12 << 20, 'b');
    world.writeFile("src/Tree/big", big);
    world.writeFile("dest/Tree/old", "old");
    struct Case {
        bool move;
        std::string from, dest;
        std::vector<std::string> left;
    };
    std::vector<Case> cases{{false, world.path("src/Tree"), world.path("dest"), {"Tree"}}};
    if (shm)
        cases.push_back({true,
                         shm.writeFile("Tree/big", big).substr(0, shm.root().size() + 5),
                         world.path("dest"),
                         {"Tree"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        std::stop_source stop;
        FileTransfer::Options options;
        options.stop = stop.get_token();
        options.progress = [&](std::uint64_t) { stop.request_stop(); };
        EXPECT_EQ(c.move ? FileTransfer::moveObject(c.from, c.dest, "", options)
                         : FileTransfer::copyObject(c.from, c.dest, "", options),
                  kUserCanceledErr);
        EXPECT_EQ(readText(c.from + "/big").size(), big.size());
        EXPECT_EQ(namesIn(c.dest), c.left);
        EXPECT_EQ(readText(c.dest + "/Tree/old"), "old");
    }
}

} // namespace
} // namespace presto
