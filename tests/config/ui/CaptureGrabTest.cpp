#include "config/ui/HeldKeyProbe.h"
#include "config/ui/HotKeyController.h"
#include "tests/capture/XHarness.h"
#include "tests/support/ScriptedAlerts.h"
#include "tests/support/TempWorld.h"

#include <QApplication>
#include <QLabel>
#include <gtest/gtest.h>
#include <memory>
#include <xcb/xcb.h>

// On a real X server: the capture panel against a key-capture agent's passive grab.
namespace presto {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kXkG = 0x67;
constexpr std::uint32_t kXkH = 0x68;
constexpr std::uint32_t kXkControlL = 0xffe3;
constexpr std::uint32_t kXkAltL = 0xffe9;
constexpr std::uint32_t kXkNumLock = 0xff7f;

// The server and the application are made once: Qt allows one application per process.
class CaptureGrab : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!test::Xvfb::installed())
            return;
        server_ = new test::Xvfb;
        setenv("DISPLAY", server_->display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        // No session bus: the test stays away from the user's, and Qt's accessibility bridge
        // does not connect (libdbus keeps memory of that connection to the end).
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/presto-test-bus", 1);
        qputenv("QT_QPA_PLATFORM", "xcb");
        static int argc = 1;
        static char name[] = "config_ui_x_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!server_)
            GTEST_SKIP() << "Xvfb is not installed";
    }

    // Waits with the application's events handled meanwhile.
    static bool waitFor(const std::function<bool()>& condition) {
        return test::waitUntil(
            [&] {
                QApplication::processEvents();
                return condition();
            },
            10s);
    }

    // True while some client holds the keyboard actively: a grab of our own is refused.
    static bool keyboardHeldElsewhere(const std::string& display) {
        xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        auto* reply =
            xcb_grab_keyboard_reply(c,
                                    xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr);
        const bool held = !reply || reply->status != XCB_GRAB_STATUS_SUCCESS;
        std::free(reply);
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_disconnect(c);
        return held;
    }

    static test::Xvfb* server_;
    static QApplication* app_;
};

test::Xvfb* CaptureGrab::server_ = nullptr;
QApplication* CaptureGrab::app_ = nullptr;

TEST_F(CaptureGrab, TheOpenPanelTakesALiveHotKeyAndLetsTheKeyboardGoWhenClosed) {
    const std::string display = server_->display();
    test::XClient agent(display);
    const std::uint8_t g = agent.keycodeFor(kXkG);
    const std::uint8_t control = agent.keycodeFor(kXkControlL);
    ASSERT_NE(g, 0);
    ASSERT_NE(control, 0);
    // Ctrl+G is a live hot key: the agent grabs it passively, as PrestoKeys does.
    ASSERT_TRUE(agent.grab(g, test::XClient::kControlMask));

    test::TempWorld world;
    NotificationHub hub;
    test::ScriptedAlerts alerts;
    HotKeyController panel(hub, alerts);
    emit hub.ShowHKFromLI('I', -1, nullptr,
                          QStringList{QString::fromStdString(world.writeFile("a.txt", "a"))});
    ASSERT_TRUE(panel.isOpen());
    EXPECT_TRUE(waitFor([&] { return keyboardHeldElsewhere(display); }))
        << "the panel never took the keyboard";

    agent.tap(g, {control});
    ASSERT_TRUE(waitFor([&] { return !panel.displayText(HotKeyController::Key).isEmpty(); }))
        << "the press went to the agent's grab";
    EXPECT_EQ(panel.displayText(HotKeyController::Key), QStringLiteral("G"));
    EXPECT_FALSE(panel.displayText(HotKeyController::Control).isEmpty());
    EXPECT_EQ(panel.hotKeyRec().keyCode, 0x05u);

    panel.cancelButton();
    EXPECT_FALSE(panel.isOpen());
    EXPECT_TRUE(waitFor([&] { return !keyboardHeldElsewhere(display); }))
        << "the keyboard stayed grabbed after the panel closed";
    // The agent's grab is untouched: nobody else may take Ctrl+G.
    test::XClient other(display);
    EXPECT_FALSE(other.canGrab(g, test::XClient::kControlMask));
}

TEST_F(CaptureGrab, OkWarnsOfACombinationAnotherClientGrabsAndTheTestGrabLetsGo) {
    const std::string display = server_->display();
    test::XClient desktop(display);
    const std::uint8_t g = desktop.keycodeFor(kXkG);
    const std::uint8_t h = desktop.keycodeFor(kXkH);
    const std::uint8_t control = desktop.keycodeFor(kXkControlL);
    const std::uint8_t alt = desktop.keycodeFor(kXkAltL);
    const std::uint16_t controlAlt = test::XClient::kControlMask | desktop.modifierMaskOf(alt);
    const std::uint16_t numLock = desktop.modifierMaskOf(desktop.keycodeFor(kXkNumLock));
    ASSERT_NE(alt, 0);
    // The desktop's own shortcut, Ctrl+Alt+G, held only while Num Lock is on.
    ASSERT_TRUE(desktop.grab(g, controlAlt | numLock));

    std::unique_ptr<HeldKeyProbe> probe = makeXGrabProbe();
    ASSERT_TRUE(probe);
    test::TempWorld world;
    NotificationHub hub;
    test::ScriptedAlerts alerts;
    HotKeyController panel(hub, alerts);
    panel.setHeldKeyProbe(probe.get());
    emit hub.ShowHKFromLI('I', -1, nullptr,
                          QStringList{QString::fromStdString(world.writeFile("a.txt", "a"))});
    ASSERT_TRUE(waitFor([&] { return keyboardHeldElsewhere(display); }));
    desktop.tap(g, {control, alt});
    ASSERT_TRUE(waitFor([&] { return !panel.displayText(HotKeyController::Key).isEmpty(); }));

    alerts.answer("Choose Another");
    panel.okButton();
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].title, QStringLiteral("Ctrl+Alt+G is taken by another program"));
    EXPECT_TRUE(panel.isOpen());
    panel.cancelButton();

    // A free combination is free again after the test: another client may still take it.
    EXPECT_FALSE(probe->isHeld(HotKeyRec{kKeyDownEventType, kControlBit | kOptionBit, 0x04}));
    test::XClient other(display);
    EXPECT_TRUE(other.canGrab(h, controlAlt));
    EXPECT_TRUE(other.canGrab(h, controlAlt | numLock));
}

} // namespace
} // namespace presto
