#pragma once

#include "common/FileReferences.h"
#include "common/HotKeyRec.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The data file "PrestoData.data", little-endian:
//   0  4  version "0511" (no terminator)
//   4  4  signature "Prst"
//   8  .. entries back to back up to the end of the file, no count, no trailer.
// An entry is a 24-byte HotKeyRec followed by exactly itemCount file references of 80 bytes
// (FileReferences.h): 'F' 24 bytes, 'L' and 'P' 104 bytes, 'G' 24 + 80 * itemCount. itemCount is
// one byte, so an entry never exceeds 24 + 255 * 80 = 20424 bytes. At most 100 entries count.
// Damaged files, for both readers: a missing file, anything but a regular file, or one shorter
// than the header holds nothing. Reading stops at the first record that does not read whole; a
// read error counts as the end of the file. The daemon keeps a cut entry's record with the
// reference bytes that were there (fewer than itemCount * 80); the configuration application's
// reader hands out only whole records and references. Neither examines version or signature
// bytes, kind or itemCount.
namespace presto {

inline constexpr char kDataFileVersion[] = "0511";
inline constexpr char kDataFileSignature[] = "Prst";
inline constexpr std::size_t kDataFileHeaderSize = 8;
inline constexpr std::size_t kFileRefSize = 80;
inline constexpr int kMaxHotKeys = 100;

// One hot key as the writer takes it: the record and the paths of its references. A path may come
// with its reference made already (`refs`, by index; shorter than `paths` or empty where none
// was): it is written as it is, whether or not anything exists at the path now.
struct DataFileEntry {
    HotKeyRec rec;
    std::vector<std::string> paths;
    std::vector<std::optional<FileRef>> refs = {};
};

// The whole file's bytes: header, then each entry whose every path has a reference, given or
// made now, and whose itemCount equals its number of paths; any other entry is left out whole.
// Entries are written in the order given and not counted: keeping to 100 is the caller's rule.
std::vector<std::uint8_t> encodeDataFile(const std::vector<DataFileEntry>& entries,
                                         const FileReferences& references);

// One entry as the daemon reads it: the record and the reference bytes that followed it, which
// fall short of itemCount * 80 only for the last entry of a cut file.
struct DataFileRawEntry {
    HotKeyRec rec;
    std::vector<std::uint8_t> references;
};

// The daemon's reading: a missing file or short header gives nothing; at most 100 entries.
std::vector<DataFileRawEntry> readDataFileEntries(const std::string& path);
// The same from an open stream at the start of the file; the caller keeps the stream.
std::vector<DataFileRawEntry> readDataFileEntries(std::FILE* stream);

// The configuration application's reading, one piece at a time. The first read that does not
// come back whole ends the file: it and every later one give nullopt.
class DataFileReader {
public:
    explicit DataFileReader(const std::string& path);
    // Reads an open stream from its start; the caller keeps the stream and closes it afterwards.
    explicit DataFileReader(std::FILE* stream);
    ~DataFileReader();
    DataFileReader(const DataFileReader&) = delete;
    DataFileReader& operator=(const DataFileReader&) = delete;

    // False when the file is missing or shorter than the header; then nothing follows.
    bool hasHeader() const { return hasHeader_; }
    // The header's bytes 0-3 and 4-7 as they are; empty without a header.
    const std::string& version() const { return version_; }
    const std::string& signature() const { return signature_; }

    std::optional<HotKeyRec> nextRecord();
    std::optional<FileRef> nextReference();

private:
    void readHeader();
    bool readWhole(void* buffer, std::size_t size);

    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    bool hasHeader_ = false;
    bool ended_ = true;
    std::string version_;
    std::string signature_;
};

} // namespace presto
