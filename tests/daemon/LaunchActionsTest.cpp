#include "daemon/LaunchActions.h"

#include "common/SnapshotFile.h"
#include "daemon/AssistControl.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/FakeProcessTable.h"
#include "tests/support/MemoryPasteboard.h"
#include "tests/support/RecordingLauncher.h"
#include "tests/support/ScriptedFinder.h"
#include "tests/support/TempWorld.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace presto {
namespace {

using Call = test::RecordingLauncher::Call;
using Kind = test::RecordingLauncher::Kind;

class LaunchActionsTest : public ::testing::Test {
protected:
    std::string snapshot(const std::string& title, const PasteboardSnapshot& content) {
        std::string path = world.path("data/Presto/PasteboardData/" + title);
        EXPECT_TRUE(writeSnapshotFile(path, content));
        return path;
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
    test::RecordingLauncher launcher;
    test::ScriptedFinder finder;
    test::FakeProcessTable processes;
    test::MemoryPasteboard pasteboard;
    LaunchActions actions{launcher, finder, processes, pasteboard,
                          FileReferences(loc.referencesDir())};
    std::string app = world.writeFile("apps/editor", "#!/bin/sh\n");
};

TEST_F(LaunchActionsTest, TextAndTiffSnapshotsGoBackWithTheirTypeAndBytes) {
    PasteboardSnapshot text{kUtf8PlainTextType, test::bytesOf("héllo\n")};
    PasteboardSnapshot tiff{kTiffType, {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0x00}};
    EXPECT_EQ(actions.Copy2Pasteboard(test::refTo(loc, snapshot("Greeting", text))), kNoErr);
    EXPECT_EQ(pasteboard.contents(kUtf8PlainTextType), text.data);
    EXPECT_EQ(actions.Copy2Pasteboard(test::refTo(loc, snapshot("Picture", tiff))), kNoErr);
    EXPECT_EQ(pasteboard.contents(kTiffType), tiff.data);
    EXPECT_EQ(pasteboard.contents(kUtf8PlainTextType), std::nullopt);
}

TEST_F(LaunchActionsTest, SnapshotThatDoesNotReadWholeLeavesThePasteboardAlone) {
    std::string shortData = snapshot("Short", {kUtf8PlainTextType, test::bytesOf("0123456789")});
    std::filesystem::resize_file(shortData, std::filesystem::file_size(shortData) - 1);
    std::string cutType = world.writeFile("data/Presto/PasteboardData/Cut", "\x16public.utf8");
    std::string oddType = snapshot("Odd", {"public.\xC3\xA9", test::bytesOf("x")});
    for (const auto& path : {shortData, cutType, oddType})
        EXPECT_EQ(actions.Copy2Pasteboard(test::refTo(loc, path)), kNoErr) << path;
    EXPECT_TRUE(pasteboard.replacements().empty());
}

TEST_F(LaunchActionsTest, SnapshotDeletedSinceLoadingDoesNothing) {
    std::string path = snapshot("Gone", {kUtf8PlainTextType, test::bytesOf("x")});
    FileRef ref = test::refTo(loc, path);
    std::filesystem::remove(path);
    EXPECT_NE(actions.Copy2Pasteboard(ref), kNoErr);
    EXPECT_TRUE(pasteboard.replacements().empty());
}

TEST_F(LaunchActionsTest, OpenDocumentAsksOnlyWhileTheFileManagerRuns) {
    FileRef ref = test::refTo(loc, app);
    EXPECT_EQ(actions.OpenDocument(ref), kNoErr);
    ASSERT_TRUE(processes.killProcess(ProcessTable::kFinderProcess));
    EXPECT_EQ(actions.OpenDocument(ref), kProcNotFoundErr);
    EXPECT_EQ(launcher.calls(), (std::vector<Call>{{Kind::OpenSelectionWith, app}}));
}

// Each condition alone stops a second press from opening anything else.
TEST_F(LaunchActionsTest, SelectionOpensOnlyWithARunningFileManagerASelectionAndAnApplication) {
    std::string doc = world.writeFile("docs/a.txt", "a");
    FileRef appRef = test::refTo(loc, app);
    finder.setSelection({doc});
    launcher.setApplications({app});
    EXPECT_TRUE(actions.canOpenSelectionWith(appRef));
    EXPECT_FALSE(actions.canOpenSelectionWith(test::refTo(loc, doc)));

    finder.setSelection({});
    EXPECT_FALSE(actions.canOpenSelectionWith(appRef));
    finder.setSelection({doc});
    ASSERT_TRUE(processes.killProcess(ProcessTable::kFinderProcess));
    EXPECT_FALSE(actions.canOpenSelectionWith(appRef));
    processes.addProcess("Finder", ProcessTable::kFinderProcess);
    std::filesystem::remove(app);
    EXPECT_FALSE(actions.canOpenSelectionWith(appRef));
    EXPECT_TRUE(launcher.calls().empty()) << "asking opened something";
}

TEST_F(LaunchActionsTest, ProcessNamesAreComparedExactly) {
    pid_t pid = -1;
    EXPECT_EQ(actions.FindProcessByName(pid, "Finder"), kNoErr);
    EXPECT_EQ(pid, ProcessTable::kFinderProcess);
    EXPECT_EQ(actions.FindProcessByName(pid, "finder"), kProcNotFoundErr);
    processes.addProcess("PrestoAssist", 4321);
    EXPECT_EQ(actions.FindProcessByName(pid, "PrestoAssist"), kNoErr);
    EXPECT_EQ(pid, 4321);
}

class AssistControlTest : public LaunchActionsTest {
protected:
    std::string assistant = world.path("bin/PrestoAssist");
};

TEST_F(AssistControlTest, RunningAssistantIsEndedAndStartedAgainOnlyWhenShown) {
    processes.addProcess("PrestoAssist", 77);
    controllAssist(false, actions, launcher, assistant);
    EXPECT_EQ(processes.kills(), std::vector<pid_t>{77});
    EXPECT_TRUE(launcher.calls().empty());

    processes.addProcess("PrestoAssist", 78);
    controllAssist(true, actions, launcher, assistant);
    EXPECT_EQ(processes.kills(), (std::vector<pid_t>{77, 78}));
    EXPECT_EQ(launcher.calls(), (std::vector<Call>{{Kind::OpenItem, assistant}}));
}

TEST_F(AssistControlTest, AssistantThatWillNotStartIsTriedElevenTimesWithAPause) {
    launcher.setResult(-43);
    auto begin = std::chrono::steady_clock::now();
    controllAssist(true, actions, launcher, assistant);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(10));
    EXPECT_EQ(launcher.calls(), std::vector<Call>(11, Call{Kind::OpenItem, assistant}));
    EXPECT_TRUE(processes.kills().empty());
}

TEST_F(AssistControlTest, WorkerRunsWithTheLatestFlagOffTheCallersThread) {
    {
        AssistantWorker worker(actions, launcher, assistant);
        worker.apply(false);
        processes.addProcess("PrestoAssist", 90);
        worker.apply(true);
        ASSERT_TRUE(launcher.waitForCalls(1, std::chrono::seconds(30)));
    }
    // Two requests, folded or not: the last one asked for the assistant, so it was started.
    EXPECT_EQ(launcher.calls().back(), (Call{Kind::OpenItem, assistant}));
    EXPECT_FALSE(processes.findProcessByName("PrestoAssist"));
}

} // namespace
} // namespace presto
