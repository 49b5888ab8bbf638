// PrestoAssist: the tray icon that switches the hot key service on and off and opens Presto.
// The daemon starts and ends it; it runs until it is ended or the user quits it.
#include "assist/AppDelegate.h"
#include "assist/FolderSearch.h"
#include "assist/SystemServices.h"
#include "common/CommandLine.h"
#include "common/Display.h"
#include "common/Installation.h"
#include "common/Locations.h"
#include "common/PathText.h"
#include "common/ProgramVersion.h"
#include "common/Version.h"
#include "platform/linux/FinderStateFile.h"
#include "platform/linux/GioLauncher.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

PRESTO_VERSION_MARK("PrestoAssist", PRESTO_BUNDLE_VERSION);

namespace {

constexpr presto::cli::Program kProgram{
    .name = "PrestoAssist",
    .operands = "",
    .description =
        "Presto's tray icon: switches the hot key service on and off and opens Presto. "
        "Presto.daemon starts it, and ends it again, as Presto's preference to show the icon "
        "says; it needs a desktop session with a system tray.",
    .toolkitOptions = true,
    .notes = "Qt's own options, such as -platform NAME or -style NAME, are passed on to Qt.\n"
             "\n"
             "Exit status:\n"
             "  0  ended by the user or by Presto.daemon\n"
             "  1  no display, or a private folder is not the user's own\n"
             "  2  a wrong command line",
};

} // namespace

int main(int argc, char** argv) {
    if (auto line = presto::cli::parse(argc, argv, kProgram); line.exitStatus)
        return *line.exitStatus;
    if (!presto::hasDisplay()) {
        std::fprintf(stderr, "PrestoAssist: no display found (DISPLAY and WAYLAND_DISPLAY are "
                             "unset); the tray icon needs a desktop session.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PrestoAssist"));
    QApplication::setApplicationVersion(QStringLiteral(PRESTO_BUNDLE_VERSION));
    // The menu is its only window; closing nothing must end it.
    QApplication::setQuitOnLastWindowClosed(false);

    using namespace presto;
    const Locations locations = Locations::fromEnvironment();
    if (!locations.securePrivateFolders(Locations::UsesPreferences | Locations::UsesSocket,
                                        "PrestoAssist"))
        return 1;
    AssistDefaults defaults(locations.preferenceFile(kPrestoAssistDomain));
    SocketNotifier daemon(locations.socketPath);
    FinderStateFile finder = FinderStateFile::fromEnvironment(locations);
    GioLauncher launcher(finder);
    LauncherOpener opener(launcher);
    FolderApplicationSearch search(
        SearchPlaces::fromEnvironment(path::withoutFinalSlashes(kInstallFolder),
                                      QCoreApplication::applicationDirPath().toStdString()));
    constexpr char kWaited[] = "PRESTO_ASSIST_TRAY_WAITED";
    SystemTrayProbe tray([argv, kWaited] {
        // The same process, the same program: the daemon still knows it.
        setenv(kWaited, "1", 1);
        std::cout.flush();
        execv("/proc/self/exe", argv);
    });

    AppDelegate delegate(defaults, daemon, opener, search, tray, PRESTO_BUNDLE_VERSION,
                         std::string(kInstallFolder) + kConfigProgram, std::cout);
    if (qEnvironmentVariableIsSet(kWaited)) {
        delegate.setNoTraySaid();
        unsetenv(kWaited);
    }
    delegate.awakeFromNib();
    return QApplication::exec();
}
