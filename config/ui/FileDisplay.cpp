#include "config/ui/FileDisplay.h"

#include "config/model/ItemPathName.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QTextStream>

namespace presto {

namespace {

struct DesktopEntry {
    QString name;
    QString icon;
};

// Only the keys shown are read; localised names and other groups are left to the desktop.
DesktopEntry readDesktopEntry(const QString& path) {
    DesktopEntry entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    QTextStream in(&file);
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        if (entry.name.isEmpty() && line.startsWith(QLatin1String("Name=")))
            entry.name = line.mid(5).trimmed();
        else if (entry.icon.isEmpty() && line.startsWith(QLatin1String("Icon=")))
            entry.icon = line.mid(5).trimmed();
    }
    return entry;
}

bool isDesktopFile(const QString& path) {
    return path.endsWith(QLatin1String(".desktop")) && QFileInfo(path).isFile();
}

QIcon lookUpIcon(const QString& path) {
    const QFileInfo info(path);
    if (isDesktopFile(path)) {
        const QString icon = readDesktopEntry(path).icon;
        if (QFileInfo(icon).isAbsolute() && QFileInfo::exists(icon))
            return QIcon(icon);
        if (!icon.isEmpty() && QIcon::hasThemeIcon(icon))
            return QIcon::fromTheme(icon);
    }
    static const QMimeDatabase mimeDatabase;
    const QMimeType type = mimeDatabase.mimeTypeForFile(info);
    for (const QString& name : {type.iconName(), type.genericIconName()}) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    static const QFileIconProvider provider;
    return provider.icon(info);
}

} // namespace

QIcon fileIcon(const QString& path) {
    // Tables ask again on every repaint; reading the theme each time would make scrolling slow.
    static QHash<QString, QIcon> cache;
    auto it = cache.constFind(path);
    if (it == cache.cend())
        it = cache.insert(path, lookUpIcon(path));
    return *it;
}

QString displayName(const QString& path) {
    if (isDesktopFile(path)) {
        const QString name = readDesktopEntry(path).name;
        if (!name.isEmpty())
            return name;
    }
    return lastPathComponent(path);
}

QIcon pasteboardIcon() {
    const QIcon icon = QIcon::fromTheme(QStringLiteral("edit-paste"));
    return icon.isNull() ? QFileIconProvider().icon(QFileIconProvider::File) : icon;
}

QIcon finderIcon() {
    const QIcon icon = QIcon::fromTheme(QStringLiteral("system-file-manager"));
    return icon.isNull() ? QFileIconProvider().icon(QFileIconProvider::Folder) : icon;
}

} // namespace presto
