// Double clicks on the Launch Item tab with real pointer input: a private X server with openbox,
// and xdotool clicking as a user does.
#include "UiTestSupport.h"
#include "tests/capture/XHarness.h"

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace presto {
namespace {

using namespace std::chrono_literals;

std::string xdotool(const std::string& arguments) {
    std::string output;
    if (FILE* pipe = ::popen(("xdotool " + arguments + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

bool waitFor(const std::function<bool()>& condition) {
    return test::waitUntil(
        [&] {
            QApplication::processEvents();
            return condition();
        },
        20s);
}

// What the X server shows, whatever the application believes.
bool panelOnScreen() {
    return !xdotool("search --onlyvisible --name '^HotKey$'").empty();
}

void doubleClickRow(LIController& tab, int row) {
    QTableView* table = tab.table();
    const QPoint at =
        table->viewport()->mapToGlobal(table->visualRect(table->model()->index(row, 1)).center());
    xdotool("mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
            " click --repeat 2 --delay 120 1");
}

TEST(PointerOnLaunchItems, ADoubleClickOnARowOpensThePanelWhateverCameBefore) {
    if (!test::Xvfb::installed() || std::system("command -v openbox xdotool >/dev/null") != 0)
        GTEST_SKIP() << "needs Xvfb, openbox and xdotool (scripts/install-deps test)";
    test::TempWorld world;
    test::Xvfb server("1280x800x24");
    setenv("DISPLAY", server.display().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/presto-test-bus", 1);
    const std::string ready = world.path("openbox-ready");
    test::ChildProcess windowManager({"/usr/bin/env", "openbox", "--startup", "touch " + ready},
                                     {"DISPLAY=" + server.display()});
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(ready); }, 30s));
    qputenv("QT_QPA_PLATFORM", "xcb");
    int argc = 1;
    char name[] = "config_ui_pointer_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    const struct {
        const char* what;
        // Runs once a double click has opened the panel for row 0.
        std::function<void(HotKeyController&)> leave;
    } cases[] = {
        {"the panel was cancelled", [](HotKeyController& panel) { panel.cancelButton(); }},
        // Its minimize button or the desktop's "show desktop": the panel keeps its request.
        {"the desktop minimized the panel",
         [](HotKeyController& panel) {
             // Asked again until the window manager has taken the panel on.
             const std::string minimize =
                 "windowminimize " + std::to_string(panel.window()->winId());
             EXPECT_TRUE(waitFor([&] {
                 return xdotool(minimize), !panelOnScreen() && panel.window()->isMinimized();
             }));
         }},
    };
    for (const auto& before : cases) {
        SCOPED_TRACE(before.what);
        NotificationHub hub;
        test::ScriptedAlerts alerts;
        test::ScriptedChooser chooser;
        AppController controller(hub, alerts,
                                 std::make_unique<DataStore>(world.locations(), alerts));
        // The third is a group: its first click opens the drawer and the window grows.
        const QList<QStringList> hotKeys{{"one"}, {"two"}, {"three", "four"}};
        for (const QStringList& names : hotKeys) {
            QStringList paths;
            for (const QString& file : names)
                paths << QString::fromStdString(world.writeFile(file.toStdString(), "x"));
            auto item = std::make_unique<HotKeyItem>();
            item->setHotKeyRecItems(test::keyRec(kControlBit, test::kMacA), paths);
            controller.dataStore().addHotKeyItem(std::move(item));
        }
        MainWindow window(hub, alerts, chooser, controller);
        controller.awakeFromNib(window);
        window.show();
        ASSERT_TRUE(waitFor([&] { return window.isActiveWindow(); }));
        HotKeyController& panel = controller.hotKeyController();

        doubleClickRow(window.launchItemTab(), 0);
        ASSERT_TRUE(waitFor([&] { return panel.isOpen() && panelOnScreen(); }));
        before.leave(panel);

        doubleClickRow(window.launchItemTab(), 2);
        EXPECT_TRUE(waitFor([&] { return panel.selectedRow() == 2 && panelOnScreen(); }))
            << "the double click opened nothing";
        panel.cancelButton();
        EXPECT_TRUE(waitFor([] { return !panelOnScreen(); }));
    }
}

} // namespace
} // namespace presto
