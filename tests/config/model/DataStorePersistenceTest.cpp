#include "ModelTestSupport.h"
#include "common/DataFile.h"
#include "config/model/DataStore.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace presto {
namespace {

namespace fs = std::filesystem;
using test::keyRec;
using Bytes = std::vector<std::uint8_t>;

const QString kMakeDirectory = QStringLiteral("OK Make directory");

// The daemon's end of the socket: collects the notices sent to it.
class NoticeListener {
public:
    explicit NoticeListener(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 16) != 0)
            ADD_FAILURE() << "cannot listen at " << path;
    }
    ~NoticeListener() { ::close(fd_); }

    // Every message sent since the last call. The sender has closed each connection before its
    // call returned, so waiting is never needed.
    std::vector<std::string> take() {
        std::vector<std::string> messages;
        pollfd ready{fd_, POLLIN, 0};
        while (::poll(&ready, 1, 0) == 1) {
            int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                break;
            std::string message;
            char buffer[64];
            ssize_t n;
            while ((n = ::read(connection, buffer, sizeof buffer)) > 0)
                message.append(buffer, static_cast<std::size_t>(n));
            ::close(connection);
            messages.push_back(message);
        }
        return messages;
    }

private:
    int fd_ = -1;
};

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes header(const std::string& version = kDataFileVersion) {
    const std::string text = version + kDataFileSignature;
    return Bytes(text.begin(), text.end());
}

QString q(const std::string& path) {
    return QString::fromStdString(path);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

HotKeyRec launchRec(std::uint32_t keyCode, std::uint8_t itemCount = 1) {
    HotKeyRec rec = keyRec(kCommandBit, keyCode, itemCount < 2 ? kKindLaunch : kKindGroup);
    rec.itemCount = itemCount;
    return rec;
}

HotKeyRec finderRec(std::uint32_t keyCode, std::uint8_t finderItemNo) {
    HotKeyRec rec = keyRec(kOptionBit, keyCode, kKindFinder);
    rec.finderItemNo = finderItemNo;
    return rec;
}

class DataStorePersistence : public ::testing::Test {
protected:
    std::unique_ptr<DataStore> openStore() { return std::make_unique<DataStore>(loc, alerts); }

    // A file in the world that a hot key can point at.
    std::string file(const std::string& relative) { return world.writeFile(relative, "x"); }

    std::unique_ptr<HotKeyItem> launch(std::uint32_t keyCode,
                                       const std::vector<std::string>& paths) {
        auto item = std::make_unique<HotKeyItem>();
        QStringList list;
        for (const std::string& path : paths)
            list.append(q(path));
        item->setHotKeyRecItems(keyRec(kCommandBit, keyCode), list);
        return item;
    }

    std::unique_ptr<HotKeyPbItem> pasteboard(std::uint32_t keyCode, const std::string& path) {
        HotKeyRec rec = keyRec(kControlBit, keyCode, kKindPasteboard);
        rec.itemCount = 1;
        auto item = std::make_unique<HotKeyPbItem>(rec);
        item->setPbDataPath(q(path));
        item->setPbTitle(q(fs::path(path).filename().string()));
        return item;
    }

    void writeDataFile(const std::vector<DataFileEntry>& entries) {
        writeBytes(loc.dataFilePath(), encodeDataFile(entries, refs));
    }

    std::vector<DataFileRawEntry> savedEntries() const {
        return readDataFileEntries(loc.dataFilePath());
    }

    std::vector<std::string> pathsOf(const DataFileRawEntry& entry) const {
        std::vector<std::string> paths;
        for (std::size_t at = 0; at + kFileRefSize <= entry.references.size(); at += kFileRefSize) {
            FileRef ref;
            std::copy_n(entry.references.begin() + std::ptrdiff_t(at), kFileRefSize, ref.begin());
            paths.push_back(refs.refMakePath(ref).value_or("?"));
        }
        return paths;
    }

    void expectAlert(std::size_t index, const QString& title, const QString& message,
                     const QStringList& buttons, AlertStyle style = AlertStyle::Critical) {
        ASSERT_LT(index, alerts.requests().size());
        const AlertRequest& shown = alerts.requests()[index];
        EXPECT_EQ(shown.title, title);
        EXPECT_EQ(shown.message, message);
        EXPECT_EQ(shown.buttons, buttons);
        EXPECT_EQ(shown.style, style);
    }

    test::TempWorld world;
    const Locations& loc = world.locations();
    FileReferences refs{loc.referencesDir()};
    test::ScriptedAlerts alerts;
    NoticeListener daemon{loc.socketPath};
    const std::vector<std::string> updated{"UPDTDATA"};
};

// Saving: folders, alerts and the notice.

TEST_F(DataStorePersistence, FirstSaveWithOnlyFinderKeysAsksOnceThenWritesAndNotifies) {
    auto store = openStore();
    store->hotKeyFinderFunction(3)->assignHotKeyRec(keyRec(kOptionBit | kControlBit, 17));
    alerts.answer(kMakeDirectory);
    alerts.answer("OK");
    store->saveItemData();

    ASSERT_EQ(alerts.requests().size(), 2u);
    expectAlert(0, "This directory does not exist", q(loc.dataFolder()),
                {kMakeDirectory, "Cancel"});
    // Notices, not errors: nothing went wrong.
    expectAlert(1, "This directory and file has been created", q(loc.dataFilePath()), {"OK"},
                AlertStyle::Informational);
    EXPECT_EQ(modeOf(loc.dataFolder()), 0700u);
    EXPECT_FALSE(fs::exists(loc.pasteboardDir()));

    auto entries = savedEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rec.kind, kKindFinder);
    EXPECT_EQ(entries[0].rec.finderItemNo, 11);
    EXPECT_EQ(entries[0].rec.itemCount, 0);
    EXPECT_EQ(readBytes(loc.dataFilePath()).size(), 8u + 24u);
    EXPECT_EQ(daemon.take(), updated);

    // The folder is there now: the next save asks nothing.
    store->saveItemData();
    EXPECT_EQ(alerts.requests().size(), 2u);
    EXPECT_EQ(daemon.take(), updated);
}

TEST_F(DataStorePersistence, AFreshAccountGetsItsMissingParentFoldersToo) {
    fs::remove_all(loc.applicationSupportDir);
    auto store = openStore();
    store->addHotKeyItem(launch(1, {file("apps/tool")}));
    alerts.answer(kMakeDirectory);
    alerts.answer("OK");
    store->saveItemData();
    EXPECT_EQ(savedEntries().size(), 1u);
    EXPECT_EQ(modeOf(loc.dataFolder()), 0700u);
    EXPECT_EQ(daemon.take(), updated);
}

TEST_F(DataStorePersistence, RefusalsAndFailuresBeforeWritingSaveNothingAndTellNoOne) {
    {
        auto store = openStore();
        store->addHotKeyItem(launch(1, {file("apps/tool")}));
        alerts.answer("Cancel");
        store->saveItemData();
        EXPECT_FALSE(fs::exists(loc.dataFolder()));
    }
    {
        // Something that is not a folder where the data folder belongs.
        world.writeFile("data/Presto", "");
        auto store = openStore();
        store->addHotKeyItem(launch(1, {file("apps/tool")}));
        alerts.answer(kMakeDirectory);
        alerts.answer("OK");
        store->saveItemData();
        expectAlert(2, "This directory has not been created", q(loc.dataFolder()), {"OK"});
        fs::remove(loc.dataFolder());
    }
    {
        auto store = openStore();
        store->setSavePath(q(loc.dataFolder() + "/" + std::string(300, 'n')));
        store->addHotKeyItem(launch(1, {file("apps/tool")}));
        alerts.answer(kMakeDirectory);
        alerts.answer("OK");
        store->saveItemData();
        expectAlert(4, "This file has not been created", store->savePath(), {"OK"});
        EXPECT_TRUE(fs::is_empty(loc.dataFolder()));
    }
    EXPECT_EQ(alerts.requests().size(), 5u);
    EXPECT_TRUE(daemon.take().empty());
}

TEST_F(DataStorePersistence, SnapshotFolderIsAskedForOnlyWhilePasteboardKeysExist) {
    fs::create_directories(loc.dataFolder());
    auto store = openStore();
    store->addHotKeyItem(launch(1, {file("apps/tool")}));
    store->saveItemData();
    EXPECT_TRUE(alerts.requests().empty());

    store->addHotKeyPbItem(pasteboard(2, loc.pasteboardDir() + "/Note"));
    alerts.answer("Cancel");
    store->saveItemData();
    expectAlert(0, "This directory does not exist", q(loc.pasteboardDir()),
                {kMakeDirectory, "Cancel"});
    EXPECT_FALSE(fs::exists(loc.pasteboardDir()));
    EXPECT_EQ(daemon.take(), updated);

    alerts.answer(kMakeDirectory);
    alerts.answer("OK");
    store->saveItemData();
    expectAlert(2, "This directory has been created", q(loc.pasteboardDir()), {"OK"},
                AlertStyle::Informational);
    EXPECT_EQ(modeOf(loc.pasteboardDir()), 0700u);
    EXPECT_EQ(daemon.take(), updated);
    EXPECT_EQ(alerts.requests().size(), 3u);
}

TEST_F(DataStorePersistence, AFileThatCannotBeReplacedIsReportedAndNotAnnounced) {
    fs::create_directories(loc.dataFilePath());
    auto store = openStore();
    store->addHotKeyItem(launch(1, {file("apps/tool")}));
    alerts.answer("Cancel");
    store->saveItemData();
    ASSERT_EQ(alerts.requests().size(), 1u);
    expectAlert(0, "Cannot open data file", q(loc.dataFilePath()), {"Cancel"});
    EXPECT_TRUE(daemon.take().empty());
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(loc.dataFolder()), {}), 1);
}

TEST_F(DataStorePersistence, WithoutAListeningDaemonTheFileIsStillSaved) {
    Locations elsewhere = loc;
    elsewhere.socketPath = world.root() + "/nobody-listens";
    fs::create_directories(loc.dataFolder());
    DataStore store(elsewhere, alerts);
    store.addHotKeyItem(launch(1, {file("apps/tool")}));
    store.saveItemData();
    EXPECT_EQ(savedEntries().size(), 1u);
    EXPECT_TRUE(daemon.take().empty());
}

// Saving: what the file holds.

TEST_F(DataStorePersistence, EmptyStoresWriteOnlyWhenTheFileHasEntriesToClear) {
    auto store = openStore();
    store->saveItemData();
    EXPECT_FALSE(fs::exists(loc.dataFolder()));
    EXPECT_EQ(daemon.take(), updated);

    // A header-only file is left as it is.
    writeBytes(loc.dataFilePath(), header("0400"));
    store->saveItemData();
    EXPECT_EQ(readBytes(loc.dataFilePath()), header("0400"));
    EXPECT_EQ(daemon.take(), updated);

    // Deleting the last hot key rewrites the header.
    writeDataFile({{finderRec(5, 21), {}}});
    store = openStore();
    ASSERT_EQ(store->countHotKey(), 1);
    store->hotKeyFinderFunction(4)->resetHotKey();
    store->saveItemData();
    EXPECT_EQ(readBytes(loc.dataFilePath()), header());
    EXPECT_EQ(daemon.take(), updated);
    EXPECT_TRUE(alerts.requests().empty());
}

TEST_F(DataStorePersistence, RemoveItemDataEmptiesTheStoreButNotTheDisk) {
    const std::string tool = file("apps/tool");
    const std::string note = file("data/Presto/PasteboardData/Note");
    writeDataFile({{launchRec(1), {tool}},
                   {finderRec(5, 29), {}},
                   {pasteboard(2, note)->hotKeyRec(), {note}}});
    const Bytes before = readBytes(loc.dataFilePath());
    auto store = openStore();
    ASSERT_EQ(store->countHotKey(), 3);

    store->removeItemData();
    EXPECT_EQ(store->countHotKey(), 0);
    EXPECT_EQ(store->countHotKeyFinderFunction(), 13);
    EXPECT_EQ(store->hotKeyFinderFunction(12)->finderItemNo(), std::nullopt);
    EXPECT_EQ(readBytes(loc.dataFilePath()), before);
    EXPECT_TRUE(fs::exists(note));

    store->saveItemData();
    EXPECT_EQ(readBytes(loc.dataFilePath()), header());
    EXPECT_EQ(daemon.take(), updated);
}

TEST_F(DataStorePersistence, EntriesGoInThreeRunsAndLoadBackTheSame) {
    fs::create_directories(loc.pasteboardDir());
    const std::string a = file("apps/a"), b = file("apps/b");
    // Longer than an inline reference.
    const std::string deep = file("apps/" + std::string(100, 'd') + "/tool");
    const std::string note = file("data/Presto/PasteboardData/Note");
    const std::string memo = file("data/Presto/PasteboardData/Memo");

    auto store = openStore();
    store->addHotKeyPbItem(pasteboard(30, note));
    store->addHotKeyItem(launch(10, {a}));
    store->addHotKeyItem(launch(11, {deep, b}));
    store->hotKeyFinderFunction(7)->assignHotKeyRec(keyRec(kOptionBit, 20));
    store->hotKeyFinderFunction(0)->assignHotKeyRec(keyRec(kOptionBit, 21));
    store->hotKeyFinderFunction(5)->assignHotKeyRec(keyRec(kOptionBit, 22));
    store->hotKeyFinderFunction(5)->resetHotKey();
    store->addHotKeyPbItem(pasteboard(31, memo));
    store->saveItemData();

    auto entries = savedEntries();
    std::vector<std::pair<char, std::uint32_t>> order;
    for (const auto& entry : entries)
        order.emplace_back(entry.rec.kind, entry.rec.keyCode);
    EXPECT_EQ(order, (std::vector<std::pair<char, std::uint32_t>>{
                         {'L', 10}, {'G', 11}, {'F', 21}, {'F', 20}, {'P', 30}, {'P', 31}}));
    EXPECT_EQ(pathsOf(entries[1]), (std::vector<std::string>{deep, b}));
    EXPECT_EQ(entries[3].rec.finderItemNo, 24);
    EXPECT_EQ(entries[4].rec.itemCount, 1);
    EXPECT_EQ(pathsOf(entries[5]), std::vector<std::string>{memo});

    auto loaded = openStore();
    EXPECT_EQ(loaded->versionNo(), "0511");
    EXPECT_EQ(loaded->signature(), "Prst");
    ASSERT_EQ(loaded->countHotKeyItem(), 2);
    EXPECT_EQ(loaded->hotKeyItem(1)->itemPaths(), QStringList({q(deep), q(b)}));
    EXPECT_EQ(loaded->hotKeyItem(1)->hotKeyRec(), store->hotKeyItem(1)->hotKeyRec());
    EXPECT_EQ(loaded->hotKeyFinderFunction(7)->hotKeyRec(),
              store->hotKeyFinderFunction(7)->hotKeyRec());
    EXPECT_EQ(loaded->hotKeyFinderFunction(5)->finderItemNo(), std::nullopt);
    EXPECT_EQ(loaded->countHotKey(), 6);
    ASSERT_EQ(loaded->countHotKeyPbItem(), 2);
    EXPECT_EQ(loaded->hotKeyPbItem(1)->pbDataPath(), q(memo));
    EXPECT_EQ(loaded->hotKeyPbItem(1)->pbTitle(), "Memo");
    EXPECT_EQ(loaded->hotKeyPbItem(1)->hotKeyRec(), store->hotKeyPbItem(1)->hotKeyRec());
    EXPECT_EQ(loaded->hotKeyItem(1)->hotKey(), store->hotKeyItem(1)->hotKey());
}

TEST_F(DataStorePersistence, GoneFilesKeepTheirHotKeysAndStoredBytesUntilTheyComeBack) {
    fs::create_directories(loc.pasteboardDir());
    const std::string a = file("apps/a"), b = file("apps/b");
    const std::string gone = file("apps/gone");
    // Longer than an inline reference: its path lives in a reference file.
    const std::string deep = file("apps/" + std::string(100, 'd') + "/tool");
    const std::string note = file("data/Presto/PasteboardData/Note");
    HotKeyRec pbRec = keyRec(kControlBit, 6, kKindPasteboard);
    pbRec.itemCount = 1;
    writeDataFile({{launchRec(1), {gone}},
                   {launchRec(2, 3), {a, gone, b}},
                   {launchRec(3), {deep}},
                   {pbRec, {note}}});
    const Bytes stored = readBytes(loc.dataFilePath());
    for (const std::string& path : {gone, deep, note})
        fs::rename(path, path + ".away");

    auto store = openStore();
    ASSERT_EQ(store->countHotKeyItem(), 3);
    EXPECT_EQ(store->hotKeyItem(0)->itemPaths(), QStringList({q(gone)}));
    EXPECT_EQ(store->hotKeyItem(1)->itemPaths(), QStringList({q(a), q(gone), q(b)}));
    EXPECT_EQ(store->hotKeyItem(2)->itemPaths(), QStringList({q(deep)}));
    ASSERT_EQ(store->countHotKeyPbItem(), 1);
    EXPECT_EQ(store->hotKeyPbItem(0)->pbTitle(), "Note");

    // Saved twice, as every edit does: the gone files' entries stay as they were read.
    store->saveItemData();
    openStore()->saveItemData();
    EXPECT_EQ(readBytes(loc.dataFilePath()), stored);

    // Back where they were, they are found again, with no save in between.
    for (const std::string& path : {gone, deep, note})
        fs::rename(path + ".away", path);
    const auto entries = savedEntries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(pathsOf(entries[1]), (std::vector<std::string>{a, gone, b}));
    EXPECT_EQ(pathsOf(entries[2]), std::vector<std::string>{deep});
    EXPECT_EQ(pathsOf(entries[3]), std::vector<std::string>{note});
}

TEST_F(DataStorePersistence, APathGoneBeforeItWasEverSavedIsLeftOut) {
    fs::create_directories(loc.dataFolder());
    const std::string a = file("apps/a"), c = file("apps/c");
    const std::string never = file("apps/never-saved");
    auto store = openStore();
    store->addHotKeyItem(launch(1, {never}));
    store->addHotKeyItem(launch(2, {a, never}));
    store->addHotKeyItem(launch(3, {never, c}));
    fs::remove(never);
    store->saveItemData();

    const auto entries = savedEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].rec.kind, kKindLaunch);
    EXPECT_EQ(entries[0].rec.itemCount, 1);
    EXPECT_EQ(pathsOf(entries[0]), std::vector<std::string>{a});
    EXPECT_EQ(pathsOf(entries[1]), std::vector<std::string>{c});
    // The list still shows it, for the user to see and remove.
    EXPECT_EQ(store->hotKeyItem(1)->itemPaths(), QStringList({q(a), q(never)}));
    EXPECT_EQ(daemon.take(), updated);
}

TEST_F(DataStorePersistence, ASaveReplacesTheFileWholeInsteadOfRewritingIt) {
    const std::string a = file("apps/a");
    writeDataFile({{launchRec(1), {a}}});
    const Bytes before = readBytes(loc.dataFilePath());
    // A reader that opened the old file keeps reading the old bytes.
    const int reader = ::open(loc.dataFilePath().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);

    auto store = openStore();
    store->addHotKeyItem(launch(2, {a}));
    store->saveItemData();

    Bytes old(before.size() + 1);
    EXPECT_EQ(::read(reader, old.data(), old.size()), ssize_t(before.size()));
    old.resize(before.size());
    EXPECT_EQ(old, before);
    ::close(reader);
    EXPECT_EQ(savedEntries().size(), 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(loc.dataFolder()), {}), 1);
}

TEST_F(DataStorePersistence, CheckDataSizeIsTheFileSizeOrZero) {
    auto store = openStore();
    EXPECT_EQ(store->checkDataSize(), 0);
    writeBytes(loc.dataFilePath(), Bytes(123, 0));
    EXPECT_EQ(store->checkDataSize(), 123);
    fs::remove(loc.dataFilePath());
    fs::create_directory(loc.dataFilePath());
    EXPECT_EQ(store->checkDataSize(), 0);
}

// Loading.

TEST_F(DataStorePersistence, NoFileOrAShortOneLoadsNothingSilently) {
    for (const Bytes& content : {Bytes{}, Bytes{'0', '5', '1', '1', 'P', 'r', 's'}}) {
        writeBytes(loc.dataFilePath(), content);
        auto store = openStore();
        EXPECT_EQ(store->versionNo(), std::nullopt);
        EXPECT_EQ(store->signature(), std::nullopt);
        EXPECT_EQ(store->countHotKey(), 0);
    }
    fs::remove(loc.dataFilePath());
    EXPECT_EQ(openStore()->versionNo(), std::nullopt);
    EXPECT_TRUE(alerts.requests().empty());
}

TEST_F(DataStorePersistence, ANewerFileIsLoadedWithItsVersionForTheControllerToRefuse) {
    const std::string a = file("apps/a");
    writeDataFile({{launchRec(1), {a}}});
    Bytes bytes = readBytes(loc.dataFilePath());
    std::copy_n("0512Abcd", 8, bytes.begin());
    writeBytes(loc.dataFilePath(), bytes);

    auto store = openStore();
    EXPECT_EQ(store->versionNo(), "0512");
    EXPECT_EQ(store->signature(), "Abcd");
    EXPECT_EQ(store->countHotKeyItem(), 1);
}

TEST_F(DataStorePersistence, LoadingKeepsWhatItCanAndSkipsWhatItCannot) {
    fs::create_directories(loc.pasteboardDir());
    const std::string a = file("apps/a"), b = file("apps/b"), c = file("apps/c");
    const std::string gone = file("apps/gone");
    const std::string lostNote = file("data/Presto/PasteboardData/Lost");
    const std::string note = file("data/Presto/PasteboardData/Note");
    HotKeyRec unknown = keyRec(kCommandBit, 9, 'X');
    const HotKeyRec group = launchRec(2, 3);
    const HotKeyRec pair = launchRec(3, 3);
    HotKeyRec pbRec = keyRec(kControlBit, 6, kKindPasteboard);
    pbRec.itemCount = 1;
    HotKeyRec lostRec = pbRec;
    lostRec.keyCode = 7;
    const HotKeyRec allGone = launchRec(8);
    writeDataFile({
        {allGone, {gone}},
        {group, {a, gone, b}},
        {pair, {gone, c, gone}},
        {unknown, {}},
        {finderRec(4, 0), {}},  // no function number: ignored
        {finderRec(5, 4), {}},  // no function 4 in the catalogue
        {finderRec(6, 24), {}}, // "Get File List", position 7
        {lostRec, {lostNote}},
        {pbRec, {note}},
    });
    fs::remove(gone);
    fs::remove(lostNote);

    auto store = openStore();
    EXPECT_TRUE(alerts.requests().empty());
    // Files that are gone stay with their hot keys.
    ASSERT_EQ(store->countHotKeyItem(), 3);
    EXPECT_EQ(store->hotKeyItem(0)->itemPaths(), QStringList({q(gone)}));
    EXPECT_EQ(store->hotKeyItem(1)->itemPaths(), QStringList({q(a), q(gone), q(b)}));
    EXPECT_EQ(store->hotKeyItem(1)->kind(), kKindGroup);
    EXPECT_EQ(store->hotKeyItem(2)->itemPaths(), QStringList({q(gone), q(c), q(gone)}));
    EXPECT_EQ(store->hotKeyItem(2)->itemCount(), 3);

    EXPECT_EQ(store->countHotKey(), 6);
    EXPECT_EQ(store->hotKeyFinderFunction(7)->finderItemNo(), 24);
    EXPECT_EQ(store->hotKeyFinderFunction(7)->keyCode(), 6u);

    ASSERT_EQ(store->countHotKeyPbItem(), 2);
    EXPECT_EQ(store->hotKeyPbItem(0)->pbTitle(), "Lost");
    EXPECT_EQ(store->hotKeyPbItem(1)->pbDataPath(), q(note));
    EXPECT_EQ(store->hotKeyPbItem(1)->pbTitle(), "Note");
}

TEST_F(DataStorePersistence, ACutFileKeepsTheWholePiecesBeforeTheCut) {
    const std::string a = file("apps/a"), b = file("apps/b");
    writeDataFile({{finderRec(5, 1), {}}, {launchRec(2, 2), {a, b}}});
    Bytes bytes = readBytes(loc.dataFilePath());
    // The second reference loses its last byte.
    bytes.pop_back();
    writeBytes(loc.dataFilePath(), bytes);

    auto store = openStore();
    EXPECT_EQ(store->hotKeyFinderFunction(0)->finderItemNo(), 1);
    ASSERT_EQ(store->countHotKeyItem(), 1);
    EXPECT_EQ(store->hotKeyItem(0)->itemPaths(), QStringList({q(a)}));

    // And in the middle of a record.
    bytes.resize(8 + 24 + 10);
    writeBytes(loc.dataFilePath(), bytes);
    store = openStore();
    EXPECT_EQ(store->countHotKey(), 1);
    EXPECT_TRUE(alerts.requests().empty());
}

TEST_F(DataStorePersistence, ABrokenLaunchEntryStopsLoadingAndKeepsWhatCameBefore) {
    const std::string a = file("apps/a"), b = file("apps/b");
    HotKeyRec broken = launchRec(2);
    broken.eventType = 11;
    writeDataFile({{launchRec(1), {a}},
                   {finderRec(5, 3), {}},
                   {broken, {b}},
                   {launchRec(3), {b}},
                   {finderRec(6, 2), {}}});

    alerts.answer("OK");
    auto store = openStore();
    ASSERT_EQ(alerts.requests().size(), 1u);
    const AlertRequest& shown = alerts.requests()[0];
    EXPECT_EQ(shown.title, "The data file is broken");
    EXPECT_EQ(shown.message, "Newly, the data file is created");
    EXPECT_EQ(shown.buttons, QStringList({"OK"}));
    EXPECT_EQ(shown.style, AlertStyle::Informational);

    ASSERT_EQ(store->countHotKeyItem(), 1);
    EXPECT_EQ(store->hotKeyItem(0)->keyCode(), 1u);
    EXPECT_EQ(store->hotKeyFinderFunction(2)->finderItemNo(), 3);
    EXPECT_EQ(store->hotKeyFinderFunction(1)->finderItemNo(), std::nullopt);
    EXPECT_EQ(store->countHotKey(), 2);
    EXPECT_EQ(store->versionNo(), "0511");
}

} // namespace
} // namespace presto
