#include "daemon/Daemon.h"

#include "common/PrefSocket.h"
#include "common/ReloadNotice.h"
#include "daemon/FinderFunctions.h"
#include "daemon/Log.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <thread>

namespace presto {
namespace {

constexpr std::chrono::milliseconds kRepreparePause(1000);

// True when a stop was requested during the pause.
bool pauseUnlessStopped(const ServerSocket& server, std::chrono::milliseconds pause) {
    constexpr auto kSlice = std::chrono::milliseconds(50);
    for (auto waited = std::chrono::milliseconds(0); waited < pause; waited += kSlice) {
        if (server.stopRequested())
            return true;
        std::this_thread::sleep_for(kSlice);
    }
    return server.stopRequested();
}

// A diagnostic put together without printf: unknown keys may come by the thousand.
class LogText {
public:
    LogText& operator<<(std::string_view text) {
        std::size_t n = std::min(text.size(), sizeof text_ - length_);
        std::memcpy(text_ + length_, text.data(), n);
        length_ += n;
        return *this;
    }
    LogText& operator<<(long number) {
        auto result = std::to_chars(text_ + length_, text_ + sizeof text_, number);
        if (result.ec == std::errc())
            length_ = static_cast<std::size_t>(result.ptr - text_);
        return *this;
    }
    std::string_view text() const { return {text_, length_}; }

private:
    char text_[512];
    std::size_t length_ = 0;
};

} // namespace

bool matchesKeyword(const std::uint8_t* request, std::size_t length, const char* keyword) {
    std::size_t compared = std::min(length, std::strlen(keyword) + 1);
    return std::memcmp(request, keyword, compared) == 0;
}

Daemon::Daemon(const Locations& locations, LaunchActions& actions, AssistantControl& assistant,
               Clock& clock, FinderFunctions* finderFunctions)
    : actions_(actions), assistant_(assistant), clock_(clock), finderFunctions_(finderFunctions),
      dataFilePath_(locations.dataFilePath()), runtimeDir_(locations.runtimeDir),
      preference_(locations.preferenceFile(kPrestoDomain),
                  locations.preferenceFile(kPrestoAssistDomain)) {
    loadTables();
    storeSyncRec();
    savedServiceStatus_ = preference_.serviceStatus;
    savedShowIcon_ = preference_.showIcon;
}

void Daemon::loadTables() {
    // The old table goes first, so a reload of the largest file never holds two.
    data_ = PrefData();
    data_ = PrefData(dataFilePath_);
    kext_.resetPrefKEXT();
    renewTimeStamp();
    for (int i = 0; i < data_.getPrefDataCount(); ++i)
        kext_.setPrefKEXTRec(PrefKEXTRec::forHotKey(*data_.getHotKeyRec(i)), i);
}

void Daemon::renewTimeStamp() {
    timeStamp_ = std::to_string(static_cast<long>(clock_.seconds()));
}

void Daemon::storeSyncRec() {
    PrefKEXTSyncRec sync;
    sync.interval = preference_.kextInterval;
    sync.setTimeStamp(timeStamp_);
    kext_.setPrefKEXTSyncRec(sync);
}

void Daemon::reloadPreferences() {
    preference_.getPreference();
    if (preference_.serviceStatus != savedServiceStatus_) {
        renewTimeStamp();
        savedServiceStatus_ = preference_.serviceStatus;
    }
    if (preference_.showIcon != savedShowIcon_) {
        renewTimeStamp();
        savedShowIcon_ = preference_.showIcon;
    }
    storeSyncRec();
}

Daemon::Reply Daemon::dispatch(const std::uint8_t* request, std::size_t length) {
    length = std::min(length, ServerSocket::kBufferSize);
    Reply reply;
    if (matchesKeyword(request, length, kGetPrefMessage)) {
        reply.kind = Reply::Bytes;
        reply.name = kGetPrefMessage;
        reply.data = kext_.tableBytes();
        reply.size = savedServiceStatus_
                         ? static_cast<std::size_t>(data_.getPrefDataCount()) * PrefKEXTRec::kSize
                         : 0;
        assistant_.apply(preference_.showIcon);
    } else if (matchesKeyword(request, length, kGetVersMessage)) {
        reply.kind = Reply::Bytes;
        reply.name = kGetVersMessage;
        reply.data = kext_.syncBytes();
        reply.size = PrefKEXTSyncRec::kSize;
    } else if (matchesKeyword(request, length, kUpdatePrefMessage)) {
        reloadPreferences();
        touchReloadNotice(runtimeDir_);
    } else if (matchesKeyword(request, length, kUpdateDataMessage)) {
        loadTables();
        storeSyncRec();
        touchReloadNotice(runtimeDir_);
    } else {
        // A short request reads as zeros beyond its end.
        HotKeyRec::Bytes bytes{};
        std::copy_n(request, std::min(length, bytes.size()), bytes.begin());
        HotKeyRec pressed = HotKeyRec::fromBytes(bytes);
        if (const PrefData::Entry* entry = data_.srcHotKeyItemRec(pressed)) {
            press(pressed, *entry);
        } else {
            reply.kind = Reply::NotFound;
            reply.name = "NG";
            reply.data = kNotFoundReply;
            reply.size = sizeof kNotFoundReply;
            reply.pressed = pressed;
        }
    }
    return reply;
}

void Daemon::press(const HotKeyRec& pressed, const PrefData::Entry& entry) {
    std::vector<FileRef> refs = wholeReferences(entry);
    switch (entry.rec.kind) {
    case kKindFinder:
        if (finderFunctions_)
            finderFunctions_->LaunchFinderSystem(entry.rec.finderItemNo);
        break;
    case kKindGroup:
        for (std::size_t i = 0; i < refs.size() && i < entry.rec.itemCount; ++i)
            actions_.lsOpenFSRef(refs[i]);
        break;
    case kKindPasteboard:
        if (!refs.empty())
            actions_.Copy2Pasteboard(refs.front());
        break;
    case kKindLaunch:
        if (!refs.empty())
            pressLaunchItem(pressed, refs.front());
        break;
    default:
        break;
    }
}

void Daemon::pressLaunchItem(const HotKeyRec& pressed, const FileRef& ref) {
    const double now = clock_.preciseSeconds();
    const double elapsed = now - lastPressTime_;
    const double interval = preference_.hotKeyInterval;
    const bool secondPress = isSameHotKey(pressed, lastKey_) && interval > elapsed;

    switch (preference_.intervalKind) {
    case 0:
        actions_.lsOpenFSRef(ref);
        break;
    case 1:
        actions_.OpenDocument(ref);
        actions_.lsOpenFSRef(ref);
        break;
    case 2:
        if (secondPress) {
            if (!firstPressActed_) {
                delayed_.cancelPending();
                actions_.OpenDocument(ref);
                actions_.lsOpenFSRef(ref);
            }
        } else {
            firstPress(pressed, ref, now, false);
        }
        break;
    case 3:
        if (secondPress) {
            if (!firstPressActed_) {
                delayed_.cancelPending();
                actions_.lsOpenFSRef(ref);
            }
        } else {
            firstPress(pressed, ref, now, true);
        }
        break;
    default:
        break;
    }
}

void Daemon::firstPress(const HotKeyRec& pressed, const FileRef& ref, double now,
                        bool openDocument) {
    lastKey_ = pressed;
    lastPressTime_ = now;
    // With nothing selected, or an item that takes no files, a second press would open just the
    // same: waiting for it would only delay every launch. A second press then adds nothing.
    firstPressActed_ = !actions_.canOpenSelectionWith(ref);
    if (firstPressActed_) {
        if (openDocument)
            actions_.OpenDocument(ref);
        actions_.lsOpenFSRef(ref);
        return;
    }
    LaunchActions& actions = actions_;
    delayed_.start(preference_.hotKeyInterval, [&actions, ref, openDocument] {
        if (openDocument)
            actions.OpenDocument(ref);
        actions.lsOpenFSRef(ref);
    });
}

void Daemon::sendReply(ServerSocket& server, const Reply& reply) {
    if (reply.kind == Reply::None) {
        server.releaseSocket();
        return;
    }
    long sent = server.sendMessage(reply.data, reply.size);
    if (reply.kind != Reply::NotFound && sent >= 0)
        return;
    const char* when = getCharSysTime();
    LogText line;
    if (reply.kind == Reply::NotFound) {
        const std::uint32_t flags = reply.pressed.modFlags;
        auto bit = [flags](std::uint32_t mask) { return (flags & mask) ? 1L : 0L; };
        line << when << " Presto.daemon HotKey not found!! cmd=" << bit(kCommandBit)
             << " opt=" << bit(kOptionBit) << " ctr=" << bit(kControlBit)
             << " sft=" << bit(kShiftBit) << " cap=" << bit(kCapsLockBit)
             << " key=" << long(static_cast<int>(reply.pressed.keyCode)) << "\n";
    }
    // Never retried: the peer asks again when it polls next.
    line << when << " Presto.daemon sndMsg=" << reply.name << " iolen=" << sent << "\n";
    logLine(line.text());
}

int Daemon::run(ServerSocket& server) {
    for (;;) {
        ServerSocket::Received got = server.receiveMessage();
        switch (got.status) {
        case ServerSocket::Received::Stopped:
            return 0;
        case ServerSocket::Received::ReceiveFailed:
            continue;
        case ServerSocket::Received::AcceptFailed:
            logLine(std::string(getCharSysTime()) +
                    " Presto.daemon accept failure, preparing the socket again\n");
            if (pauseUnlessStopped(server, kRepreparePause))
                return 0;
            if (!server.prepareSocket())
                return 1;
            continue;
        case ServerSocket::Received::Message:
            break;
        }
        sendReply(server, dispatch(server.buffer(), got.length));
        delayed_.reapFinished();
    }
}

} // namespace presto
