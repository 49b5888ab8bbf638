#pragma once

#include <string>

namespace presto::test {

// A preference file whose "Nested" value holds arrays `depth` levels deep, after the given
// FlagShowIcon and ValueIntervalKEXT values; 175,000 levels make the 2.6 MB file that exhausted
// the parser's stack.
inline std::string nestedPlist(int depth, bool showIcon = false, int kextInterval = 9) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                       "<key>FlagShowIcon</key>";
    text += showIcon ? "<true/>" : "<false/>";
    text += "<key>ValueIntervalKEXT</key><integer>" + std::to_string(kextInterval) +
            "</integer><key>Nested</key>";
    text.reserve(text.size() + 16 * static_cast<std::size_t>(depth) + 32);
    for (int i = 0; i < depth; ++i)
        text += "<array>";
    for (int i = 0; i < depth; ++i)
        text += "</array>";
    return text + "</dict></plist>\n";
}

} // namespace presto::test
