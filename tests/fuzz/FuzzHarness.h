#pragma once

#include "common/FileReferences.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What the fuzz targets and the seed generator share: a work folder with a references folder and
// two files that exist, one with a short and one with a long path, so seeds hold references that
// resolve. The folder is $PRESTO_FUZZ_WORK, else a fresh temporary one.
namespace presto::fuzz {

struct World {
    std::string root;
    std::string shortPath;
    std::string longPath;
    FileReferences references;
};

const World& world();

// Puts the input into an in-memory file and returns a path that opens it, so the readers are
// driven through their real file API without touching the disk.
std::string inputFile(const std::uint8_t* data, std::size_t size);

// Stops the run with a crash libFuzzer records, when a reader broke one of its promises.
[[noreturn]] void fail(const char* what);

} // namespace presto::fuzz
