#include "platform/linux/ClipboardPasteboard.h"

#include "common/ClipboardTypes.h"
#include "platform/linux/Subprocess.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace presto {
namespace {

using subprocess::Helper;

constexpr std::string_view kGnomeCopiedFiles = "x-special/gnome-copied-files";

enum class Display { Wayland, X11 };

// The displays to try, preferred first; empty without any display.
std::vector<Display> displays() {
    std::vector<Display> found;
    for (auto [variable, display] :
         {std::pair{"WAYLAND_DISPLAY", Display::Wayland}, std::pair{"DISPLAY", Display::X11}}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            found.push_back(display);
    }
    return found;
}

std::optional<std::string> writeType(const std::string& typeIdentifier) {
    if (typeIdentifier == kUtf8PlainTextType)
        return "text/plain;charset=utf-8";
    if (typeIdentifier == kTiffType)
        return "image/tiff";
    if (typeIdentifier == kFileUrlType)
        return "text/uri-list";
    return std::nullopt;
}

std::vector<std::string> readTypes(const std::string& typeIdentifier) {
    if (typeIdentifier == kUtf8PlainTextType)
        return {"text/plain;charset=utf-8", "text/plain"};
    if (typeIdentifier == kTiffType)
        return {"image/tiff"};
    if (typeIdentifier == kFileUrlType)
        return {"text/uri-list", std::string(kGnomeCopiedFiles)};
    return {};
}

std::vector<std::string> writerCommand(Display display, const std::string& mime) {
    if (display == Display::Wayland)
        return {"wl-copy", "--type", mime};
    return {"xclip", "-selection", "clipboard", "-t", mime, "-i"};
}

std::vector<std::string> readerCommand(Display display, const std::string& mime) {
    // wl-paste adds a newline to text unless told not to.
    if (display == Display::Wayland)
        return {"wl-paste", "--no-newline", "--type", mime};
    return {"xclip", "-selection", "clipboard", "-o", "-t", mime};
}

// GNOME's file list: an operation line ("copy" or "cut"), then one URI a line.
std::vector<std::uint8_t> uriListFromGnomeCopiedFiles(const std::vector<std::uint8_t>& data) {
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    std::string list;
    std::size_t start = text.find('\n');
    while (start != std::string_view::npos && start < text.size()) {
        std::size_t end = text.find('\n', start + 1);
        std::string_view uri = text.substr(
            start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1);
        if (uri.ends_with('\r'))
            uri.remove_suffix(1);
        if (!uri.empty())
            list.append(uri).append("\r\n");
        start = end;
    }
    return {list.begin(), list.end()};
}

} // namespace

bool ClipboardPasteboard::writePicture(const std::vector<std::uint8_t>& tiff) {
    for (Display display : displays()) {
        std::vector<std::string> command{pictureHelper_};
        if (display == Display::Wayland)
            command.emplace_back("--png");
        int error = 0;
        auto helper = Helper::start(command, Helper::Pipe::ToStdin, error);
        if (!helper)
            return false;
        // Converting a large picture takes longer than handing it over.
        auto deadline = subprocess::Clock::now() + 4 * helperTimeout_;
        if (helper->writeAll(tiff, deadline) && helper->succeeded(deadline))
            return true;
    }
    return false;
}

bool ClipboardPasteboard::replaceContents(const std::string& typeIdentifier,
                                          const std::vector<std::uint8_t>& data) {
    std::optional<std::string> mime = writeType(typeIdentifier);
    if (!mime)
        return false;
    if (typeIdentifier == kTiffType && !pictureHelper_.empty() && writePicture(data))
        return true;
    for (Display display : displays()) {
        int error = 0;
        auto helper = Helper::start(writerCommand(display, *mime), Helper::Pipe::ToStdin, error);
        if (!helper) {
            if (error == ENOENT)
                continue;
            return false;
        }
        // xclip and wl-copy read everything, then fork a server and let the foreground exit:
        // that exit is the sign that the clipboard holds the data.
        auto deadline = subprocess::Clock::now() + helperTimeout_;
        return helper->writeAll(data, deadline) && helper->succeeded(deadline);
    }
    return false;
}

std::optional<std::vector<std::uint8_t>>
ClipboardPasteboard::contents(const std::string& typeIdentifier) {
    std::vector<std::string> mimes = readTypes(typeIdentifier);
    for (Display display : displays()) {
        bool helperFound = false;
        for (const std::string& mime : mimes) {
            int error = 0;
            auto helper =
                Helper::start(readerCommand(display, mime), Helper::Pipe::FromStdout, error);
            if (!helper) {
                if (error == ENOENT)
                    break;
                return std::nullopt;
            }
            helperFound = true;
            auto deadline = subprocess::Clock::now() + helperTimeout_;
            auto data = helper->readAll(deadline, kMaxReadBytes);
            if (data && data->size() > kMaxReadBytes) {
                if (log_)
                    log_("the clipboard's " + mime + " is larger than " +
                         std::to_string(kMaxReadBytes) + " bytes: not taken");
                return std::nullopt;
            }
            if (data && helper->succeeded(deadline))
                return mime == kGnomeCopiedFiles ? uriListFromGnomeCopiedFiles(*data) : *data;
        }
        if (helperFound)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace presto
