#pragma once

#include "config/model/AlertPresenter.h"
#include "config/ui/FileChooser.h"

class QWidget;

namespace presto {

// The window of ours the user sees in front: a modal dialog, else a window kept on top (the
// capture panel, whichever window the desktop made active), else the active window, else the
// main window. Alerts and file choosers open over it.
QWidget* frontWindow();

// Modal message boxes, buttons left to right in the order given. Each is modal for the whole
// application and stands over the front window, so a panel kept on top never hides the alert it
// raised.
class QtAlertPresenter : public AlertPresenter {
public:
    AlertAnswer ask(const AlertRequest& request) override;
};

// A file dialog in which several files (and, in Qt's own dialog, folders) can be chosen. It
// opens in the home folder the first time and in the folder last chosen from after that.
class QtFileChooser : public FileChooser {
public:
    std::optional<QStringList> choosePaths(const FileChooserRequest& request) override;

    QString startFolder() const;
    void remember(const QStringList& chosen);

private:
    QString lastFolder_;
};

} // namespace presto
