#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

// Small file helpers shared by the data, snapshot and reference files.
namespace presto {

// Opens a regular file for reading (close-on-exec). Returns -1 for anything else: a FIFO or device
// planted where a data file belongs must not block or feed a reader forever.
int openRegularFile(const std::string& path);
// The same as a buffered stream, or nullptr.
std::FILE* openRegularFileStream(const std::string& path);

// Reads exactly size bytes unless the file ends or fails first; returns how many were read.
std::size_t readFully(int fd, void* buffer, std::size_t size);

// Writes all of `data`, through interruptions and short writes; false on any error.
bool writeAll(int fd, const void* data, std::size_t size);

// Writes the file through a hidden temporary file in the same folder and renames it over the
// path, so a reader sees either the old file or the whole new one. The file is private (0600).
bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace presto
