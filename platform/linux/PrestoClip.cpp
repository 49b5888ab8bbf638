// PrestoClip: puts a picture on the clipboard in the two types programs paste, image/png and
// image/tiff, from one owner (xclip and wl-copy offer one type each). The TIFF arrives on stdin.
//
//   PrestoClip          X11: owns the CLIPBOARD selection and serves TARGETS, image/png and
//                       image/tiff until another program takes the clipboard.
//   PrestoClip --png    Wayland: wl-copy offers one type per owner, so it is handed the PNG
//                       alone, the type nearly every Wayland program pastes.
//
// As xclip does, the foreground process exits 0 once the clipboard holds the picture and a
// background process goes on serving it. Exit 1: unreadable picture or no clipboard.
#include "common/CommandLine.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

QByteArray readStdin() {
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0)
            data.append(buffer, n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    return data;
}

QByteArray pngOf(const QByteArray& tiff) {
    QImage image;
    if (!image.loadFromData(tiff, "TIFF"))
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return png;
}

int copyPngToWayland(int argc, char** argv, const QByteArray& tiff) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QByteArray png = pngOf(tiff);
    if (png.isEmpty())
        return 1;
    QProcess copy;
    copy.setProcessChannelMode(QProcess::ForwardedChannels);
    copy.start(QStringLiteral("wl-copy"), {QStringLiteral("--type"), QStringLiteral("image/png")});
    if (!copy.waitForStarted(5000))
        return 1;
    copy.write(png);
    copy.closeWriteChannel();
    // wl-copy returns once its own background server holds the data.
    if (!copy.waitForFinished(10000))
        return 1;
    return copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0 ? 0 : 1;
}

// The background half: owns the clipboard, says so through `ready`, serves until replaced.
int serveX11(int argc, char** argv, const QByteArray& tiff, int ready) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QByteArray png = pngOf(tiff);
    if (png.isEmpty())
        return 1;
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("image/png"), png);
    mime->setData(QStringLiteral("image/tiff"), tiff);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(mime, QClipboard::Clipboard);
    if (!clipboard->ownsClipboard())
        return 1;
    const char yes = 'y';
    if (::write(ready, &yes, 1) != 1)
        return 1;
    ::close(ready);
    QObject::connect(clipboard, &QClipboard::changed, &app, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard())
            QGuiApplication::quit();
    });
    return app.exec();
}

} // namespace

constexpr presto::cli::Option kOptions[] = {
    {"png", nullptr, "hand wl-copy the PNG alone (Wayland)"},
};

constexpr presto::cli::Program kProgram{
    .name = "PrestoClip",
    .operands = "< PICTURE.tiff",
    .description =
        "Puts the TIFF picture read from standard input on the clipboard as image/png and "
        "image/tiff from one owner. On X11 a background process serves the picture until "
        "another program takes the clipboard. Presto.daemon runs it to put picture "
        "snapshots back.",
    .options = kOptions,
    .toolkitOptions = true,
    .notes = "Exit status:\n"
             "  0  the clipboard holds the picture\n"
             "  1  an unreadable picture, or no clipboard\n"
             "  2  a wrong command line",
};

int main(int argc, char** argv) {
    const presto::cli::CommandLine line = presto::cli::parse(argc, argv, kProgram);
    if (line.exitStatus)
        return *line.exitStatus;
    const bool wayland = line.has("png");
    const QByteArray tiff = readStdin();
    if (tiff.isEmpty())
        return 1;
    if (wayland)
        return copyPngToWayland(argc, argv, tiff);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return 1;
    const pid_t pid = ::fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        ::close(pipeFds[0]);
        // Outlives the caller's session and keeps none of its pipes open.
        ::setsid();
        const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        ::_exit(serveX11(argc, argv, tiff, pipeFds[1]));
    }
    ::close(pipeFds[1]);
    char answer = 0;
    pollfd wait{pipeFds[0], POLLIN, 0};
    // The server side needs a moment to connect and decode; more than that means it is stuck.
    if (::poll(&wait, 1, 20000) == 1 && ::read(pipeFds[0], &answer, 1) == 1 && answer == 'y')
        return 0;
    ::kill(pid, SIGTERM);
    return 1;
}
