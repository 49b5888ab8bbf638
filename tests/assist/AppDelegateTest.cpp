// The assistant's behaviour through its public methods and its menu, with doubles of the tray,
// the opener and the search, temporary preference folders and a fake daemon socket.
#include "assist/AppDelegate.h"

#include "assist/FolderSearch.h"
#include "assist/SystemServices.h"
#include "tests/assist/AssistTestSupport.h"
#include "tests/support/TempWorld.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace presto {
namespace {

using test::FakeDaemon;

// The socket client, noting what the domain said at the moment of each send.
class SnapshotNotifier final : public DaemonNotifier {
public:
    SnapshotNotifier(const std::string& socketPath, std::string domainFile)
        : socket_(socketPath), domainFile_(std::move(domainFile)) {}
    long sendMessage(const void* bytes, long size) override {
        statusAtSend.push_back(PreferenceDomain(domainFile_).getBool(kFlagServiceStatus));
        return socket_.sendMessage(bytes, size);
    }
    bool daemonAnswers() override { return daemonRuns; }
    std::vector<std::optional<bool>> statusAtSend;
    bool daemonRuns = true;

private:
    SocketNotifier socket_;
    std::string domainFile_;
};

// Hands each search to the test, which answers it when it likes.
class ScriptedSearch final : public ApplicationSearch {
public:
    void start(const std::string& version, Done done) override {
        versions.push_back(version);
        pending = std::move(done);
    }
    void finish(const std::vector<std::string>& paths) {
        Done done = std::move(pending);
        pending = nullptr;
        done(paths);
    }
    std::vector<std::string> versions;
    Done pending;
};

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() { test::application(); }

    std::string domainFile() const { return loc.preferenceFile(kPrestoAssistDomain); }

    // The assistant as it starts, with the given search (the scripted one by default).
    AppDelegate& assistant(ApplicationSearch* search = nullptr) {
        delegate_.reset();
        defaults_ = std::make_unique<AssistDefaults>(domainFile());
        delegate_ =
            std::make_unique<AppDelegate>(*defaults_, notifier, opener, search ? *search : scripted,
                                          tray, "5.1.1", installedApp, out);
        return *delegate_;
    }

    void writeDomain(const std::function<void(PreferenceDomain&)>& edit) {
        PreferenceDomain domain(domainFile());
        edit(domain);
        domain.synchronize();
    }
    PreferenceDomain readDomain() const { return PreferenceDomain(domainFile()); }

    test::TempWorld world;
    const Locations& loc = world.locations();
    std::string marker = world.path("opened");
    std::string installedApp = world.path("opt/Presto/Presto");
    SnapshotNotifier notifier{loc.socketPath, domainFile()};
    test::RecordingOpener opener;
    test::FakeTray tray;
    ScriptedSearch scripted;
    std::ostringstream out;

private:
    std::unique_ptr<AssistDefaults> defaults_;
    std::unique_ptr<AppDelegate> delegate_;
};

TEST_F(AppDelegateTest, FirstStartStoresTheDefaultsAndShowsTheServiceOnWithOnlyStopEnabled) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    AppDelegate& app = assistant();
    app.awakeFromNib();

    PreferenceDomain stored = readDomain();
    EXPECT_EQ(stored.getBool(kFlagServiceStatus), true);
    EXPECT_EQ(stored.getString(kPrstAppPath), installedApp);
    EXPECT_EQ(app.statusImage(), StatusImage::Serviced);
    EXPECT_TRUE(app.stopMenu()->isEnabled());
    EXPECT_FALSE(app.startMenu()->isEnabled());
    ASSERT_NE(app.statusItem(), nullptr);
    EXPECT_EQ(app.statusItem()->toolTip(), AppDelegate::toolTip(StatusImage::Serviced));
    EXPECT_EQ(app.statusItem()->contextMenu(), app.menu());
    EXPECT_TRUE(out.str().empty());
}

TEST_F(AppDelegateTest, StartUpShowsTheStoredStateOrThatTheApplicationIsMissing) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    writeDomain([&](PreferenceDomain& d) {
        d.setBool(kFlagServiceStatus, false);
        d.setString(kPrstAppPath, installedApp);
    });
    {
        AppDelegate& app = assistant();
        app.awakeFromNib();
        EXPECT_EQ(app.statusImage(), StatusImage::NotServiced);
        EXPECT_TRUE(app.startMenu()->isEnabled());
        EXPECT_FALSE(app.stopMenu()->isEnabled());
    }
    // Not there: the question mark, but the menu still offers the switch that does something.
    writeDomain([&](PreferenceDomain& d) { d.setString(kPrstAppPath, world.path("gone/Presto")); });
    AppDelegate& app = assistant();
    app.awakeFromNib();
    EXPECT_EQ(app.statusImage(), StatusImage::NotFound);
    EXPECT_EQ(app.statusItem()->toolTip(), AppDelegate::toolTip(StatusImage::NotFound));
    EXPECT_TRUE(app.startMenu()->isEnabled());
    EXPECT_FALSE(app.stopMenu()->isEnabled());
    // A domain that exists is never reset to the first-start values.
    EXPECT_EQ(readDomain().getBool(kFlagServiceStatus), false);
}

TEST_F(AppDelegateTest, ServiceSwitchesStoreTheSettingBeforeTellingTheDaemonAndOnlyWhenItChanges) {
    FakeDaemon daemon(loc.socketPath, domainFile());
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    AppDelegate& app = assistant();
    app.awakeFromNib();

    app.serviceStart(); // already on
    EXPECT_EQ(app.statusImage(), StatusImage::Serviced);
    app.stopMenu()->trigger();
    EXPECT_EQ(readDomain().getBool(kFlagServiceStatus), false);
    EXPECT_EQ(app.statusImage(), StatusImage::StopRequested);
    EXPECT_EQ(app.statusItem()->toolTip(), AppDelegate::toolTip(StatusImage::StopRequested));
    ASSERT_TRUE(daemon.waitForMessages(1));

    // The items stay as they were until the daemon restarts the assistant.
    EXPECT_FALSE(app.startMenu()->isEnabled());
    app.serviceStop(); // already off
    app.serviceStart();
    EXPECT_EQ(readDomain().getBool(kFlagServiceStatus), true);
    EXPECT_EQ(app.statusImage(), StatusImage::StartRequested);
    ASSERT_TRUE(daemon.waitForMessages(2));

    // The first message is the stop's: the start while on sent nothing.
    const auto messages = daemon.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].bytes, "UPDTPREF");
    EXPECT_EQ(messages[0].serviceStatus, false);
    EXPECT_EQ(messages[1].bytes, "UPDTPREF");
    EXPECT_EQ(messages[1].serviceStatus, true);
    EXPECT_EQ(notifier.statusAtSend, (std::vector<std::optional<bool>>{false, true}));
}

TEST_F(AppDelegateTest, StopWithNoDaemonListeningIsStoredAllTheSame) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    AppDelegate& app = assistant();
    app.awakeFromNib();
    const int descriptors = test::openDescriptorCount();
    app.serviceStop();
    EXPECT_EQ(readDomain().getBool(kFlagServiceStatus), false);
    EXPECT_EQ(app.statusImage(), StatusImage::StopRequested);
    EXPECT_EQ(test::openDescriptorCount(), descriptors);
}

TEST_F(AppDelegateTest, ServiceWithoutAStoredStatusCountsAsOnAsTheDaemonTakesIt) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    writeDomain([&](PreferenceDomain& d) { d.setString(kPrstAppPath, installedApp); });
    AppDelegate& app = assistant();
    app.awakeFromNib();
    EXPECT_TRUE(app.isServiced());
    EXPECT_EQ(app.statusImage(), StatusImage::Serviced);
    writeDomain([&](PreferenceDomain& d) { d.setString(kFlagServiceStatus, "NO"); });
    EXPECT_EQ(assistant().isServiced(), true) << "a value of the wrong type counts as missing";
}

TEST_F(AppDelegateTest, OpenItemsStartTheApplicationWhereTheDomainSays) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    AppDelegate& app = assistant();
    app.awakeFromNib();
    app.openMenu()->trigger();
    app.preferencesMenu()->trigger();
    EXPECT_EQ(opener.opened, std::vector<std::string>{installedApp});
    EXPECT_EQ(opener.preferences, std::vector<std::string>{installedApp});
    EXPECT_TRUE(scripted.versions.empty());

    // A missing path is put back to where the application is installed.
    writeDomain([](PreferenceDomain& d) { d.remove(kPrstAppPath); });
    AppDelegate& again = assistant();
    again.launchPrst();
    EXPECT_EQ(readDomain().getString(kPrstAppPath), installedApp);
    EXPECT_EQ(opener.opened.size(), 2u);
}

TEST_F(AppDelegateTest, MovedApplicationIsSearchedForStoredAndOpened) {
    // Only copies of another version, an old one and a new one are anywhere.
    SearchPlaces places;
    places.folders = {world.path("opt/Presto"), world.path("bin"), world.path("home/bin")};
    test::fakeConfigurationApp(world.path("opt/Presto/Presto"), "5.0.9", marker);
    test::fakeConfigurationApp(world.path("home/bin/Presto"), "5.1.1", marker);
    const std::string older = world.path("home/bin/Presto");
    // Made in a later tick of the file system's clock than the first copy.
    std::string newer;
    ASSERT_TRUE(test::processEventsUntil([&] {
        std::filesystem::remove(world.path("bin/Presto"));
        newer = test::fakeConfigurationApp(world.path("bin/Presto"), "5.1.1", marker);
        auto found = findConfigurationApplications(places, "5.1.1");
        return found.size() == 2 && found.back() == newer;
    }));
    FolderApplicationSearch search(places);
    writeDomain([&](PreferenceDomain& d) {
        d.setBool(kFlagServiceStatus, true);
        d.setString(kPrstAppPath, world.path("moved-away/Presto"));
    });
    AppDelegate& app = assistant(&search);
    app.awakeFromNib();
    EXPECT_EQ(app.statusImage(), StatusImage::NotFound);

    app.openMenu()->trigger();
    EXPECT_EQ(app.statusImage(), StatusImage::Searching);
    EXPECT_EQ(app.statusItem()->toolTip(), AppDelegate::toolTip(StatusImage::Searching));
    EXPECT_TRUE(opener.opened.empty());
    ASSERT_TRUE(test::processEventsUntil([&] { return !opener.opened.empty(); }));
    EXPECT_EQ(opener.opened, std::vector<std::string>{newer});
    EXPECT_EQ(readDomain().getString(kPrstAppPath), newer);
    EXPECT_EQ(app.statusImage(), StatusImage::Serviced);
    EXPECT_TRUE(app.stopMenu()->isEnabled());
    // Found, not run: only the opener (a recorder here) would start it.
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(AppDelegateTest, NoCopyOfTheSameVersionShowsNotFoundAndKeepsThePath) {
    SearchPlaces places;
    places.folders = {world.path("opt/Presto")};
    test::fakeConfigurationApp(world.path("opt/Presto/Presto"), "5.2", marker);
    FolderApplicationSearch search(places);
    const std::string gone = world.path("gone/Presto");
    writeDomain([&](PreferenceDomain& d) { d.setString(kPrstAppPath, gone); });
    AppDelegate& app = assistant(&search);
    app.awakeFromNib();
    app.launchPrst();
    EXPECT_EQ(app.statusImage(), StatusImage::Searching);
    ASSERT_TRUE(
        test::processEventsUntil([&] { return app.statusImage() != StatusImage::Searching; }));
    EXPECT_EQ(app.statusImage(), StatusImage::NotFound);
    EXPECT_EQ(readDomain().getString(kPrstAppPath), gone);
    EXPECT_TRUE(opener.opened.empty());
}

TEST_F(AppDelegateTest, SearchAsksForItsOwnVersionAndAFoundPathThatVanishedIsStoredNotOpened) {
    writeDomain([&](PreferenceDomain& d) { d.setString(kPrstAppPath, world.path("gone")); });
    AppDelegate& app = assistant();
    app.awakeFromNib();
    app.launchPreferences();
    ASSERT_EQ(scripted.versions, std::vector<std::string>{"5.1.1"});
    scripted.finish({world.path("a/Presto"), world.path("b/Presto")});
    EXPECT_EQ(readDomain().getString(kPrstAppPath), world.path("b/Presto"));
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_EQ(app.statusImage(), StatusImage::Serviced);
}

TEST_F(AppDelegateTest, WithoutATrayItSaysSoOnceAndShowsTheIconWhenOneAppears) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    tray.available = false;
    AppDelegate& app = assistant();
    app.awakeFromNib();
    EXPECT_EQ(app.statusItem(), nullptr);
    const std::string said = out.str();
    EXPECT_NE(said.find("no system tray"), std::string::npos) << said;
    tray.change(false);
    app.serviceStop();
    EXPECT_EQ(out.str(), said);
    EXPECT_EQ(app.statusItem(), nullptr);

    tray.change(true);
    ASSERT_NE(app.statusItem(), nullptr);
    EXPECT_EQ(app.statusItem()->toolTip(), AppDelegate::toolTip(StatusImage::StopRequested));
    EXPECT_FALSE(app.statusItem()->icon().isNull());
    EXPECT_EQ(app.statusItem()->contextMenu(), app.menu());
    QSystemTrayIcon* shown = app.statusItem();
    tray.change(true);
    EXPECT_EQ(app.statusItem(), shown);
    EXPECT_EQ(out.str(), said);
}

TEST_F(AppDelegateTest, LeftClickOpensTheMenuOrTheApplicationAsTheDesktopDoes) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    AppDelegate& app = assistant();
    app.awakeFromNib();
    emit app.statusItem()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(app.menu()->isVisible());
    EXPECT_TRUE(opener.opened.empty());
    app.menu()->hide();

    tray.leftClickOpens = true;
    emit app.statusItem()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(app.menu()->isVisible());
    EXPECT_EQ(opener.opened, std::vector<std::string>{installedApp});
}

TEST_F(AppDelegateTest, TheDaemonsAbsenceShowsOverEveryStateUntilItAnswersAgain) {
    test::fakeConfigurationApp(installedApp, "5.1.1", marker);
    AppDelegate& app = assistant();
    app.awakeFromNib();
    ASSERT_EQ(app.statusImage(), StatusImage::Serviced);

    // Noticed without the user doing anything.
    notifier.daemonRuns = false;
    ASSERT_TRUE(test::processEventsUntil([&] {
        return app.statusImage() == StatusImage::DaemonDown;
    })) << "the tray still says hot keys are on";
    EXPECT_EQ(app.statusItem()->toolTip(),
              QStringLiteral("Presto.daemon is not running: hot keys do nothing until it runs."));
    // A switch chosen meanwhile is stored and shown once the daemon is back.
    app.serviceStop();
    EXPECT_EQ(readDomain().getBool(kFlagServiceStatus), false);
    EXPECT_EQ(app.statusImage(), StatusImage::DaemonDown);

    notifier.daemonRuns = true;
    ASSERT_TRUE(
        test::processEventsUntil([&] { return app.statusImage() == StatusImage::StopRequested; }));
    EXPECT_EQ(app.statusItem()->toolTip(), AppDelegate::toolTip(StatusImage::StopRequested));

    // The real client against a socket nobody serves.
    EXPECT_FALSE(SocketNotifier(loc.socketPath).daemonAnswers());
}

TEST(AssistIconsTest, EveryStateHasItsOwnIconAndWordsAtPanelSizes) {
    test::application();
    const StatusImage all[] = {StatusImage::Serviced,       StatusImage::NotServiced,
                               StatusImage::StartRequested, StatusImage::StopRequested,
                               StatusImage::Searching,      StatusImage::NotFound,
                               StatusImage::DaemonDown};
    std::vector<QImage> pictures;
    QStringList words;
    for (StatusImage image : all) {
        const QIcon icon = AppDelegate::icon(image);
        ASSERT_FALSE(icon.isNull());
        for (int size : {16, 48}) {
            const QImage picture = icon.pixmap(size, size).toImage();
            EXPECT_EQ(picture.width(), size);
            // Something is drawn in the middle, and the corners stay clear.
            EXPECT_GT(qAlpha(picture.pixel(size / 2, size / 2)), 0);
            EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
        }
        pictures.push_back(icon.pixmap(48, 48).toImage());
        words << AppDelegate::toolTip(image);
        EXPECT_FALSE(words.back().isEmpty());
    }
    for (std::size_t i = 0; i < pictures.size(); ++i)
        for (std::size_t j = i + 1; j < pictures.size(); ++j) {
            EXPECT_NE(pictures[i], pictures[j]) << i << " " << j;
            EXPECT_NE(words[int(i)], words[int(j)]);
        }
}

} // namespace
} // namespace presto
