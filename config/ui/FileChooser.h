#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace presto {

struct FileChooserRequest {
    QString title;
    QString prompt; // the confirming button
};

// Lets the user pick several files and folders. The application shows a file dialog, tests
// answer in advance.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // None when the user cancelled; an empty list when they confirmed without a choice.
    virtual std::optional<QStringList> choosePaths(const FileChooserRequest& request) = 0;
};

} // namespace presto
