#pragma once

#include "common/FileReferences.h"
#include "common/Locations.h"
#include "common/PrefSocket.h"
#include "config/model/AlertPresenter.h"
#include "config/model/HotKeyFinderFunction.h"
#include "config/model/HotKeyItem.h"
#include "config/model/HotKeyPbItem.h"

#include <QCoreApplication>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace presto {

// The configuration application's one model object: the launch hot keys, the whole Finder
// catalogue and the pasteboard hot keys, each list in table order and owning its hot keys, plus
// where the data lives and what its file's header said.
//
// Index arguments out of range change nothing: adders and replacers then drop the object and
// answer false, getters answer null.
//
// The data folder is the folder of savePath. Saving writes a temporary file there and renames it
// over the data file, so the daemon, reading at any moment, sees the old file or the new one whole.
//
// A file a hot key opens may go away (moved to the trash, on a drive not mounted) and come back.
// Its path stays in the hot key, for the user to see and remove, and is saved with the reference
// bytes it was read or last saved with, so the daemon keeps the entry and opens the file again
// once it is back. Only a path that was never saved is left out when nothing is there.
class DataStore {
    Q_DECLARE_TR_FUNCTIONS(DataStore)

public:
    // Takes its files from `locations` (data file, snapshot folder, long-reference folder, the
    // daemon's socket) and loads the data file, asking `alerts` when it is broken. `alerts` must
    // outlive the store.
    DataStore(const Locations& locations, AlertPresenter& alerts);
    DataStore(const DataStore&) = delete;
    DataStore& operator=(const DataStore&) = delete;

    // Writes the data file and tells the daemon to reload. With no hot key and no entry in the
    // file, nothing is written but the daemon is told all the same; after a refusal or a failure
    // (each shown to the user) nothing is written and the daemon is not told.
    void saveItemData();
    // Makes sure the data folder with a data file and, while pasteboard hot keys exist, the
    // snapshot folder are there, asking before creating either. True when saving may go on.
    bool exsistSavePath();
    // Empties the launch and pasteboard lists and takes every Finder function's key away. Files
    // stay as they are.
    void removeItemData();
    // Size in bytes of the data file; 0 when there is none.
    int checkDataSize() const;

    // Launch hot keys.
    void addHotKeyItem(std::unique_ptr<HotKeyItem> item);
    // Before the index; the count appends.
    bool insertHotKeyItem(std::unique_ptr<HotKeyItem> item, qsizetype index);
    HotKeyItem* hotKeyItem(qsizetype index) const;
    bool removeHotKeyItem(qsizetype index);
    bool exChangeItem(qsizetype index, qsizetype withIndex);
    bool replaceHotKeyItem(std::unique_ptr<HotKeyItem> item, qsizetype index);
    // `to` is a drop row counted before the move: the count moves to the end, `from` and
    // `from` + 1 change nothing.
    bool moveItem(qsizetype from, qsizetype to);
    qsizetype countHotKeyItem() const { return static_cast<qsizetype>(hotKeyItems_.size()); }
    const HotKeyItemList& hotKeyItems() const { return hotKeyItems_; }
    void setHotKeyItems(HotKeyItemList items) { hotKeyItems_ = std::move(items); }

    // The Finder catalogue; it is replaced whole, never grown or shrunk.
    HotKeyFinderFunction* hotKeyFinderFunction(qsizetype index) const;
    qsizetype countHotKeyFinderFunction() const {
        return static_cast<qsizetype>(hotKeyFinderFunctions_.size());
    }
    const HotKeyFinderFunctionList& hotKeyFinderFunctions() const { return hotKeyFinderFunctions_; }
    void setHotKeyFinderFunctions(HotKeyFinderFunctionList functions) {
        hotKeyFinderFunctions_ = std::move(functions);
    }
    bool replaceHotKeyFinderFunction(std::unique_ptr<HotKeyFinderFunction> function,
                                     qsizetype index);

    // Pasteboard hot keys.
    void addHotKeyPbItem(std::unique_ptr<HotKeyPbItem> item);
    bool insertHotKeyPbItem(std::unique_ptr<HotKeyPbItem> item, qsizetype index);
    HotKeyPbItem* hotKeyPbItem(qsizetype index) const;
    bool removeHotKeyPbItem(qsizetype index);
    // Also deletes the snapshot file; the element goes even when the file cannot.
    bool removeHotKeyPbItemData(qsizetype index);
    bool exChangeHotKeyPbItem(qsizetype index, qsizetype withIndex);
    bool replaceHotKeyPbItem(std::unique_ptr<HotKeyPbItem> item, qsizetype index);
    bool moveHotKeyPbItem(qsizetype from, qsizetype to);
    qsizetype countHotKeyPbItem() const { return static_cast<qsizetype>(hotKeyPbItems_.size()); }
    const HotKeyPbItemList& hotKeyPbItems() const { return hotKeyPbItems_; }
    void setHotKeyPbItems(HotKeyPbItemList items) { hotKeyPbItems_ = std::move(items); }

    // Where a combination is bound already: i in the launch list, 1000 + i in the catalogue,
    // 2000 + i in the pasteboard list, -1 nowhere. The first hit wins; characters are not
    // compared, and catalogue entries never given a key are skipped.
    int isDupKey(std::uint32_t eventType, std::uint32_t modFlags, std::uint32_t keyCode) const;
    int isDupHotKeyRec(const HotKeyRec& rec) const;
    int isDupHotKey(const HotKey& hotKey) const;
    // Masks the event's modifiers as a record made from it would.
    int isDupKeyEvent(const KeyEvent& event) const;
    // Whether a single-path launch hot key launches this path; groups are not searched.
    bool isDupItem(const QString& path) const;
    // Whether a snapshot of this title exists already.
    bool isDupPbItem(const QString& title) const;

    // All hot keys: launch, assigned Finder functions and pasteboard.
    int countHotKey() const;
    // The most paths of any launch hot key; 0 without one.
    int maxItemCount() const;

    const QString& savePath() const { return savePath_; }
    void setSavePath(const QString& path) { savePath_ = path; }
    const QString& savePbDataDir() const { return savePbDataDir_; }
    void setSavePbDataDir(const QString& dir) { savePbDataDir_ = dir; }
    // None until a data file's header was read.
    const std::optional<QString>& versionNo() const { return versionNo_; }
    void setVersionNo(const std::optional<QString>& versionNo) { versionNo_ = versionNo; }
    const std::optional<QString>& signature() const { return signature_; }
    void setSignature(const std::optional<QString>& signature) { signature_ = signature; }

private:
    void loadItemData();
    // The path a reference read from the file names, its bytes kept for later saves.
    std::optional<std::string> keepReference(const FileRef& ref);
    // A fresh reference for a path that exists, else the one it was read or saved with.
    std::optional<FileRef> referenceFor(const std::string& path);
    bool makeDirectory(const QString& path);
    bool writeItemData();

    AlertPresenter& alerts_;
    PrefSocket prefSocket_;
    FileReferences references_;
    std::unordered_map<std::string, FileRef> storedRefs_;
    HotKeyItemList hotKeyItems_;
    HotKeyFinderFunctionList hotKeyFinderFunctions_;
    HotKeyPbItemList hotKeyPbItems_;
    QString savePath_;
    QString savePbDataDir_;
    std::optional<QString> versionNo_;
    std::optional<QString> signature_;
};

} // namespace presto
