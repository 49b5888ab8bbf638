#pragma once

#include "config/model/AlertPresenter.h"
#include "config/ui/FileChooser.h"

namespace presto {

// Modal message boxes, buttons left to right in the order given, the first one the default.
class QtAlertPresenter : public AlertPresenter {
public:
    int run(const AlertRequest& request) override;
};

// A file dialog in which files and folders alike can be chosen, several at once.
class QtFileChooser : public FileChooser {
public:
    std::optional<QStringList> choosePaths(const FileChooserRequest& request) override;
};

} // namespace presto
