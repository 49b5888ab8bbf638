#pragma once

#include "common/FileReferences.h"
#include "common/HotKeyRec.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The data file "PrestoData.data":
//   0  4  version "0511" (no terminator)
//   4  4  signature "Prst"
//   8  .. entries back to back up to the end of the file, no count, no trailer.
// An entry is a 24-byte HotKeyRec followed by exactly itemCount file references of 80 bytes:
// 'F' 24 bytes, 'L' and 'P' 104 bytes, 'G' 24 + 80 * itemCount. At most 100 entries.
// Damaged files: the daemon keeps a cut entry as far as it reads; the configuration
// application drops what does not read whole. Neither examines version or signature bytes.
namespace presto {

inline constexpr char kDataFileVersion[] = "0511";
inline constexpr char kDataFileSignature[] = "Prst";
inline constexpr std::size_t kDataFileHeaderSize = 8;
inline constexpr std::size_t kFileRefSize = 80;
inline constexpr int kMaxHotKeys = 100;

// One hot key as the writer takes it: the record and the paths of its references.
struct DataFileEntry {
    HotKeyRec rec;
    std::vector<std::string> paths;
};

// The whole file's bytes: header, then each entry whose every path becomes a reference and whose
// itemCount equals its number of paths; any other entry is left out whole.
std::vector<std::uint8_t> encodeDataFile(const std::vector<DataFileEntry>& entries,
                                         const FileReferences& references);

// One entry as the daemon reads it: the record and the reference bytes that followed it, which
// fall short of itemCount * 80 when the file ends early.
struct DataFileRawEntry {
    HotKeyRec rec;
    std::vector<std::uint8_t> references;
};

// The daemon's reading: a missing file or short header gives nothing; at most 100 entries.
std::vector<DataFileRawEntry> readDataFileEntries(const std::string& path);

// The configuration application's reading, one piece at a time; a short read ends each step.
class DataFileReader {
public:
    explicit DataFileReader(const std::string& path);
    ~DataFileReader();
    DataFileReader(const DataFileReader&) = delete;
    DataFileReader& operator=(const DataFileReader&) = delete;

    // False when the file is missing or shorter than the header.
    bool hasHeader() const { return hasHeader_; }
    const std::string& version() const { return version_; }
    const std::string& signature() const { return signature_; }

    std::optional<HotKeyRec> nextRecord();
    std::optional<FileRef> nextReference();

private:
    std::FILE* file_ = nullptr;
    bool hasHeader_ = false;
    std::string version_;
    std::string signature_;
};

} // namespace presto
