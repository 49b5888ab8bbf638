#pragma once

#include "daemon/FinderQueries.h"
#include "platform/DaemonDialogs.h"
#include "platform/Pasteboard.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace presto {

// One press of Copy to..., Move to... or their by-new-name forms: finds the destination folder
// from the file manager, takes the sources from the clipboard's file URLs, asks about name
// clashes (and for a new name per item), then transfers the items one after the other, each
// with a progress notice. Everything is prepared in the constructor; an empty source list means
// nothing will be transferred.
class PasteboardData {
public:
    static constexpr int kCopyByNewName = 1;
    static constexpr int kMoveByNewName = 2;
    // Items of at least this size show how far they have come instead of a pulsing notice.
    static constexpr std::uint64_t kMeasuredItemBytes = 64u << 20;

    // The plain modes: items keep their names.
    PasteboardData(FinderState& finder, Pasteboard& pasteboard, DaemonDialogs& dialogs);
    // kCopyByNewName or kMoveByNewName; a mode of 0 or less prepares nothing.
    PasteboardData(FinderState& finder, Pasteboard& pasteboard, DaemonDialogs& dialogs, int mode);

    // A stop request ends the item under way as stopped, keeping its source, and skips the rest.
    void copyPathsAll(std::stop_token stop = {});
    // Empties the clipboard before the first item: its URLs would name moved items.
    void movePathsAll(std::stop_token stop = {});

    const std::vector<std::string>& sourcePaths() const { return sourcePaths_; }
    const std::vector<std::string>& displayNames() const { return displayNames_; }
    const std::vector<std::string>& newNames() const { return newNames_; }
    // The destination folder, without a final "/"; empty when there is none.
    const std::string& destinationPath() const { return destPath_; }

    // A clipboard naming more items than this is taken for a mistake: nothing is transferred.
    static constexpr std::size_t kMaxItems = 100'000;

    // The local paths of a text/uri-list, in order. A URL that is not a local file:// URL, or
    // whose path is not valid UTF-8, is left out. Past kMaxItems + 1 paths the rest is not read.
    static std::vector<std::string> fileUrlPaths(const std::vector<std::uint8_t>& uriList);

private:
    void prepare(int mode);
    bool getDestPathBuf();
    bool getDestFSRef();
    void readSources(int mode);
    enum class Clash { Include, Skip, Drop };
    Clash askReplace(const std::string& name);
    // 0 OK (the answer in `newName`), 1 CANCEL, 255 anything else.
    int displayDialog(int mode, const std::string& source, const std::string& name,
                      const std::optional<std::string>& extension, bool folder,
                      std::string& newName);
    bool isExist(const std::string& name) const;
    void clearLists();
    void transferAll(bool move, std::stop_token stop);
    void transferOne(bool move, std::size_t index, const std::stop_token& stop);
    void alert(const std::string& header, const std::string& message, const char* button);

    FinderState& finder_;
    Pasteboard& pasteboard_;
    DaemonDialogs& dialogs_;
    std::vector<std::string> sourcePaths_;
    std::vector<std::string> displayNames_;
    std::vector<std::string> newNames_;
    std::string scriptText_;
    std::string destPath_;
};

} // namespace presto
