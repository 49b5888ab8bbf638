// The configuration application and the built Presto.daemon together: a snapshot saved on the
// Pasteboard Item tab is what the daemon puts on the clipboard, and the preferences panel's close
// is what makes the daemon take the new values.
#include "UiTestSupport.h"
#include "config/ui/DaemonStatus.h"
#include "config/ui/PBTitleController.h"
#include "config/ui/PbFController.h"
#include "config/ui/PreferenceController.h"
#include "tests/daemon/DaemonProcess.h"
#include "tests/daemon/DaemonTestUtil.h"
#include "tests/support/ScopedEnv.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QSlider>
#include <QTabWidget>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

namespace presto {
namespace {

namespace fs = std::filesystem;

using test::ScopedEnv;

// The whole application in a temporary world, beside a daemon started by each test.
class WithDaemon : public ::testing::Test {
protected:
    WithDaemon() {
        test::application();
        // The account has saved before: the data folder needs no question.
        fs::create_directories(world.locations().dataFolder());
    }
    ~WithDaemon() override {
        window_.reset();
        controller_.reset();
    }

    void startApplication(AppController::PreferenceFactory preferences = {}) {
        controller_ = std::make_unique<AppController>(
            hub, alerts, std::make_unique<DataStore>(world.locations(), alerts));
        if (preferences)
            controller_->setPreferenceFactory(std::move(preferences));
        window_ = std::make_unique<MainWindow>(hub, alerts, chooser, *controller_);
        controller_->awakeFromNib(*window_);
    }

    // Answers once the daemon's socket takes requests; GETVERS leaves the assistant alone.
    std::unique_ptr<test::DaemonProcess> startDaemon() {
        auto daemon = std::make_unique<test::DaemonProcess>();
        EXPECT_TRUE(test::eventually([&] { return getVers().size() == 16u; }))
            << "the daemon did not come up";
        return daemon;
    }

    test::Bytes ask(const char* message) {
        return test::request(world.locations().socketPath, test::bytesOf(message))
            .value_or(test::Bytes{});
    }
    test::Bytes getVers() { return ask("GETVERS"); }

    void pressKey(quint32 evdevCode, Qt::KeyboardModifiers modifiers, int qtKey) {
        QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, evdevCode + 8, 0, 0, {});
        QApplication::sendEvent(controller_->hotKeyController().window(), &event);
    }

    test::TempWorld world;
    NotificationHub hub;
    test::ScriptedAlerts alerts;
    test::ScriptedChooser chooser;
    std::unique_ptr<AppController> controller_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(WithDaemon, ASnapshotSavedInTheApplicationIsPutBackByTheDaemon) {
    // The daemon's clipboard is a fake xclip that keeps what it is given.
    const std::string given = world.path("clipboard/given");
    const std::string type = world.path("clipboard/type");
    test::writeExecutable(world.path("tools") + "/xclip",
                          "#!/bin/sh\nfor arg; do [ \"$prev\" = -t ] && printf '%s' \"$arg\" > '" +
                              type + "'; prev=$arg; done\ncat > '" + given + "'\n");
    ScopedEnv path("PATH", world.path("tools") + ":" + std::getenv("PATH"));
    ScopedEnv display("DISPLAY", ":97");
    ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    test::editPreferences(world.locations(), kPrestoDomain,
                          [](PreferenceDomain& d) { d.setBool(kFlagShowIcon, false); });
    auto daemon = startDaemon();
    startApplication();
    PbFController& tab = window_->pasteboardItemTab();
    window_->tabView()->setCurrentIndex(2);

    const auto save = [&](const QString& title, quint32 evdevKey, int qtKey) {
        controller_->addPbTitleMenu()->trigger();
        tab.titleController().setPbTitle(title);
        tab.titleController().okButton();
        pressKey(evdevKey, Qt::ControlModifier | Qt::AltModifier, qtKey);
        controller_->hotKeyController().okButton();
        const DataStore& store = controller_->dataStore();
        return store.hotKeyPbItem(store.countHotKeyPbItem() - 1)->hotKeyRec();
    };
    const auto press = [&](const HotKeyRec& key) {
        fs::remove(given);
        return test::request(world.locations().socketPath, test::pressOf(key));
    };

    QGuiApplication::clipboard()->setText(QStringLiteral("Grüße aus Presto"));
    alerts.answer("OK Make directory");
    alerts.answer("OK");
    const HotKeyRec textKey = save(QStringLiteral("Greeting"), test::kEvdevG, Qt::Key_G);
    ASSERT_TRUE(alerts.allAnswered());
    EXPECT_EQ(press(textKey), test::Bytes{});
    ASSERT_TRUE(test::eventually([&] { return test::readText(given) == "Grüße aus Presto"; }))
        << daemon->output();
    EXPECT_EQ(test::readText(type), "text/plain;charset=utf-8");

    QImage picture(9, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QGuiApplication::clipboard()->setImage(picture);
    const HotKeyRec pictureKey = save(QStringLiteral("Blue"), test::kEvdevA, Qt::Key_A);
    EXPECT_EQ(press(pictureKey), test::Bytes{});
    ASSERT_TRUE(test::eventually([&] {
        return QImage::fromData(QByteArray::fromStdString(test::readText(given)), "TIFF").size() ==
               QSize(9, 4);
    })) << daemon->output();
    EXPECT_EQ(test::readText(type), "image/tiff");

    // Deleted in the application, the snapshot is unknown to the daemon.
    tab.table()->selectRow(1);
    tab.delPbTitle();
    EXPECT_EQ(press(pictureKey), (test::Bytes{'N', 'G', 0}));
}

TEST_F(WithDaemon, ClosingThePreferencesMakesTheDaemonTakeTheNewValues) {
    // A daemon of its own folder, so the assistant beside it is a script that says it started.
    const std::string bin = world.path("daemon-bin");
    fs::create_directories(bin);
    fs::copy_file(std::string(std::getenv("PRESTO_BIN_DIR")) + "/Presto.daemon",
                  bin + "/Presto.daemon");
    const std::string started = world.path("assistant-started");
    test::writeExecutable(bin + "/PrestoAssist", "#!/bin/sh\necho started >> '" + started + "'\n");
    test::editPreferences(world.locations(), kPrestoDomain,
                          [](PreferenceDomain& d) { d.setBool(kFlagShowIcon, false); });
    std::unique_ptr<test::DaemonProcess> daemon;
    {
        ScopedEnv binDir("PRESTO_BIN_DIR", bin);
        daemon = startDaemon();
    }
    const test::Bytes before = getVers();
    ASSERT_EQ(before.size(), 16u);
    EXPECT_EQ(before[0], 5);
    ask("GETPREF");

    startApplication([&] {
        return std::make_unique<PreferenceController>(
            alerts, world.locations().preferenceFile(kPrestoDomain), world.locations().socketPath,
            QString::fromStdString(bin + "/PrestoAssist"));
    });
    controller_->preferencesMenu()->trigger();
    PreferenceController& panel = *controller_->preferenceController();
    ASSERT_TRUE(panel.isVisible());
    panel.intervalKEXTSlider()->setValue(7);
    panel.showIconBox()->click();
    EXPECT_EQ(getVers(), before);

    // The time stamp counts whole seconds: the change must fall in a later one to show.
    const std::string stamp(reinterpret_cast<const char*>(before.data()) + 4);
    ASSERT_TRUE(test::eventually([&] { return std::to_string(std::time(nullptr)) != stamp; }));
    panel.close();
    const test::Bytes after = getVers();
    ASSERT_EQ(after.size(), 16u);
    EXPECT_EQ(after[0], 7);
    EXPECT_NE(std::string(reinterpret_cast<const char*>(after.data()) + 4), stamp);

    ask("GETPREF");
    EXPECT_TRUE(test::eventually([&] { return test::readText(started) == "started\n"; }))
        << daemon->output();
    EXPECT_TRUE(alerts.requests().empty());
}

TEST_F(WithDaemon, TheStatusLineAsksTheDaemonAndTakesItsWholeAnswer) {
    auto daemon = startDaemon();
    const QString socket = QString::fromStdString(world.locations().socketPath);
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(DaemonStatus::daemonAnswers(socket)) << "probe " << i;
    daemon->stop();
    EXPECT_FALSE(DaemonStatus::daemonAnswers(socket));
    // A client that hangs up before the reply leaves "sndMsg=GETVERS iolen=-1" in the log.
    EXPECT_EQ(daemon->output().find("iolen=-1"), std::string::npos) << daemon->output();
}

} // namespace
} // namespace presto
