#pragma once

#include <QIcon>
#include <QString>

namespace presto {

// The icon the desktop's icon theme shows for what lies at the path: an application's own icon
// for a .desktop file, else the icon of its content type; the style's file or folder icon when
// the theme has none.
QIcon fileIcon(const QString& path);

// The name a file manager shows for the path: an application's Name for a .desktop file, else
// the last path component.
QString displayName(const QString& path);

// The image of a saved clipboard snapshot.
QIcon pasteboardIcon();

// The desktop's file manager icon, which stands for the Finder.
QIcon finderIcon();

} // namespace presto
