#include "daemon/PasteboardData.h"

#include "common/ClipboardTypes.h"
#include "common/PathText.h"
#include "daemon/FileTransfer.h"
#include "daemon/Log.h"
#include "daemon/UserIdentity.h"

#include <cstdlib>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace presto {
namespace {

constexpr int kMaxFolderSteps = 10;

bool validUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80           ? 1
                             : (c >> 5) == 0x6  ? 2
                             : (c >> 4) == 0xE  ? 3
                             : (c >> 3) == 0x1E ? 4
                                                : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> localPath(std::string_view url) {
    constexpr std::string_view kScheme = "file://";
    if (url.size() < kScheme.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kScheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i])
            return std::nullopt;
    url.remove_prefix(kScheme.size());
    std::size_t slash = url.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    std::string_view host = url.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return std::nullopt;
    url.remove_prefix(slash);
    if (std::size_t cut = url.find_first_of("?#"); cut != std::string_view::npos)
        url = url.substr(0, cut);
    std::string path;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] != '%') {
            path += url[i];
            continue;
        }
        int high = i + 2 < url.size() ? hexValue(url[i + 1]) : -1;
        int low = i + 2 < url.size() ? hexValue(url[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (path.find('\0') != std::string::npos || !validUtf8(path))
        return std::nullopt;
    return path;
}

// "report.txt" → "report" and "txt"; a name starting with its only dot has no extension.
void splitExtension(const std::string& name, std::string& base,
                    std::optional<std::string>& extension) {
    std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) {
        base = name;
        extension.reset();
        return;
    }
    base = name.substr(0, dot);
    extension = name.substr(dot + 1);
}

// The folder an item stands for: itself, a link's target, or the folder holding it.
std::optional<std::string> destinationFolder(std::string path) {
    for (int step = 0; step < kMaxFolderSteps; ++step) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0)
            return std::nullopt;
        if (S_ISDIR(st.st_mode))
            return path;
        if (S_ISLNK(st.st_mode)) {
            char* target = realpath(path.c_str(), nullptr);
            if (!target)
                return std::nullopt; // a broken link
            path = target;
            std::free(target);
            continue;
        }
        path = path::parentOf(path);
    }
    return std::nullopt;
}

} // namespace

PasteboardData::PasteboardData(FinderState& finder, Pasteboard& pasteboard, DaemonDialogs& dialogs)
    : finder_(finder), pasteboard_(pasteboard), dialogs_(dialogs) {
    prepare(0);
}

PasteboardData::PasteboardData(FinderState& finder, Pasteboard& pasteboard, DaemonDialogs& dialogs,
                               int mode)
    : finder_(finder), pasteboard_(pasteboard), dialogs_(dialogs) {
    if (mode > 0)
        prepare(mode);
}

void PasteboardData::prepare(int mode) {
    if (!getDestPathBuf() || !getDestFSRef())
        return;
    readSources(mode);
}

void PasteboardData::alert(const std::string& header, const std::string& message,
                           const char* button) {
    DaemonDialogs::Alert request;
    request.level = DaemonDialogs::Level::Caution;
    request.header = header;
    request.message = message;
    request.defaultButton = button;
    dialogs_.showAlert(request);
}

bool PasteboardData::getDestPathBuf() {
    scriptText_ = FinderQueries(finder_).destination();
    return !scriptText_.empty();
}

bool PasteboardData::getDestFSRef() {
    std::string text;
    for (std::size_t i = 0; i < scriptText_.size();) {
        if (scriptText_.compare(i, 4, "'\\''") == 0) {
            text += '\'';
            i += 4;
        } else {
            text += scriptText_[i++];
        }
    }
    if (!validUtf8(text) || text.size() < 2) {
        alert("Destination not found!!", "", "CANCEL");
        return false;
    }
    std::string path = text.substr(1, text.size() - 2);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        alert("Destination is not found!!", path, "CANCEL");
        return false;
    }
    std::optional<std::string> folder = destinationFolder(path);
    if (!folder) {
        alert("Destination folder is not found!!", path, "CANCEL");
        return false;
    }
    destPath_ = path::withoutFinalSlashes(*folder);
    if (access(destPath_.c_str(), W_OK) != 0) {
        alert("Permision Error!!", identity::permissionText(destPath_), "CANCEL");
        destPath_.clear();
        return false;
    }
    return true;
}

std::vector<std::string> PasteboardData::fileUrlPaths(const std::vector<std::uint8_t>& uriList) {
    std::string_view text(reinterpret_cast<const char*>(uriList.data()), uriList.size());
    std::vector<std::string> paths;
    while (!text.empty() && paths.size() <= kMaxItems) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (std::optional<std::string> path = localPath(line))
            paths.push_back(std::move(*path));
    }
    return paths;
}

bool PasteboardData::isExist(const std::string& name) const {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return false;
    struct stat st {};
    return lstat((destPath_ + "/" + name).c_str(), &st) == 0;
}

void PasteboardData::clearLists() {
    sourcePaths_.clear();
    displayNames_.clear();
    newNames_.clear();
}

PasteboardData::Clash PasteboardData::askReplace(const std::string& name) {
    DaemonDialogs::Alert question;
    question.level = DaemonDialogs::Level::Caution;
    question.header =
        "The following item exists in\n\"" + destPath_ + "\".\n Do you want to replace this item?";
    question.message = name;
    question.defaultButton = "YES";
    question.alternateButton = "CANCEL";
    question.otherButton = "NO";
    switch (dialogs_.showAlert(question)) {
    case DaemonDialogs::Response::Default:
        return Clash::Include;
    case DaemonDialogs::Response::Alternate:
        return Clash::Drop;
    case DaemonDialogs::Response::Other:
    case DaemonDialogs::Response::NotShown:
        // Nothing of the user's is replaced without a YES.
        return Clash::Skip;
    }
    return Clash::Skip;
}

int PasteboardData::displayDialog(int mode, const std::string& source, const std::string& name,
                                  const std::optional<std::string>& extension, bool folder,
                                  std::string& newName) {
    std::vector<DaemonDialogs::Field> fields{{"New Name:", name}};
    if (!folder)
        fields.push_back({"Extension:", extension.value_or("")});
    const std::string message = "  " + source + "\nto\n  " + destPath_ + "/\n";
    switch (
        dialogs_.askFields(mode == kCopyByNewName ? "Copy" : "Move", message, fields, "CANCEL")) {
    case DaemonDialogs::Response::Default:
        newName = folder || fields[1].value.empty() ? fields[0].value
                                                    : fields[0].value + "." + fields[1].value;
        return 0;
    case DaemonDialogs::Response::Alternate:
        return 1;
    default:
        return 255;
    }
}

void PasteboardData::readSources(int mode) {
    std::optional<std::vector<std::uint8_t>> urls = pasteboard_.contents(kFileUrlType);
    if (!urls)
        return;
    const std::vector<std::string> sources = fileUrlPaths(*urls);
    urls.reset();
    if (sources.size() > kMaxItems) {
        logLine(std::string(getCharSysTime()) + " Presto.daemon the clipboard names more than " +
                std::to_string(kMaxItems) + " items: nothing is transferred\n");
        return;
    }
    for (const std::string& source : sources) {
        struct stat st {};
        if (lstat(source.c_str(), &st) != 0)
            continue;
        const std::string fullName = path::lastComponent(source);
        std::string name;
        if (mode == 0) {
            name = fullName;
            Clash clash = isExist(name) ? askReplace(name) : Clash::Include;
            if (clash == Clash::Drop) {
                clearLists();
                return;
            }
            if (clash == Clash::Include) {
                sourcePaths_.push_back(source);
                displayNames_.push_back(name);
            }
            continue;
        }
        std::optional<std::string> extension;
        splitExtension(fullName, name, extension);
        std::string newName;
        if (displayDialog(mode, source, name, extension, S_ISDIR(st.st_mode), newName) != 0) {
            clearLists();
            return;
        }
        Clash clash = isExist(newName) ? askReplace(newName) : Clash::Include;
        if (clash == Clash::Drop) {
            clearLists();
            return;
        }
        if (clash == Clash::Include) {
            sourcePaths_.push_back(source);
            displayNames_.push_back(name);
            newNames_.push_back(newName);
        }
    }
}

void PasteboardData::copyPathsAll(std::stop_token stop) {
    transferAll(false, stop);
}

void PasteboardData::movePathsAll(std::stop_token stop) {
    if (!sourcePaths_.empty() && !stop.stop_requested())
        pasteboard_.replaceContents(kUtf8PlainTextType, {});
    transferAll(true, stop);
}

void PasteboardData::transferAll(bool move, std::stop_token stop) {
    for (std::size_t i = 0; i < sourcePaths_.size() && !stop.stop_requested(); ++i) {
        // Each item on a thread of its own, waited for at once: one transfer at a time.
        try {
            std::thread([this, move, i, &stop] { transferOne(move, i, stop); }).join();
        } catch (const std::system_error&) {
            transferOne(move, i, stop);
        }
    }
}

void PasteboardData::transferOne(bool move, std::size_t index, const std::stop_token& stop) {
    const std::string& source = sourcePaths_[index];
    const std::string& display = displayNames_[index];
    const std::string newName = index < newNames_.size() ? newNames_[index] : std::string();
    std::uint64_t total = 0;
    OSErr status = FileTransfer::measure(source, total, stop);
    if (status == kNoErr) {
        const bool measured = total >= kMeasuredItemBytes;
        std::unique_ptr<DaemonDialogs::Notice> notice = dialogs_.showProgress(
            move ? "Now Moving..." : "Now Copying...",
            newName.empty() ? display : "  " + display + "\nto\n  " + newName + "\n", measured);
        FileTransfer::Options options{{}, stop, {}};
        if (measured && notice)
            options.progress = [&](std::uint64_t done) {
                notice->setProgress(static_cast<double>(done) / static_cast<double>(total));
            };
        status = move ? FileTransfer::moveObject(source, destPath_, newName, options)
                      : FileTransfer::copyObject(source, destPath_, newName, options);
    }

    const std::string header = display + (status == kFileNotFoundErr ? " was not found"
                                          : move                     ? " was not moved"
                                                                     : " was not copied");
    if (status == kUserCanceledErr) {
        // The daemon is stopping: no one is there to answer a panel.
        logLine(std::string(getCharSysTime()) + " Presto.daemon " + header + ": stopped\n");
        return;
    }
    if (status != kNoErr)
        alert(header, std::string("Result Code:").append(std::to_string(status)), "OK");
}

} // namespace presto
