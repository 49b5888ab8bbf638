#pragma once

#include "common/DataFile.h"
#include "common/FileReferences.h"
#include "common/HotKeyRec.h"
#include "common/Locations.h"
#include "common/PreferenceDomain.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace presto::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& text, bool withTerminator = false) {
    Bytes bytes(text.begin(), text.end());
    if (withTerminator)
        bytes.push_back(0);
    return bytes;
}

inline HotKeyRec hotKey(std::uint32_t keyCode, std::uint32_t modFlags, char kind = kKindLaunch,
                        std::uint8_t itemCount = 1, std::uint8_t finderItemNo = 0) {
    return HotKeyRec{kKeyDownEventType, modFlags,     keyCode, 'a', 'a', kind,
                     itemCount,         finderItemNo, 0};
}

// What the key-capture side sends for a press: the record with whatever the event carried.
inline Bytes pressOf(const HotKeyRec& rec) {
    auto bytes = rec.toBytes();
    return Bytes(bytes.begin(), bytes.end());
}

inline void writeBytes(const std::string& path, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void writeDataFile(const Locations& loc, const std::vector<DataFileEntry>& entries) {
    writeBytes(loc.dataFilePath(), encodeDataFile(entries, FileReferences(loc.referencesDir())));
}

inline FileRef refTo(const Locations& loc, const std::string& path) {
    return *FileReferences(loc.referencesDir()).pathMakeRef(path);
}

// Changes one preference domain as the configuration application or the assistant would.
inline void editPreferences(const Locations& loc, const char* domain,
                            const std::function<void(PreferenceDomain&)>& edit) {
    PreferenceDomain prefs(loc.preferenceFile(domain));
    edit(prefs);
    prefs.synchronize();
}

inline void writeExecutable(const std::string& path, const std::string& script) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << script;
    ::chmod(path.c_str(), 0755);
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls until `done` holds or the time-out passes; true when it held. The ceiling is generous: a
// loaded machine running sanitized builds may take seconds where an idle one takes milliseconds.
inline bool eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A connected client socket, or -1.
inline int connectTo(const std::string& socketPath) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    socketPath.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    timeval timeout{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

// Everything the peer sends until it closes; nullopt on error or time-out.
inline std::optional<Bytes> readToEnd(int fd) {
    Bytes reply;
    std::uint8_t chunk[8192];
    for (;;) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return reply;
        reply.insert(reply.end(), chunk, chunk + n);
    }
}

// One request as the daemon's clients make it: connect, send, read the reply until the daemon
// closes. nullopt when no connection could be made or the reply did not end.
inline std::optional<Bytes> request(const std::string& socketPath, const Bytes& message) {
    int fd = connectTo(socketPath);
    if (fd < 0)
        return std::nullopt;
    if (message.empty())
        ::shutdown(fd, SHUT_WR);
    else if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL) !=
             static_cast<ssize_t>(message.size())) {
        ::close(fd);
        return std::nullopt;
    }
    auto reply = readToEnd(fd);
    ::close(fd);
    return reply;
}

} // namespace presto::test
