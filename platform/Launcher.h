#pragma once

#include <string>

namespace presto {

// Results other than 0, numbered as the Mac's Launch Services errors (callers mostly ignore them).
inline constexpr int kLaunchNoSuchFile = -43;       // fnfErr
inline constexpr int kLaunchFailed = -10810;        // kLSUnknownErr
inline constexpr int kLaunchNoApplication = -10814; // kLSApplicationNotFoundErr

// Opens what a hot key is bound to.
class Launcher {
public:
    virtual ~Launcher() = default;

    // A .desktop file starts as an application, an executable regular file runs (detached, no
    // shell), anything else opens in the user's default application for its type. 0 on success.
    virtual int openItem(const std::string& path) = 0;

    // Starts the application at appPath with the file manager's selected paths as its files;
    // with nothing selected nothing starts. The openItem of the same application that directly
    // follows a call that started it only "brings it to the front": it starts nothing. 0 on
    // success.
    virtual int openSelectionWith(const std::string& appPath) = 0;

    // True when the item is an application that openSelectionWith could hand the selection: a
    // .desktop application or an executable. Folders, documents and missing items take none.
    virtual bool canOpenFiles(const std::string& path) = 0;
};

} // namespace presto
