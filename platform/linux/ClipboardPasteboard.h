#pragma once

#include "platform/Pasteboard.h"

#include <chrono>

namespace presto {

// The desktop clipboard through helper programs found in PATH: wl-copy/wl-paste when
// WAYLAND_DISPLAY is set, xclip when DISPLAY is set (tried in that order, so a Wayland session
// without wl-clipboard still works through XWayland). Type identifiers travel as MIME types:
//   public.utf8-plain-text  text/plain;charset=utf-8 (read: also text/plain)
//   public.tiff             image/tiff
//   public.file-url         text/uri-list (read: also x-special/gnome-copied-files)
// Each type is offered alone: offering image/png beside image/tiff would need both a converter
// and a helper that serves two targets at once, and is left for later.
class ClipboardPasteboard final : public Pasteboard {
public:
    // How long a helper may take to accept or deliver the data before it is killed.
    explicit ClipboardPasteboard(std::chrono::milliseconds helperTimeout = std::chrono::seconds(3))
        : helperTimeout_(helperTimeout) {}

    bool replaceContents(const std::string& typeIdentifier,
                         const std::vector<std::uint8_t>& data) override;
    std::optional<std::vector<std::uint8_t>> contents(const std::string& typeIdentifier) override;

private:
    std::chrono::milliseconds helperTimeout_;
};

} // namespace presto
