#include "config/ui/DaemonStatus.h"

#include "common/DaemonClient.h"
#include "common/Installation.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace presto {

namespace {

constexpr int kBackAgainShownMs = 5000;

} // namespace

DaemonStatus::DaemonStatus(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    icon_ = new QLabel(this);
    message_ = new QLabel(this);
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    startButton_ = new QPushButton(tr("Start Presto.daemon"), this);
    layout->addWidget(icon_);
    layout->addWidget(message_, 1);
    layout->addWidget(startButton_);
    connect(startButton_, &QPushButton::clicked, this, [this] {
        if (start_ && !start_()) {
            message_->setText(tr("Presto.daemon could not be started."));
            return;
        }
        check();
    });
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, &DaemonStatus::check);
    fade_ = new QTimer(this);
    fade_->setSingleShot(true);
    connect(fade_, &QTimer::timeout, this, [this] {
        if (running_)
            hide();
    });
    hide();
}

void DaemonStatus::watch(std::function<bool()> isRunning, std::function<bool()> start,
                         int interval) {
    isRunning_ = std::move(isRunning);
    start_ = std::move(start);
    poll_->start(interval);
    check();
}

void DaemonStatus::check() {
    if (isRunning_)
        showState(isRunning_());
}

void DaemonStatus::showState(bool running) {
    if (known_ && running == running_)
        return;
    const bool cameBack = known_ && running && !running_;
    known_ = true;
    running_ = running;
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    const auto icon = running ? QStyle::SP_MessageBoxInformation : QStyle::SP_MessageBoxWarning;
    icon_->setPixmap(style()->standardIcon(icon).pixmap(size, size));
    if (!running) {
        fade_->stop();
        message_->setText(tr("Presto.daemon is not running: hot keys do nothing until it runs."));
        startButton_->show();
        show();
    } else if (cameBack) {
        message_->setText(tr("Presto.daemon is running again."));
        startButton_->hide();
        show();
        fade_->start(kBackAgainShownMs);
    } else {
        hide();
    }
}

bool DaemonStatus::daemonAnswers(const QString& socketPath) {
    return DaemonClient(QFile::encodeName(socketPath).toStdString()).daemonAnswers();
}

bool DaemonStatus::startDaemon(const QString& programFolder) {
    const QString unit = QString::fromLatin1(kDaemonUnit);
    if (QFileInfo::exists(QString::fromLatin1(kUnitFolder) + unit))
        return QProcess::startDetached(QStringLiteral("systemctl"),
                                       {QStringLiteral("--user"), QStringLiteral("start"), unit});
    return QProcess::startDetached(programFolder + QStringLiteral("/Presto.daemon"), {});
}

} // namespace presto
