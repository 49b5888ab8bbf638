#include "config/ui/KeySourceNotice.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

namespace presto {

bool isWaylandSession() {
    const QByteArray type = qgetenv("XDG_SESSION_TYPE");
    return type == "wayland" || (type != "x11" && !qgetenv("WAYLAND_DISPLAY").isEmpty());
}

bool showKeySourceNotice(AlertPresenter& alerts, const QString& statusPath, bool waylandSession) {
    if (!waylandSession)
        return false;
    QFile file(statusPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QString source;
    QStringList keys;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("source=")))
            source = line.mid(7);
        else if (line.startsWith(QLatin1String("refused=")) ||
                 line.startsWith(QLatin1String("changed=")))
            keys << QStringLiteral("• ") + line.mid(line.indexOf(QLatin1Char('=')) + 1);
    }
    const bool xwayland = source.contains(QLatin1String("XWayland"));
    if (keys.isEmpty() && !xwayland)
        return false;

    const auto tr = [](const char* text) {
        return QCoreApplication::translate("KeySourceNotice", text);
    };
    QString message = tr("Hot keys on this Wayland session come through: %1.").arg(source);
    if (xwayland)
        message += QStringLiteral("\n\n") +
                   tr("This desktop offers no global shortcuts, so hot keys work only while a "
                      "window of an X11 program has the focus.");
    if (!keys.isEmpty())
        message += QStringLiteral("\n\n") + tr("The desktop refused or changed these hot keys:") +
                   QStringLiteral("\n") + keys.join(QLatin1Char('\n'));
    alerts.run({tr("Hot keys on Wayland"), message, {tr("OK")}, AlertStyle::Informational});
    return true;
}

} // namespace presto
