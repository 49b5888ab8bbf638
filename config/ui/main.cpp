#include "common/CommandLine.h"
#include "common/Display.h"
#include "common/Locations.h"
#include "common/PreferenceDomain.h"
#include "common/ProgramVersion.h"
#include "common/Version.h"
#include "config/installer/LinuxInstallerServices.h"
#include "config/installer/ModuleInstaller.h"
#include "config/model/DataStore.h"
#include "config/ui/AppController.h"
#include "config/ui/DaemonStatus.h"
#include "config/ui/HeldKeyProbe.h"
#include "config/ui/HotKeyController.h"
#include "config/ui/KeySourceNotice.h"
#include "config/ui/KeysStatus.h"
#include "config/ui/MainWindow.h"
#include "config/ui/NotificationHub.h"
#include "config/ui/PreferenceController.h"
#include "config/ui/QtDialogs.h"
#include "config/ui/SingleInstance.h"
#include "platform/linux/ProcProcessTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

// The tray assistant finds a copy of this program of its own version by this mark.
PRESTO_VERSION_MARK("Presto", PRESTO_BUNDLE_VERSION);

namespace {

constexpr presto::cli::Option kOptions[] = {
    {"preferences", nullptr, "open the preferences panel too (the tray icon's Preferences)"},
};

constexpr presto::cli::Program kProgram{
    .name = "Presto",
    .operands = "",
    .description =
        "Presto's configuration application: binds key combinations to files, folders and "
        "applications, to file-manager functions and to clipboard snapshots, sets the "
        "preferences, and installs or removes the hot key service. It needs a desktop session; "
        "a second start brings the running one's window to the front.",
    .options = kOptions,
    .toolkitOptions = true,
    .notes = "Qt's own options, such as -platform NAME or -style NAME, are passed on to Qt.\n"
             "\n"
             "Exit status:\n"
             "  0  the window was closed, or another copy runs\n"
             "  1  no display, or a private folder is not the user's own\n"
             "  2  a wrong command line",
};

// Milliseconds since the kernel started this process, so the start-up figure includes loading
// the libraries; -1 when /proc cannot tell.
double msSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces, start after its closing parenthesis;
    // the start time is field 22 of the whole line.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const double startTicks = fields.at(19).toDouble();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Reports once how long the main window took to be painted for the first time.
class StartupTiming : public QObject {
public:
    explicit StartupTiming(QElapsedTimer sinceMain) : sinceMain_(sinceMain) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            std::fprintf(stderr,
                         "Presto: window shown %.0f ms after process start (%lld ms after main)\n",
                         msSinceProcessStart(), static_cast<long long>(sinceMain_.elapsed()));
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    QElapsedTimer sinceMain_;
};

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    const presto::cli::CommandLine line = presto::cli::parse(argc, argv, kProgram);
    if (line.exitStatus)
        return *line.exitStatus;
    if (!presto::hasDisplay()) {
        std::fprintf(stderr, "Presto: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
                             "the configuration application needs a desktop session.\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Presto"));
    QApplication::setApplicationVersion(QStringLiteral(PRESTO_BUNDLE_VERSION));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("input-keyboard")));

    presto::NotificationHub hub;
    presto::QtAlertPresenter alerts;
    presto::QtFileChooser chooser;
    const presto::Locations locations = presto::Locations::fromEnvironment();
    if (!locations.securePrivateFolders(
            presto::Locations::UsesData | presto::Locations::UsesPreferences |
                presto::Locations::UsesRuntime | presto::Locations::UsesSocket,
            "Presto"))
        return 1;
    // Before the data is read: a second copy must never save its list over the first one's.
    presto::SingleInstance instance(presto::SingleInstance::socketPathFor(locations));
    if (instance.start() == presto::SingleInstance::Start::AnotherRuns) {
        std::fprintf(stderr, "Presto: already running; brought its window to the front\n");
        return 0;
    }

    presto::PreferenceDomain userDefaults(locations.preferenceFile(presto::kPrestoDomain));
    presto::AppController controller(hub, alerts,
                                     std::make_unique<presto::DataStore>(locations, alerts));
    if (!controller.versionAccepted())
        return 0;
    // The assistant is installed beside this program, as the daemon is.
    const QString assistant =
        QCoreApplication::applicationDirPath() + QStringLiteral("/PrestoAssist");
    controller.setPreferenceFactory([&] {
        return std::make_unique<presto::PreferenceController>(
            alerts, locations.preferenceFile(presto::kPrestoDomain), locations.socketPath,
            assistant);
    });

    // The other programs lie beside this one, in a build's bin/ as in /opt/Presto.
    presto::ProcessCommandRunner userCommands;
    presto::PkexecRunner administrator;
    presto::ProcProcessTable processes;
    presto::SleepPause pause;
    presto::LinuxSystemRequirement requirement;
    presto::DpkgOwnership packages;
    presto::InstallerPaths installPaths;
    installPaths.bundle = QCoreApplication::applicationDirPath();
    presto::ModuleInstaller installer(
        {userCommands, administrator, alerts, processes, pause, requirement, packages},
        installPaths);
    controller.setModuleInstaller(&installer, &userDefaults);

    presto::MainWindow window(hub, alerts, chooser, controller);
    instance.setRaiseHandler([&window] {
        // An alert of the start-up checks may stand in front of the window.
        QWidget* front = presto::frontWindow();
        QWidget* shown = front ? front : &window;
        if (window.isMinimized())
            window.showNormal();
        shown->show();
        shown->raise();
        shown->activateWindow();
    });
    const QString socketPath = QString::fromStdString(locations.socketPath);
    window.daemonStatus().watch(
        [socketPath] { return presto::DaemonStatus::daemonAnswers(socketPath); },
        [] { return presto::DaemonStatus::startDaemon(QCoreApplication::applicationDirPath()); });
    const QString keysStatusPath = QString::fromStdString(locations.runtimeDir + "/keys-status");
    presto::KeysStatus keysStatus(keysStatusPath);
    window.setKeysStatus(&keysStatus);
    // On Wayland an X11 grab would see only XWayland's clients, never the desktop's shortcuts.
    std::unique_ptr<presto::HeldKeyProbe> heldKeys =
        presto::isWaylandSession() ? nullptr : presto::makeXGrabProbe();
    if (!heldKeys)
        heldKeys = presto::makeKeysStatusProbe(keysStatus);
    controller.hotKeyController().setHeldKeyProbe(heldKeys.get());
    controller.awakeFromNib(window);
    StartupTiming timing(sinceMain);
    if (qEnvironmentVariableIsSet("PRESTO_STARTUP_TIMING"))
        window.installEventFilter(&timing);
    window.show();
    // The tray assistant's Preferences item.
    if (line.has("preferences"))
        controller.showPreferencePanel();
    QTimer::singleShot(0, &window, [&] {
        presto::showKeySourceNotice(alerts, keysStatusPath, presto::isWaylandSession());
    });
    return QApplication::exec();
}
