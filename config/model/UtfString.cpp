#include "config/model/UtfString.h"

#include <array>

namespace presto {

namespace {

struct SpecialKey {
    std::uint16_t keyCode;
    const char* label; // UTF-8
};

constexpr std::array<SpecialKey, 49> kSpecialKeys = {{
    {122, "F1"},
    {120, "F2"},
    {99, "F3"},
    {118, "F4"},
    {96, "F5"},
    {97, "F6"},
    {98, "F7"},
    {100, "F8"},
    {101, "F9"},
    {109, "F10"},
    {103, "F11"},
    {111, "F12"},
    {105, "F13"},
    {107, "F14"},
    {113, "F15"},
    {51, "\xE2\x8C\xAB"},
    {119, "\xE2\x86\x98"},
    {71, "\xE2\x8C\xA7"},
    {49, "\xE2\x90\xA0"},
    {53, "\xE2\x90\x9B"},
    {114, "?"},
    {115, "\xE2\x86\x96"},
    {117, "\xE2\x8C\xA6"},
    {116, "\xE2\x87\x9E"},
    {121, "\xE2\x87\x9F"},
    {126, "\xE2\x87\xA1"},
    {125, "\xE2\x87\xA3"},
    {124, "\xE2\x87\xA2"},
    {123, "\xE2\x87\xA0"},
    {82, "[0]"},
    {83, "[1]"},
    {84, "[2]"},
    {85, "[3]"},
    {86, "[4]"},
    {87, "[5]"},
    {88, "[6]"},
    {89, "[7]"},
    {91, "[8]"},
    {92, "[9]"},
    {65, "[.]"},
    {81, "[=]"},
    {75, "[/]"},
    {67, "[*]"},
    {78, "[-]"},
    {69, "[+]"},
    {76, "\xE2\x8C\xA4"},
    {95, "[,]"},
    {36, "\xE2\x86\xA9"},
    {48, "\xE2\x87\xA5"},
}};

} // namespace

UtfString::UtfString()
    : cmdUtfString_(QString::fromUtf8("\xE2\x8C\x98")),
      optUtfString_(QString::fromUtf8("\xE2\x8C\xA5")),
      ctrUtfString_(QString::fromUtf8("\xE2\x8C\x83")),
      sftUtfString_(QString::fromUtf8("\xE2\x87\xA7")),
      capUtfString_(QString::fromUtf8("\xE2\x87\xAA")),
      keyUtfString_(QString::fromUtf8("\xE2\x9D\x8F")),
      icnUtfString_(QString::fromUtf8("\xE2\x98\xBA")),
      barUtfString_(QString::fromUtf8("\xE2\x8E\xAF")),
      numUtfString_(QString::fromUtf8("\xE2\x84\x96")),
      boxUtfString_(QString::fromUtf8("\xE2\x98\x90")), x20UtfString_(QStringLiteral("  ")) {
    utfStrings_.reserve(50);
    for (const SpecialKey& key : kSpecialKeys) {
        keyString_.append(QChar(key.keyCode));
        utfStrings_.append(QString::fromUtf8(key.label));
    }
    maxCount_ = static_cast<std::int32_t>(keyString_.size());
}

std::optional<QString> UtfString::srcUtfString(std::uint32_t keyCode) const {
    for (std::int32_t i = 0; i < maxCount_; ++i) {
        if (keyString_.at(i).unicode() == keyCode)
            return utfStrings_.at(i);
    }
    return std::nullopt;
}

} // namespace presto
