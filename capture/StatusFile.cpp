#include "capture/StatusFile.h"

#include "capture/KeyText.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace presto {

const char* StatusFile::reasonWord(GrabProblem problem) {
    switch (problem) {
    case GrabProblem::HeldElsewhere:
        return "held";
    case GrabProblem::NoSuchKey:
        return "no-key";
    case GrabProblem::NoSuchModifier:
        return "no-modifier";
    case GrabProblem::Unexpressible:
        return "unexpressible";
    case GrabProblem::Refused:
        return "refused";
    case GrabProblem::Unconfirmed:
        return "unconfirmed";
    case GrabProblem::Unoffered:
        return "unoffered";
    }
    return "refused";
}

void StatusFile::setSource(std::string name) {
    source_ = std::move(name);
}

void StatusFile::addFallback(std::string line) {
    fallbacks_.push_back(std::move(line));
}

void StatusFile::clearKeys() {
    keys_.clear();
}

void StatusFile::setState(KeyState state) {
    auto same = std::find_if(keys_.begin(), keys_.end(), [&](const KeyState& known) {
        return isSameHotKey(known.rec, state.rec);
    });
    if (same == keys_.end())
        keys_.push_back(std::move(state));
    else
        *same = std::move(state);
}

void StatusFile::setProblem(const HotKeyRec& rec, GrabProblem problem, const std::string& reason) {
    setState({rec, problem, describeHotKey(rec) + " " + reason});
}

void StatusFile::setChanged(const HotKeyRec& rec, const std::string& boundTo) {
    setState({rec, std::nullopt, describeHotKey(rec) + " bound to " + boundTo});
}

void StatusFile::setWorking(const HotKeyRec& rec) {
    std::erase_if(keys_, [&](const KeyState& known) { return isSameHotKey(known.rec, rec); });
}

std::string StatusFile::text() const {
    std::string text = "source=" + source_ + "\n";
    for (const auto& line : fallbacks_)
        text += "fallback=" + line + "\n";
    for (const auto& key : keys_)
        if (key.problem)
            text += "refused=" + key.line + "\n";
    for (const auto& key : keys_)
        if (!key.problem)
            text += "changed=" + key.line + "\n";
    for (const auto& key : keys_)
        if (key.problem)
            text += "key=" + std::to_string(key.rec.keyCode) + " " +
                    std::to_string(key.rec.modFlags) + " " + reasonWord(*key.problem) + "\n";
    return text;
}

void StatusFile::remove() const {
    if (!path_.empty())
        ::unlink(path_.c_str());
}

bool StatusFile::write() const {
    if (path_.empty())
        return false;
    const std::string temporary = path_ + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "we");
    if (!file)
        return false;
    const std::string content = text();
    bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    ok = (std::fclose(file) == 0) && ok;
    if (ok && std::rename(temporary.c_str(), path_.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

} // namespace presto
