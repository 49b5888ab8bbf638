#pragma once

#include "platform/Pasteboard.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace presto {

// The desktop clipboard through helper programs found in PATH: wl-copy/wl-paste when
// WAYLAND_DISPLAY is set, xclip when DISPLAY is set (tried in that order, so a Wayland session
// without wl-clipboard still works through XWayland). Type identifiers travel as MIME types:
//   public.utf8-plain-text  text/plain;charset=utf-8 (read: also text/plain)
//   public.tiff             image/tiff
//   public.file-url         text/uri-list (read: also x-special/gnome-copied-files)
// A picture is written through our own helper, PrestoClip, when one is given: on X11 it serves
// image/png beside image/tiff from one owner, on Wayland it hands wl-copy the PNG alone. Without
// the helper, or when it fails, the picture goes out as image/tiff alone.
// Data larger than kMaxReadBytes is not taken: reading stops there, and `log` says so.
class ClipboardPasteboard final : public Pasteboard {
public:
    static constexpr std::size_t kMaxReadBytes = 16u << 20;
    using Log = std::function<void(const std::string&)>;

    // How long a helper may take to accept or deliver the data before it is killed.
    explicit ClipboardPasteboard(std::chrono::milliseconds helperTimeout = std::chrono::seconds(3),
                                 std::string pictureHelper = {}, Log log = {})
        : helperTimeout_(helperTimeout), pictureHelper_(std::move(pictureHelper)),
          log_(std::move(log)) {}

    bool replaceContents(const std::string& typeIdentifier,
                         const std::vector<std::uint8_t>& data) override;
    std::optional<std::vector<std::uint8_t>> contents(const std::string& typeIdentifier) override;

private:
    bool writePicture(const std::vector<std::uint8_t>& tiff);

    std::chrono::milliseconds helperTimeout_;
    std::string pictureHelper_;
    Log log_;
};

} // namespace presto
