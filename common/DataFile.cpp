#include "common/DataFile.h"

#include "common/FileIo.h"

#include <cstring>

namespace presto {

static_assert(sizeof(FileRef) == kFileRefSize);

std::vector<std::uint8_t> encodeDataFile(const std::vector<DataFileEntry>& entries,
                                         const FileReferences& references) {
    std::vector<std::uint8_t> out(kDataFileHeaderSize);
    std::memcpy(out.data(), kDataFileVersion, 4);
    std::memcpy(out.data() + 4, kDataFileSignature, 4);

    std::vector<FileRef> refs;
    for (const DataFileEntry& entry : entries) {
        if (entry.paths.size() != entry.rec.itemCount)
            continue;
        refs.clear();
        for (std::size_t i = 0; i < entry.paths.size(); ++i) {
            auto ref = i < entry.refs.size() && entry.refs[i]
                           ? entry.refs[i]
                           : references.pathMakeRef(entry.paths[i]);
            if (!ref)
                break;
            refs.push_back(*ref);
        }
        if (refs.size() != entry.paths.size())
            continue;
        auto rec = entry.rec.toBytes();
        out.insert(out.end(), rec.begin(), rec.end());
        for (const FileRef& ref : refs)
            out.insert(out.end(), ref.begin(), ref.end());
    }
    return out;
}

std::vector<DataFileRawEntry> readDataFileEntries(std::FILE* stream) {
    std::vector<DataFileRawEntry> entries;
    std::uint8_t header[kDataFileHeaderSize];
    if (!stream || std::fread(header, 1, sizeof header, stream) != sizeof header)
        return entries;

    while (entries.size() < std::size_t(kMaxHotKeys)) {
        HotKeyRec::Bytes bytes;
        if (std::fread(bytes.data(), 1, bytes.size(), stream) != bytes.size())
            break;
        DataFileRawEntry& entry = entries.emplace_back();
        entry.rec = HotKeyRec::fromBytes(bytes);
        // Bounded by the one-byte itemCount: at most 20400 bytes.
        entry.references.resize(std::size_t(entry.rec.itemCount) * kFileRefSize);
        std::size_t got = std::fread(entry.references.data(), 1, entry.references.size(), stream);
        entry.references.resize(got);
    }
    return entries;
}

std::vector<DataFileRawEntry> readDataFileEntries(const std::string& path) {
    std::FILE* stream = openRegularFileStream(path);
    if (!stream)
        return {};
    auto entries = readDataFileEntries(stream);
    std::fclose(stream);
    return entries;
}

DataFileReader::DataFileReader(const std::string& path)
    : file_(openRegularFileStream(path)), ownsFile_(true) {
    readHeader();
}

DataFileReader::DataFileReader(std::FILE* stream) : file_(stream) {
    readHeader();
}

DataFileReader::~DataFileReader() {
    if (file_ && ownsFile_)
        std::fclose(file_);
}

void DataFileReader::readHeader() {
    ended_ = file_ == nullptr;
    char header[kDataFileHeaderSize];
    if (!readWhole(header, sizeof header))
        return;
    hasHeader_ = true;
    version_.assign(header, 4);
    signature_.assign(header + 4, 4);
}

bool DataFileReader::readWhole(void* buffer, std::size_t size) {
    if (ended_)
        return false;
    if (std::fread(buffer, 1, size, file_) != size)
        ended_ = true;
    return !ended_;
}

std::optional<HotKeyRec> DataFileReader::nextRecord() {
    HotKeyRec::Bytes bytes;
    if (!readWhole(bytes.data(), bytes.size()))
        return std::nullopt;
    return HotKeyRec::fromBytes(bytes);
}

std::optional<FileRef> DataFileReader::nextReference() {
    FileRef ref;
    if (!readWhole(ref.data(), ref.size()))
        return std::nullopt;
    return ref;
}

} // namespace presto
