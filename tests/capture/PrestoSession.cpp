#include "tests/capture/PrestoSession.h"

#include "common/FileReferences.h"
#include "common/KeyCodeTable.h"
#include "common/PrefSocket.h"
#include "common/PreferenceDomain.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace presto::test {

using namespace std::chrono_literals;

namespace {

bool socketAnswers(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval oneSecond{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &oneSecond, sizeof oneSecond);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (ok) {
        // A whole request, so the daemon serves it like any other.
        ::send(fd, "GETVERS", 8, MSG_NOSIGNAL);
        char reply[16];
        ok = ::recv(fd, reply, sizeof reply, MSG_WAITALL) == sizeof reply;
    }
    ::close(fd);
    return ok;
}

} // namespace

PrestoSession::PrestoSession(const TempWorld& world, std::string display)
    : world_(world), display_(std::move(display)) {}

std::string PrestoSession::binDir() {
    if (const char* dir = std::getenv("PRESTO_BIN_DIR"); dir && *dir)
        return dir;
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin").string();
}

HotKeyRec PrestoSession::hotKey(std::uint32_t evdev, char16_t character, std::uint32_t modFlags) {
    auto mac = macKeyCodeForEvdev(evdev);
    if (!mac)
        throw std::runtime_error("no Mac key code for evdev " + std::to_string(evdev));
    return {kKeyDownEventType, modFlags, *mac, character, character, kKindLaunch, 1, 0, 0};
}

void PrestoSession::writePreferences(int intervalSeconds) {
    PreferenceDomain prefs(world_.locations().preferenceFile(kPrestoDomain));
    prefs.setInteger(kValueIntervalKEXT, intervalSeconds);
    prefs.setInteger(kKindIntervalHotKey, 0);
    prefs.setBool(kFlagShowIcon, false);
    if (!prefs.synchronize())
        throw std::runtime_error("cannot write the preferences");
}

void PrestoSession::setServiceStatus(bool on) {
    PreferenceDomain assist(world_.locations().preferenceFile(kPrestoAssistDomain));
    assist.setBool(kFlagServiceStatus, on);
    if (!assist.synchronize())
        throw std::runtime_error("cannot write the assistant's preferences");
    PrefSocket(world_.locations().socketPath).sendMessage(kUpdatePrefMessage, 8);
}

std::string PrestoSession::markerProgram(const std::string& name) {
    const std::string hitsFile = world_.path("hits/" + name);
    const std::string program =
        world_.writeFile("programs/" + name, "#!/bin/sh\necho hit >> '" + hitsFile + "'\n");
    fs::permissions(program, fs::perms::owner_all);
    return program;
}

int PrestoSession::hits(const std::string& name) const {
    std::ifstream in(fs::path(world_.root()) / "hits" / name);
    int count = 0;
    for (std::string line; std::getline(in, line);)
        ++count;
    return count;
}

bool PrestoSession::waitForHits(const std::string& name, int count,
                                std::chrono::milliseconds timeout) const {
    return waitUntil([&] { return hits(name) >= count; }, timeout);
}

void PrestoSession::writeData(const std::vector<std::pair<HotKeyRec, std::string>>& hotKeys) {
    std::vector<std::pair<HotKeyRec, std::string>> items;
    for (const auto& [rec, name] : hotKeys)
        items.emplace_back(rec, markerProgram(name));
    writeDataItems(items);
}

void PrestoSession::writeDataItems(const std::vector<std::pair<HotKeyRec, std::string>>& hotKeys) {
    std::vector<DataFileEntry> entries;
    for (const auto& [rec, path] : hotKeys)
        entries.push_back({rec, {path}});
    const Locations& loc = world_.locations();
    fs::create_directories(loc.dataFolder());
    auto bytes = encodeDataFile(entries, FileReferences(loc.referencesDir()));
    std::ofstream(loc.dataFilePath(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

void PrestoSession::startDaemon() {
    daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{binDir() + "/Presto.daemon"},
                                             std::vector<std::string>{"DISPLAY=" + display_},
                                             world_.path("daemon.log"));
    if (!waitUntil([&] { return socketAnswers(world_.locations().socketPath); }, 30s))
        throw std::runtime_error("Presto.daemon does not answer");
}

void PrestoSession::stopDaemon() {
    daemon_.reset();
}

void PrestoSession::startAgent(const std::vector<std::string>& extraEnv) {
    // X11 unless told otherwise, whatever session the tests run in: never the desktop's portal.
    std::vector<std::string> env{"DISPLAY=" + display_, "PRESTO_KEY_SOURCE=x11"};
    for (const std::string& entry : extraEnv) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(entry);
    }
    agent_ = std::make_unique<ChildProcess>(std::vector<std::string>{binDir() + "/PrestoKeys"}, env,
                                            world_.path("agent.log"));
}

void PrestoSession::stopAgent() {
    agent_.reset();
}

std::string PrestoSession::agentOutput() const {
    std::ifstream in(fs::path(world_.root()) / "agent.log");
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string PrestoSession::keysStatus() const {
    std::ifstream in(world_.locations().runtimeDir + "/keys-status");
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

} // namespace presto::test
