#include "common/PreferenceDomain.h"

#include "common/FileIo.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <plist/plist.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace presto {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

// A preference file is a few hundred bytes; anything near this is not ours.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

// Far deeper than any preference file, far shallower than what exhausts the parser's stack.
constexpr int kMaxNesting = 64;

// The end of the markup that starts at `open` (its '>'), quotes respected; npos when unclosed.
std::size_t tagEnd(std::string_view xml, std::size_t open) {
    char quote = 0;
    for (std::size_t i = open + 1; i < xml.size(); ++i) {
        char c = xml[i];
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return i;
    }
    return std::string_view::npos;
}

// True when elements nest deeper than `limit`, or the markup is cut off: the parser recurses once
// per level, so such a file is refused before it gets there.
bool nestsTooDeep(std::string_view xml, int limit) {
    int depth = 0;
    std::size_t i = 0;
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        std::string_view rest = xml.substr(i);
        std::size_t end;
        if (rest.starts_with("<!--")) {
            end = xml.find("-->", i + 4);
            end = end == std::string_view::npos ? end : end + 2;
        } else if (rest.starts_with("<![CDATA[")) {
            end = xml.find("]]>", i + 9);
            end = end == std::string_view::npos ? end : end + 2;
        } else {
            end = tagEnd(xml, i);
        }
        if (end == std::string_view::npos)
            return true;
        if (rest.size() > 1 && rest[1] != '!' && rest[1] != '?') {
            std::size_t last = xml.find_last_not_of(" \t\r\n", end - 1);
            if (rest[1] == '/')
                --depth;
            else if (xml[last] != '/' && ++depth > limit)
                return true;
        }
        i = end + 1;
    }
    return false;
}

Plist emptyDict() {
    return Plist(plist_new_dict());
}

// Missing, unreadable, damaged, nested too deep or not a dictionary at the top: an empty domain.
Plist readDomain(const std::string& path) {
    int fd = openRegularFile(path);
    if (fd < 0)
        return emptyDict();
    std::string text;
    struct stat info;
    if (::fstat(fd, &info) == 0 && info.st_size <= kMaxFileSize) {
        text.resize(static_cast<std::size_t>(info.st_size));
        text.resize(readFully(fd, text.data(), text.size()));
    }
    ::close(fd);
    // Only the XML form is ours; its nesting is checked before the recursive parser sees it.
    if (text.empty() || text.starts_with("bplist") || nestsTooDeep(text, kMaxNesting))
        return emptyDict();

    plist_t root = nullptr;
    plist_from_memory(text.data(), static_cast<std::uint32_t>(text.size()), &root);
    Plist parsed(root);
    if (!parsed || plist_get_node_type(parsed.get()) != PLIST_DICT)
        return emptyDict();
    return parsed;
}

bool makeFolder(const std::string& dir) {
    if (dir.empty())
        return true;
    struct stat info;
    if (::stat(dir.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    auto slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolder(dir.substr(0, slash)))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeDomain(const std::string& path, plist_t dict) {
    auto slash = path.find_last_of('/');
    if (slash != std::string::npos && !makeFolder(path.substr(0, slash)))
        return false;
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(dict, &xml, &length);
    if (!xml)
        return false;
    bool ok = writeFileAtomically(
        path, std::span(reinterpret_cast<const std::uint8_t*>(xml), std::size_t(length)));
    plist_to_xml_free(xml);
    return ok;
}

} // namespace

struct PreferenceDomain::Impl {
    std::string path;
    // The file as last read, with the unsaved changes laid over it.
    Plist values;
    // Unsaved changes; a null value is a removal.
    std::map<std::string, Plist> pending;

    plist_t value(const std::string& key, plist_type type) const {
        plist_t node = plist_dict_get_item(values.get(), key.c_str());
        return node && plist_get_node_type(node) == type ? node : nullptr;
    }

    void applyPending(plist_t dict) const {
        for (const auto& [key, node] : pending) {
            if (node)
                plist_dict_set_item(dict, key.c_str(), plist_copy(node.get()));
            else if (plist_dict_get_item(dict, key.c_str()))
                plist_dict_remove_item(dict, key.c_str());
        }
    }

    void change(const std::string& key, plist_t node) {
        Plist owned(node);
        if (owned)
            plist_dict_set_item(values.get(), key.c_str(), plist_copy(owned.get()));
        else if (plist_dict_get_item(values.get(), key.c_str()))
            plist_dict_remove_item(values.get(), key.c_str());
        pending[key] = std::move(owned);
    }

    // Another process may have written other keys since we read; only our own changes go over
    // what the file holds now.
    bool flush() {
        if (pending.empty())
            return true;
        Plist merged = readDomain(path);
        applyPending(merged.get());
        if (!writeDomain(path, merged.get()))
            return false;
        pending.clear();
        return true;
    }
};

PreferenceDomain::PreferenceDomain(std::string plistPath) : impl_(std::make_unique<Impl>()) {
    impl_->path = std::move(plistPath);
    impl_->values = readDomain(impl_->path);
}

// Like the desktop's defaults, changes nobody synchronised are still saved when the domain goes.
PreferenceDomain::~PreferenceDomain() {
    impl_->flush();
}

bool PreferenceDomain::synchronize() {
    bool written = impl_->flush();
    impl_->values = readDomain(impl_->path);
    // Changes that could not be written stay visible here and are tried again next time.
    impl_->applyPending(impl_->values.get());
    return written;
}

std::optional<bool> PreferenceDomain::getBool(const std::string& key) const {
    plist_t node = impl_->value(key, PLIST_BOOLEAN);
    if (!node)
        return std::nullopt;
    std::uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

std::optional<std::int64_t> PreferenceDomain::getInteger(const std::string& key) const {
    plist_t node = impl_->value(key, PLIST_UINT);
    if (!node)
        return std::nullopt;
    // libplist keeps every integer as 64 bits; negative ones come back as their two's complement.
    std::uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return static_cast<std::int64_t>(value);
}

std::optional<double> PreferenceDomain::getReal(const std::string& key) const {
    plist_t node = impl_->value(key, PLIST_REAL);
    if (!node)
        return std::nullopt;
    double value = 0;
    plist_get_real_val(node, &value);
    return value;
}

std::optional<std::string> PreferenceDomain::getString(const std::string& key) const {
    plist_t node = impl_->value(key, PLIST_STRING);
    if (!node)
        return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(node, &value);
    if (!value)
        return std::nullopt;
    std::string result(value);
    std::free(value);
    return result;
}

void PreferenceDomain::setBool(const std::string& key, bool value) {
    impl_->change(key, plist_new_bool(value ? 1 : 0));
}

void PreferenceDomain::setInteger(const std::string& key, std::int64_t value) {
    impl_->change(key, plist_new_uint(static_cast<std::uint64_t>(value)));
}

void PreferenceDomain::setReal(const std::string& key, double value) {
    impl_->change(key, plist_new_real(value));
}

void PreferenceDomain::setString(const std::string& key, const std::string& value) {
    impl_->change(key, plist_new_string(value.c_str()));
}

void PreferenceDomain::remove(const std::string& key) {
    impl_->change(key, nullptr);
}

} // namespace presto
