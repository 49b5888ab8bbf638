#include "capture/Agent.h"

#include "capture/KeyText.h"
#include "capture/ReloadWatch.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace presto {
namespace {

constexpr auto kReplyTimeout = std::chrono::seconds(1);

const char* problemText(GrabProblem problem) {
    switch (problem) {
    case GrabProblem::HeldElsewhere:
        return "is held by another program";
    case GrabProblem::NoSuchKey:
        return "has no key on this keyboard";
    case GrabProblem::NoSuchModifier:
        return "needs a modifier this keyboard lacks";
    case GrabProblem::Unexpressible:
        return "cannot be given to the desktop as a shortcut";
    case GrabProblem::Refused:
        return "was refused by the desktop";
    case GrabProblem::Unconfirmed:
        return "waits for your confirmation on the desktop";
    case GrabProblem::Unoffered:
        return "cannot be bound: the key source binds no shortcuts";
    }
    return "cannot be grabbed";
}

} // namespace

Agent::Agent(const DaemonLink& link, std::FILE* out, AgentClock& clock, StatusFile* status)
    : link_(link), out_(out), clock_(clock), status_(status) {}

void Agent::reportProblem(const HotKeyRec& rec, GrabProblem problem) {
    // Where the source binds nothing, there are no others.
    std::fprintf(out_, "PrestoKeys: hot key %s %s%s\n", describeHotKey(rec).c_str(),
                 problemText(problem),
                 problem == GrabProblem::Unoffered ? "" : "; the others stay active");
    std::fflush(out_);
    if (status_) {
        status_->setProblem(rec, problem, problemText(problem));
        writeStatus();
    }
}

void Agent::reportGrabs(int grabbed, int total) {
    std::fprintf(out_, "PrestoKeys: %d of %d hot keys grabbed\n", grabbed, total);
    std::fflush(out_);
    writeStatus();
}

void Agent::reportChanged(const HotKeyRec& rec, const std::string& boundTo) {
    std::fprintf(out_, "PrestoKeys: the desktop bound hot key %s to %s\n",
                 describeHotKey(rec).c_str(), boundTo.c_str());
    std::fflush(out_);
    if (status_) {
        status_->setChanged(rec, boundTo);
        writeStatus();
    }
}

void Agent::reportWorking(const HotKeyRec& rec) {
    if (status_) {
        status_->setWorking(rec);
        writeStatus();
    }
}

void Agent::reportFallback(const std::string& failed, const std::string& why,
                           const std::string& next) {
    const std::string line = failed + " does not work here (" + why + ")";
    std::fprintf(out_, "PrestoKeys: %s; falling back to %s\n", line.c_str(), next.c_str());
    std::fflush(out_);
    if (status_) {
        status_->addFallback(line);
        writeStatus();
    }
}

void Agent::writeStatus() {
    if (status_)
        status_->write();
}

KeySource::Listener Agent::listener() {
    return {
        [this](const HotKeyRec& rec, GrabProblem problem) { reportProblem(rec, problem); },
        [this](int grabbed, int total) { reportGrabs(grabbed, total); },
        [this](const HotKeyRec& rec, const std::string& boundTo) { reportChanged(rec, boundTo); },
        [this](const HotKeyRec& rec) { reportWorking(rec); },
        [this](const std::string& why) { sourceFailure_ = why; }};
}

void Agent::pollDaemon(KeySource& source, bool fetchAnyway) {
    auto sync = link_.getVersion();
    if (!sync) {
        if (daemonAnswered_) {
            std::fprintf(out_, "PrestoKeys: Presto.daemon does not answer; trying every %lld s\n",
                         static_cast<long long>(interval_.count()));
            std::fflush(out_);
        }
        daemonAnswered_ = false;
        return;
    }
    if (!daemonAnswered_) {
        std::fprintf(out_, "PrestoKeys: Presto.daemon answers again\n");
        std::fflush(out_);
    }
    daemonAnswered_ = true;
    interval_ = std::chrono::seconds(std::max<std::int32_t>(1, sync->interval));
    // Told of a reload, the table is fetched whatever the stamp says: two reloads within one
    // second carry the same stamp.
    if (haveTable_ && !fetchAnyway && table_.isEqualSyncTime(*sync)) {
        table_.setPrefKEXTSyncRec(*sync);
        source.retryRefusedGrabs();
        return;
    }
    auto reply = link_.getPref();
    if (!reply)
        return; // the stored stamp stays old, so the next poll asks again
    table_.setPrefKEXTBuf(reply->data(), static_cast<int>(reply->size() / PrefKEXTRec::kSize));
    table_.setPrefKEXTSyncRec(*sync);
    haveTable_ = true;
    handTable(source);
}

void Agent::handTable(KeySource& source) {
    std::vector<HotKeyRec> hotKeys;
    for (int i = 0; i < table_.count(); ++i)
        hotKeys.push_back(table_.getPrefKEXTRec(i)->first);
    if (status_)
        status_->clearKeys();
    source.setHotKeys(std::move(hotKeys));
    writeStatus();
}

void Agent::sendPress(const HotKeyRec& pressed) {
    // Caps Lock on does not change a hot key recorded without it, unless the table holds the
    // combination with Caps Lock too. Otherwise this only filters presses that raced a table
    // change.
    auto entry = table_.srcPrefKEXTRec(pressed);
    if (!entry && (pressed.modFlags & kCapsLockBit)) {
        HotKeyRec withoutCapsLock = pressed;
        withoutCapsLock.modFlags &= ~kCapsLockBit;
        entry = table_.srcPrefKEXTRec(withoutCapsLock);
    }
    if (!entry)
        return;
    // The daemon knows the hot key by the record it stored, not by what the keyboard added.
    HotKeyRec rec = entry->first;
    rec.eventType = kKeyDownEventType;
    UniqueFd fd = link_.sendHotKey(rec);
    if (!fd) {
        std::fprintf(out_, "PrestoKeys: hot key %s could not be sent to Presto.daemon\n",
                     describeHotKey(rec).c_str());
        std::fflush(out_);
        return;
    }
    replies_.push_back({std::move(fd), rec, clock_.now() + kReplyTimeout});
}

int Agent::pollTimeoutMs(AgentClock::time_point now, AgentClock::time_point nextPoll) const {
    AgentClock::time_point wake = nextPoll;
    for (const auto& reply : replies_)
        wake = std::min(wake, reply.deadline);
    if (wake <= now)
        return 0;
    // Round up so a wake-up never comes a little early and spins.
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}

Agent::RunEnd Agent::run(KeySource& source, int signalFd, ReloadWatch* reload) {
    sourceFailure_.clear();
    if (status_) {
        status_->setSource(source.name());
        writeStatus();
    }
    if (haveTable_)
        handTable(source);
    AgentClock::time_point nextPoll = clock_.now();
    bool fetchAnyway = false;
    const auto onPress = [this](const HotKeyRec& rec) { sendPress(rec); };
    std::vector<pollfd> fds;
    for (;;) {
        AgentClock::time_point now = clock_.now();
        if (now >= nextPoll || fetchAnyway) {
            pollDaemon(source, fetchAnyway);
            fetchAnyway = false;
            now = clock_.now();
            nextPoll = now + interval_;
        }
        source.dispatchEvents(onPress);
        source.flush();
        if (!sourceFailure_.empty())
            return RunEnd::SourceFailed;
        if (!source.connected()) {
            std::fprintf(out_, "PrestoKeys: the key source (%s) has gone; ending\n",
                         source.name().c_str());
            std::fflush(out_);
            return RunEnd::SourceGone;
        }

        std::erase_if(replies_, [now](const PendingReply& r) { return r.deadline <= now; });
        fds.clear();
        fds.push_back({source.fd(), POLLIN, 0});
        fds.push_back({signalFd, POLLIN, 0});
        fds.push_back({reload ? reload->fd() : -1, POLLIN, 0});
        for (const auto& reply : replies_)
            fds.push_back({reply.fd.get(), POLLIN, 0});
        int ready = clock_.poll(fds.data(), fds.size(), pollTimeoutMs(now, nextPoll));
        if (ready < 0 && errno != EINTR)
            return RunEnd::WaitFailed;
        if (ready <= 0)
            continue;
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info;
            [[maybe_unused]] ssize_t n = ::read(signalFd, &info, sizeof info);
            return RunEnd::Stopped;
        }
        // Drained whole, so one burst of reloads costs one fetch.
        if ((fds[2].revents & POLLIN) && reload->takeNotice())
            fetchAnyway = true;
        // Readable replies are the daemon's answer ("NG") or its close; either ends the wait.
        for (std::size_t i = replies_.size(); i-- > 0;) {
            if (fds[3 + i].revents == 0)
                continue;
            if (DaemonLink::isNotFoundReply(replies_[i].fd.get())) {
                std::fprintf(out_, "PrestoKeys: Presto.daemon does not know hot key %s\n",
                             describeHotKey(replies_[i].rec).c_str());
                std::fflush(out_);
                // The table held here is out of date; fetch it now rather than at the next poll,
                // whatever the stamp says.
                fetchAnyway = true;
            }
            replies_.erase(replies_.begin() + static_cast<long>(i));
        }
    }
}

} // namespace presto
