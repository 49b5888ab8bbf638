#include "daemon/Preference.h"

#include <limits>

namespace presto {
namespace {

// Integers and reals are both numbers to the readers of these domains, as they were on the Mac:
// a value written as <real> still gives an integer setting, and the other way round.
std::optional<double> number(const PreferenceDomain& domain, const char* key) {
    if (auto real = domain.getReal(key))
        return real;
    if (auto integer = domain.getInteger(key))
        return static_cast<double>(*integer);
    return std::nullopt;
}

void readInt32(const PreferenceDomain& domain, const char* key, std::int32_t& field) {
    if (auto integer = domain.getInteger(key)) {
        if (*integer >= std::numeric_limits<std::int32_t>::min() &&
            *integer <= std::numeric_limits<std::int32_t>::max())
            field = static_cast<std::int32_t>(*integer);
        return;
    }
    auto value = number(domain, key);
    if (value && *value >= std::numeric_limits<std::int32_t>::min() &&
        *value <= std::numeric_limits<std::int32_t>::max())
        field = static_cast<std::int32_t>(*value);
}

void readBool(const PreferenceDomain& domain, const char* key, bool& field) {
    if (auto value = domain.getBool(key))
        field = *value;
}

} // namespace

Preference::Preference(const std::string& prestoPlist, const std::string& assistPlist)
    : presto_(prestoPlist), assist_(assistPlist) {
    getPreference();
}

void Preference::getPreference() {
    assist_.synchronize();
    readBool(assist_, kFlagServiceStatus, serviceStatus);
    presto_.synchronize();
    readBool(presto_, kFlagShowIcon, showIcon);
    readBool(presto_, kFlagRecomended, recommended);
    readInt32(presto_, kKindIntervalHotKey, intervalKind);
    if (auto value = number(presto_, kValueIntervalHotKey))
        hotKeyInterval = static_cast<float>(*value);
    readInt32(presto_, kValueIntervalKEXT, kextInterval);
}

} // namespace presto
