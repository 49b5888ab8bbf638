#include "config/installer/ModuleFiles.h"

#include "InstallerTestSupport.h"
#include "config/installer/ModuleInstaller.h"
#include "tests/support/TempWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace presto {
namespace {

// The generated files, exactly as they must be installed and packaged.
const char kDaemonUnit[] = R"([Unit]
Description=Presto hot key daemon
PartOf=graphical-session.target
After=graphical-session.target
ConditionFileIsExecutable=/opt/Presto/Presto.daemon
ConditionEnvironment=|DISPLAY
ConditionEnvironment=|WAYLAND_DISPLAY

[Service]
ExecStart=/opt/Presto/Presto.daemon
Restart=on-failure

[Install]
WantedBy=graphical-session.target
)";

const char kKeysUnit[] = R"([Unit]
Description=Presto key-capture agent
PartOf=graphical-session.target
After=graphical-session.target com.nimbo.Presto.daemon.service
ConditionFileIsExecutable=/opt/Presto/PrestoKeys
ConditionEnvironment=|DISPLAY
ConditionEnvironment=|WAYLAND_DISPLAY

[Service]
ExecStart=/opt/Presto/PrestoKeys
Restart=on-failure

[Install]
WantedBy=graphical-session.target
)";

const char kAutostartEntry[] = R"([Desktop Entry]
Type=Application
Name=Presto
Comment=Starts the Presto hot key service
TryExec=/opt/Presto/Presto.daemon
Exec=sh -c "systemctl --user unset-environment DISPLAY WAYLAND_DISPLAY XAUTHORITY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP; systemctl --user import-environment DISPLAY WAYLAND_DISPLAY XAUTHORITY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP; exec systemctl --user start com.nimbo.Presto.daemon.service com.nimbo.Presto.keys.service"
NoDisplay=true
X-systemd-skip=true
)";

TEST(GeneratedFiles, WritersProduceTheFixedTextByteForByte) {
    test::TempWorld world;
    const QString folder = QString::fromStdString(world.path("gen"));
    QDir().mkpath(folder);
    const std::pair<bool (*)(const QString&), const char*> writers[] = {
        {&ModuleInstaller::createDaemonUnit, kDaemonUnit},
        {&ModuleInstaller::createKeysUnit, kKeysUnit},
        {&ModuleInstaller::createAutostartEntry, kAutostartEntry},
    };
    int index = 0;
    for (const auto& [write, expected] : writers) {
        const QString path = folder + QStringLiteral("/file%1").arg(index++);
        ASSERT_TRUE(write(path));
        EXPECT_EQ(test::readAll(path), QByteArray(expected));
        EXPECT_EQ(QFileInfo(path).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ReadUser | QFile::WriteUser |
                                                     QFile::ReadGroup | QFile::ReadOther);
    }
}

TEST(GeneratedFiles, AWriterNeverOpensANameThatIsAlreadyThere) {
    test::TempWorld world;
    const QString planted = QString::fromStdString(world.writeFile("planted", "theirs"));
    const QString link = QString::fromStdString(world.path("link"));
    ASSERT_TRUE(QFile::link(planted, link));
    const QString dangling = QString::fromStdString(world.path("dangling"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(world.path("nothing")), dangling));

    EXPECT_FALSE(ModuleInstaller::createDaemonUnit(planted));
    EXPECT_FALSE(ModuleInstaller::createKeysUnit(link));
    EXPECT_FALSE(ModuleInstaller::createAutostartEntry(dangling));
    EXPECT_EQ(test::readAll(planted), QByteArray("theirs"));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(world.path("nothing"))));
    EXPECT_FALSE(ModuleInstaller::createDaemonUnit(QStringLiteral("/nonexistent-folder/unit")));
}

TEST(GeneratedFiles, TheDesktopEntriesAreValid) {
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    test::TempWorld world;
    for (const std::string& text :
         {modules::autostartEntryText(), modules::applicationEntryText()}) {
        const std::string path = world.writeFile("entry.desktop", text);
        test::coreApplication();
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validator, {QString::fromStdString(path)});
        ASSERT_TRUE(check.waitForFinished(60'000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
    }
}

} // namespace
} // namespace presto
