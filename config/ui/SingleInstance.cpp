#include "config/ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {

namespace {

constexpr char kRaiseRequest[] = "RAISE\n";
constexpr char kRaiseReply[] = "OK\n";
constexpr int kReplyWaitMs = 5000;
// A first copy that has just taken the lock needs a moment before it listens.
constexpr int kConnectCeilingMs = 10000;

// The folder exists and is private (the rule every Presto folder follows), so nobody else can
// put a socket there.
bool privateFolder(const QString& path) {
    return !privateFolderProblem(QFile::encodeName(path).toStdString(), true);
}

bool peerIsUs(qintptr descriptor) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}

} // namespace

QString SingleInstance::socketPathFor(const Locations& locations) {
    const QString runtime = QString::fromStdString(locations.runtimeDir);
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // No session folder: one copy per data folder, named by it (a socket path is short).
        const QByteArray folder = QFile::encodeName(QString::fromStdString(locations.dataFolder()));
        const QByteArray hash =
            QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16);
        return runtime + QStringLiteral("/app-") + QString::fromLatin1(hash);
    }
    return runtime + QStringLiteral("/app");
}

SingleInstance::SingleInstance(QString socketPath) : socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

SingleInstance::Start SingleInstance::start() {
    const QString folder = QFileInfo(socketPath_).absolutePath();
    if (!privateFolder(folder)) {
        std::fprintf(stderr, "Presto: %s is not a private folder; not checking for another copy\n",
                     qPrintable(folder));
        return Start::Unguarded;
    }
    const QByteArray lockPath = QFile::encodeName(socketPath_ + QStringLiteral(".lock"));
    lockFd_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0)
        return Start::Unguarded;
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd_);
        lockFd_ = -1;
        if (errno != EWOULDBLOCK)
            return Start::Unguarded;
        if (!askRunningCopy())
            std::fprintf(stderr, "Presto: another copy is running but did not answer\n");
        return Start::AnotherRuns;
    }
    // The lock is ours for the whole run: a socket left by a copy that crashed is stale.
    QLocalServer::removeServer(socketPath_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        std::fprintf(stderr, "Presto: cannot listen on %s: %s\n", qPrintable(socketPath_),
                     qPrintable(server_->errorString()));
        return Start::First;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::serveRequest);
    return Start::First;
}

void SingleInstance::serveRequest() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsUs(socket->socketDescriptor())) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine())
                return;
            const bool raise = socket->readLine(64) == kRaiseRequest;
            if (raise)
                socket->write(kRaiseReply);
            socket->disconnectFromServer();
            if (raise && raise_)
                raise_();
        });
    }
}

bool SingleInstance::askRunningCopy() {
    QElapsedTimer waited;
    waited.start();
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(1000))
            break;
        if (waited.elapsed() > kConnectCeilingMs)
            return false;
        QThread::msleep(50);
    }
    if (!peerIsUs(socket.socketDescriptor()))
        return false;
    socket.write(kRaiseRequest);
    if (!socket.waitForBytesWritten(kReplyWaitMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kReplyWaitMs))
            return false;
    }
    return socket.readLine(64) == kRaiseReply;
}

} // namespace presto
