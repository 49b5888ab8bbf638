#pragma once

#include "config/model/AlertPresenter.h"

#include <QString>

namespace presto {

// On a Wayland session the desktop decides which hot keys work. What PrestoKeys wrote to its status
// file (see capture/StatusFile.h) is shown once per start when there is something to tell: hot
// keys the desktop refused or bound to another combination, or the XWayland fallback, under which
// hot keys work only while an X11 window has the focus. True when an alert was shown.
bool showKeySourceNotice(AlertPresenter& alerts, const QString& statusPath, bool waylandSession);

// $XDG_SESSION_TYPE says wayland, or only $WAYLAND_DISPLAY is set.
bool isWaylandSession();

} // namespace presto
