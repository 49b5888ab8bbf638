#include "tests/fuzz/FuzzHarness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/mman.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace presto::fuzz {
namespace {

World makeWorld() {
    std::string root;
    if (const char* dir = std::getenv("PRESTO_FUZZ_WORK"); dir && *dir == '/') {
        root = dir;
    } else {
        std::string pattern = (fs::temp_directory_path() / "presto-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            fail("cannot create a work folder");
        root = pattern;
    }
    fs::path longDir = fs::path(root) / "a-folder-whose-name-is-long-enough" /
                       "to-push-the-path-past-the-inline-limit-of-a-reference";
    fs::create_directories(longDir);
    std::string shortPath = (fs::path(root) / "short").string();
    std::string longPath = (longDir / "item").string();
    std::ofstream(shortPath) << "short";
    std::ofstream(longPath) << "long";
    World w{root, shortPath, longPath, FileReferences(root + "/References")};
    if (!w.references.pathMakeRef(longPath))
        fail("cannot write the long path's reference file");
    return w;
}

} // namespace

const World& world() {
    static const World w = makeWorld();
    return w;
}

std::string inputFile(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("presto-fuzz-input", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        fail("memfd");
    if (size > 0 && pwrite(fd, data, size, 0) != ssize_t(size))
        fail("memfd write");
    return "/proc/self/fd/" + std::to_string(fd);
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace presto::fuzz
