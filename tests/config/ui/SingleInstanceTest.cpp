#include "config/ui/SingleInstance.h"

#include "UiTestSupport.h"
#include "tests/support/ScopedEnv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace presto {
namespace {

QString prestoProgram() {
    return qEnvironmentVariable("PRESTO_BIN_DIR") + QStringLiteral("/Presto");
}

// Handles the application's events until the condition holds; false after a generous ceiling.
bool waitWithEvents(const std::function<bool()>& condition) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        QApplication::processEvents();
        if (condition())
            return true;
        QThread::msleep(10);
    }
    return false;
}

class OneCopy : public ::testing::Test {
protected:
    OneCopy() { test::application(); }
    test::TempWorld world;
};

TEST_F(OneCopy, ASecondStartAsksTheFirstToComeForwardAndEnds) {
    SingleInstance first(SingleInstance::socketPathFor(world.locations()));
    ASSERT_EQ(first.start(), SingleInstance::Start::First);
    int raised = 0;
    first.setRaiseHandler([&] { ++raised; });

    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(prestoProgram(), {});
    ASSERT_TRUE(second.waitForStarted(10000));
    const bool ended = waitWithEvents([&] { return second.state() == QProcess::NotRunning; });
    if (!ended) {
        second.kill();
        second.waitForFinished(5000);
    }
    ASSERT_TRUE(ended) << "the second copy kept running beside the first";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitWithEvents([&] { return raised == 1; }));
    // It never touched the data.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(world.locations().dataFilePath())));
}

TEST_F(OneCopy, TheSocketIsPrivateAndAStaleOneIsTakenOver) {
    const QString path = SingleInstance::socketPathFor(world.locations());
    const QByteArray native = QFile::encodeName(path);
    {
        SingleInstance crashed(path);
        ASSERT_EQ(crashed.start(), SingleInstance::Start::First);
        struct stat folder {};
        ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder),
                  0);
        EXPECT_EQ(folder.st_mode & 077, 0u);
    }
    // A socket file nobody listens on, as a crash leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, native.constData(), sizeof address.sun_path - 1);
    ::unlink(native.constData());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    SingleInstance next(path);
    EXPECT_EQ(next.start(), SingleInstance::Start::First);
}

TEST_F(OneCopy, WithoutARuntimeFolderEachDataFolderHasItsOwnCopy) {
    test::ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    Locations one = Locations::fromEnvironment();
    Locations other = one;
    other.applicationSupportDir += "/elsewhere";
    EXPECT_NE(SingleInstance::socketPathFor(one), SingleInstance::socketPathFor(other));
    EXPECT_EQ(SingleInstance::socketPathFor(one), SingleInstance::socketPathFor(one));
}

} // namespace
} // namespace presto
