#include "daemon/Preference.h"

#include <limits>

namespace presto {
namespace {

// Each key has one property-list type; a value of another type counts as missing, so a
// hand-edited <real> where an <integer> belongs keeps the previous setting.
void readInt32(const PreferenceDomain& domain, const char* key, std::int32_t& field) {
    auto integer = domain.getInteger(key);
    if (integer && *integer >= std::numeric_limits<std::int32_t>::min() &&
        *integer <= std::numeric_limits<std::int32_t>::max())
        field = static_cast<std::int32_t>(*integer);
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
    if (auto value = presto_.getReal(kValueIntervalHotKey))
        hotKeyInterval = static_cast<float>(*value);
    readInt32(presto_, kValueIntervalKEXT, kextInterval);
}

} // namespace presto
