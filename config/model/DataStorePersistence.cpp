#include "common/DataFile.h"
#include "common/FileIo.h"
#include "config/model/DataStore.h"
#include "config/model/HotKeyFinderFunctionData.h"
#include "config/model/ItemPathName.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace presto {

namespace {

std::string nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString qtPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

bool isDirectory(const QString& path) {
    struct stat st;
    return ::stat(nativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

AlertRequest notice(AlertStyle style, const QString& title, const QString& message,
                    const QStringList& buttons) {
    return AlertRequest{title, message, buttons, style};
}

} // namespace

void DataStore::loadItemData() {
    DataFileReader reader(nativePath(savePath_));
    if (!reader.hasHeader())
        return;
    versionNo_ = QString::fromLatin1(reader.version().data(), 4);
    signature_ = QString::fromLatin1(reader.signature().data(), 4);

    HotKeyFinderFunctionData catalogue;
    while (auto rec = reader.nextRecord()) {
        if (rec->kind == kKindLaunch || rec->kind == kKindGroup) {
            auto item = std::make_unique<HotKeyItem>(*rec);
            for (int i = 0; i < rec->itemCount; ++i) {
                auto ref = reader.nextReference();
                if (!ref)
                    break;
                if (auto path = keepReference(*ref))
                    item->addItemPath(qtPath(*path));
            }
            if (item->itemPaths().isEmpty())
                continue;
            if (!item->selfVerify()) {
                alerts_.run(notice(AlertStyle::Informational, tr("The data file is broken"),
                                   tr("Newly, the data file is created"), {tr("OK")}));
                break;
            }
            if (item->itemCount().value_or(0) >= 1)
                hotKeyItems_.push_back(std::move(item));
        } else if (rec->kind == kKindFinder) {
            if (rec->finderItemNo != 0)
                catalogue.replaceHotKey(*rec);
        } else if (rec->kind == kKindPasteboard) {
            auto ref = reader.nextReference();
            auto path = ref ? keepReference(*ref) : std::nullopt;
            if (!path)
                continue;
            auto item = std::make_unique<HotKeyPbItem>(*rec);
            item->setPbDataPath(qtPath(*path));
            item->setPbTitle(lastPathComponent(item->pbDataPath()));
            hotKeyPbItems_.push_back(std::move(item));
        }
    }
    hotKeyFinderFunctions_ = catalogue.takeHotKeyFinderFunctions();
}

std::optional<std::string> DataStore::keepReference(const FileRef& ref) {
    auto path = references_.refNamedPath(ref);
    if (path)
        storedRefs_[*path] = ref;
    return path;
}

std::optional<FileRef> DataStore::referenceFor(const std::string& path) {
    if (auto ref = references_.pathMakeRef(path)) {
        storedRefs_[path] = *ref;
        return ref;
    }
    const auto stored = storedRefs_.find(path);
    if (stored == storedRefs_.end())
        return std::nullopt;
    return stored->second;
}

void DataStore::saveItemData() {
    if (countHotKey() != 0 || checkDataSize() >= 9) {
        if (!exsistSavePath() || !writeItemData())
            return;
    }
    // A daemon that is not running reloads at its next start; nothing to tell the user.
    prefSocket_.sendMessage(kUpdateDataMessage, 8);
}

bool DataStore::writeItemData() {
    std::vector<DataFileEntry> entries;
    for (const auto& item : hotKeyItems_) {
        if (!item->selfVerify() || item->itemPaths().isEmpty())
            continue;
        DataFileEntry entry{item->hotKeyRec(), {}, {}};
        for (const QString& path : item->itemPaths()) {
            // Gone before it was ever saved: there is nothing to keep of it.
            auto ref = referenceFor(nativePath(path));
            if (!ref)
                continue;
            entry.paths.push_back(nativePath(path));
            entry.refs.push_back(ref);
        }
        if (entry.paths.empty())
            continue;
        entry.rec.itemCount = static_cast<std::uint8_t>(entry.paths.size());
        entry.rec.kind = entry.paths.size() < 2 ? kKindLaunch : kKindGroup;
        entries.push_back(std::move(entry));
    }
    for (const auto& function : hotKeyFinderFunctions_) {
        if (function->kind() != kKindFinder)
            continue;
        HotKeyRec rec = function->hotKeyRec();
        // An 'F' record is never followed by references; a count here would misalign the file.
        rec.itemCount = 0;
        entries.push_back({rec, {}});
    }
    for (const auto& item : hotKeyPbItems_) {
        HotKeyRec rec = item->hotKeyRec();
        rec.kind = kKindPasteboard;
        rec.itemCount = 1;
        const std::string path = nativePath(item->pbDataPath());
        entries.push_back({rec, {path}, {referenceFor(path)}});
    }

    // An entry still without a reference for every path is left out whole by the encoder.
    const std::vector<std::uint8_t> bytes = encodeDataFile(entries, references_);
    if (writeFileAtomically(nativePath(savePath_), bytes))
        return true;
    alerts_.run(
        notice(AlertStyle::Critical, tr("Cannot open data file"), savePath_, {tr("Cancel")}));
    return false;
}

bool DataStore::exsistSavePath() {
    const QString dataFolder = QFileInfo(savePath_).path();
    const bool hadDataFolder = isDirectory(dataFolder);
    const bool hadPbDataDir = isDirectory(savePbDataDir_);

    if (!hadDataFolder) {
        if (alerts_.run(notice(AlertStyle::Critical, tr("This directory does not exist"),
                               dataFolder, {tr("OK Make directory"), tr("Cancel")})) != 0)
            return false;
        if (!makeDirectory(dataFolder))
            return false;
        const int fd =
            ::open(nativePath(savePath_).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0) {
            alerts_.run(notice(AlertStyle::Critical, tr("This file has not been created"),
                               savePath_, {tr("OK")}));
            return false;
        }
        ::close(fd);
        alerts_.run(notice(AlertStyle::Informational,
                           tr("This directory and file has been created"), savePath_, {tr("OK")}));
    }

    if (hadPbDataDir || hotKeyPbItems_.empty())
        return true;
    if (alerts_.run(notice(AlertStyle::Critical, tr("This directory does not exist"),
                           savePbDataDir_, {tr("OK Make directory"), tr("Cancel")})) != 0)
        return false;
    if (!makeDirectory(savePbDataDir_))
        return false;
    alerts_.run(notice(AlertStyle::Informational, tr("This directory has been created"),
                       savePbDataDir_, {tr("OK")}));
    return true;
}

// A fresh account may lack the folders above the data folder too; they are made private like it.
bool DataStore::makeDirectory(const QString& path) {
    const std::string native = nativePath(path);
    bool made = !native.empty();
    std::size_t slash = 0;
    while (made && slash != std::string::npos) {
        slash = native.find('/', slash + 1);
        made = ::mkdir(native.substr(0, slash).c_str(), 0700) == 0 || errno == EEXIST;
    }
    if (made && isDirectory(path))
        return true;
    alerts_.run(
        notice(AlertStyle::Critical, tr("This directory has not been created"), path, {tr("OK")}));
    return false;
}

void DataStore::removeItemData() {
    hotKeyItems_.clear();
    hotKeyPbItems_.clear();
    hotKeyFinderFunctions_ = HotKeyFinderFunctionData().takeHotKeyFinderFunctions();
}

int DataStore::checkDataSize() const {
    struct stat st;
    if (::stat(nativePath(savePath_).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return st.st_size > INT_MAX ? INT_MAX : static_cast<int>(st.st_size);
}

} // namespace presto
