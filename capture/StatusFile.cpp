#include "capture/StatusFile.h"

#include "capture/KeyText.h"

#include <cstdio>
#include <unistd.h>

namespace presto {

void StatusFile::setSource(std::string name) {
    source_ = std::move(name);
}

void StatusFile::clearKeys() {
    refused_.clear();
    changed_.clear();
}

void StatusFile::addRefused(const HotKeyRec& rec, const std::string& reason) {
    refused_.push_back(describeHotKey(rec) + " " + reason);
}

void StatusFile::addChanged(const HotKeyRec& rec, const std::string& boundTo) {
    changed_.push_back(describeHotKey(rec) + " bound to " + boundTo);
}

std::string StatusFile::text() const {
    std::string text = "source=" + source_ + "\n";
    for (const auto& line : refused_)
        text += "refused=" + line + "\n";
    for (const auto& line : changed_)
        text += "changed=" + line + "\n";
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
