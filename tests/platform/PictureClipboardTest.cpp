#include "platform/linux/ClipboardPasteboard.h"
#include "tests/capture/XHarness.h"
#include "tests/support/ScopedEnv.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <memory>

// A restored picture on a private X server's clipboard, read back by another program.
namespace presto {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<QGuiApplication> theApplication;

// Qt's own globals go at exit in an order of their own; the application must be gone before.
class ApplicationTeardown : public ::testing::Environment {
public:
    void TearDown() override { theApplication.reset(); }
};

[[maybe_unused]] ::testing::Environment* const kTeardown =
    ::testing::AddGlobalTestEnvironment(new ApplicationTeardown);

// For the image codecs only.
QGuiApplication& imageCodecs() {
    static int argc = 1;
    static char name[] = "platform_x_tests";
    static char* argv[] = {name, nullptr};
    if (!theApplication) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        theApplication = std::make_unique<QGuiApplication>(argc, argv);
    }
    return *theApplication;
}

QImage samplePicture() {
    QImage image(5, 3, QImage::Format_RGB32);
    image.fill(QColor(20, 120, 220));
    image.setPixelColor(4, 2, QColor(250, 10, 10));
    return image;
}

Bytes encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return Bytes(data.begin(), data.end());
}

// What xclip reads from the clipboard for the target; nothing when it fails.
std::optional<QByteArray> xclipRead(const QString& target) {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                          QStringLiteral("-o"), QStringLiteral("-t"), target});
    if (!xclip.waitForFinished(20000) || xclip.exitStatus() != QProcess::NormalExit ||
        xclip.exitCode() != 0)
        return std::nullopt;
    return xclip.readAllStandardOutput();
}

TEST(PictureClipboard, ARestoredPictureIsOfferedAsPngAndTiffByOneOwner) {
    if (!test::Xvfb::installed())
        GTEST_SKIP() << "Xvfb is not installed";
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        GTEST_SKIP() << "xclip is not installed";
    imageCodecs();
    test::Xvfb server;
    test::ScopedEnv display("DISPLAY", server.display());
    test::ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    const Bytes tiff = encoded(samplePicture(), "TIFF");
    ASSERT_FALSE(tiff.empty()) << "no TIFF writer (qt6-image-formats-plugins)";

    ClipboardPasteboard pasteboard(std::chrono::seconds(5),
                                   qEnvironmentVariable("PRESTO_BIN_DIR").toStdString() +
                                       "/PrestoClip");
    ASSERT_TRUE(pasteboard.replaceContents("public.tiff", tiff));

    const auto targets = xclipRead(QStringLiteral("TARGETS"));
    ASSERT_TRUE(targets);
    const QList<QByteArray> offered = targets->split('\n');
    EXPECT_TRUE(offered.contains("image/png")) << targets->toStdString();
    EXPECT_TRUE(offered.contains("image/tiff")) << targets->toStdString();

    const auto png = xclipRead(QStringLiteral("image/png"));
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG"));
    const QImage pasted = QImage::fromData(*png, "PNG");
    EXPECT_EQ(pasted.size(), QSize(5, 3));
    EXPECT_EQ(pasted.pixelColor(4, 2), QColor(250, 10, 10));
    EXPECT_EQ(pasted.pixelColor(0, 0), QColor(20, 120, 220));

    const auto tiffBack = xclipRead(QStringLiteral("image/tiff"));
    ASSERT_TRUE(tiffBack);
    EXPECT_EQ(Bytes(tiffBack->begin(), tiffBack->end()), tiff);
    EXPECT_EQ(pasteboard.contents("public.tiff"), tiff);

    // Text copied afterwards replaces the picture; the helper lets go.
    const std::string text = "after the picture";
    ASSERT_TRUE(
        pasteboard.replaceContents("public.utf8-plain-text", Bytes(text.begin(), text.end())));
    const auto after = xclipRead(QStringLiteral("TARGETS"));
    ASSERT_TRUE(after);
    EXPECT_FALSE(after->split('\n').contains("image/png")) << after->toStdString();
}

TEST(PictureClipboard, WithoutTheHelperThePictureStillGoesOutAsTiff) {
    if (!test::Xvfb::installed() ||
        QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        GTEST_SKIP() << "Xvfb or xclip is not installed";
    imageCodecs();
    test::Xvfb server;
    test::ScopedEnv display("DISPLAY", server.display());
    test::ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    const Bytes tiff = encoded(samplePicture(), "TIFF");
    ClipboardPasteboard pasteboard(std::chrono::seconds(5), "/nonexistent/PrestoClip");
    ASSERT_TRUE(pasteboard.replaceContents("public.tiff", tiff));
    EXPECT_EQ(pasteboard.contents("public.tiff"), tiff);
}

TEST(PictureClipboard, OnWaylandWlCopyIsHandedThePng) {
    imageCodecs();
    // A wl-copy that keeps its arguments and what it was given.
    const QString folder = QDir::tempPath() + QStringLiteral("/presto-wlcopy-") +
                           QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(folder);
    const QString fake = folder + QStringLiteral("/wl-copy");
    {
        QFile script(fake);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\nexec cat > \"$0.data\"\n");
    }
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    test::ScopedEnv path("PATH", folder.toStdString() + ":" + std::getenv("PATH"));
    test::ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-test");
    test::ScopedEnv display("DISPLAY", std::nullopt);

    ClipboardPasteboard pasteboard(std::chrono::seconds(5),
                                   qEnvironmentVariable("PRESTO_BIN_DIR").toStdString() +
                                       "/PrestoClip");
    ASSERT_TRUE(pasteboard.replaceContents("public.tiff", encoded(samplePicture(), "TIFF")));
    QFile args(fake + QStringLiteral(".args"));
    QFile data(fake + QStringLiteral(".data"));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll(), QByteArray("--type\nimage/png\n"));
    const QImage pasted = QImage::fromData(data.readAll(), "PNG");
    EXPECT_EQ(pasted.size(), QSize(5, 3));
    EXPECT_EQ(pasted.pixelColor(4, 2), QColor(250, 10, 10));
    QDir(folder).removeRecursively();
}

} // namespace
} // namespace presto
