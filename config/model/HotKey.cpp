#include "config/model/HotKey.h"

namespace presto {

namespace {

std::uint32_t firstUnit(const QString& text) {
    return text.isEmpty() ? 0 : text.at(0).unicode();
}

} // namespace

HotKey::HotKey(const HotKeyRec& rec) {
    setHotKeyRec(rec);
}

void HotKey::setEvent(const KeyEvent& event) {
    HotKeyRec rec;
    rec.eventType = kKeyDownEventType;
    rec.modFlags = clearIgnoredModFlags(event.modifierFlags);
    rec.charCode = firstUnit(event.characters);
    rec.charCodeIgMod = firstUnit(event.charactersIgnoringModifiers);
    rec.keyCode = event.keyCode;
    rec.kind = kKindLaunch;
    setHotKeyRec(rec);
}

void HotKey::setHotKeyRec(const HotKeyRec& rec) {
    eventType_ = rec.eventType;
    modFlags_ = rec.modFlags;
    keyCode_ = rec.keyCode;
    charCode_ = rec.charCode;
    charCodeIgMod_ = rec.charCodeIgMod;
    kind_ = rec.kind;
    // Signed like the original byte field; a group of 128 or more paths reads negative until
    // HotKeyItem recounts it.
    itemCount_ = static_cast<std::int8_t>(rec.itemCount);
    finderItemNo_ = rec.finderItemNo;
    setHotKey();
}

HotKeyRec HotKey::hotKeyRec() const {
    HotKeyRec rec;
    rec.eventType = eventType_.value_or(0);
    rec.modFlags = modFlags_.value_or(0);
    rec.keyCode = keyCode_.value_or(0);
    rec.charCode = charCode_.value_or(0);
    rec.charCodeIgMod = charCodeIgMod_.value_or(0);
    rec.kind = kind_.value_or(0);
    rec.itemCount = static_cast<std::uint8_t>(itemCount_.value_or(0));
    rec.finderItemNo = finderItemNo_.value_or(0);
    rec.filler = 0;
    return rec;
}

void HotKey::setHotKey() {
    const std::uint32_t flags = modFlags_.value_or(0);
    auto glyphIf = [flags](std::uint32_t bit, const QString& glyph) {
        return (flags & bit) ? glyph : QString();
    };
    cmdString_ = glyphIf(kCommandBit, utfString_.cmdUtfString());
    optString_ = glyphIf(kOptionBit, utfString_.optUtfString());
    ctrString_ = glyphIf(kControlBit, utfString_.ctrUtfString());
    sftString_ = glyphIf(kShiftBit, utfString_.sftUtfString());
    capString_ = glyphIf(kCapsLockBit, utfString_.capUtfString());

    if (auto label = utfString_.srcUtfString(keyCode_.value_or(0))) {
        keyString_ = *label;
    } else {
        // The low byte read as 7-bit ASCII; a byte outside it has no character to show.
        const auto low = static_cast<std::uint8_t>(charCodeIgMod_.value_or(0) & 0xFF);
        keyString_ = (low == 0 || low > 0x7F) ? QString() : QString(QChar(low).toUpper());
    }

    hotKey_ = cmdString_ + u' ' + optString_ + u' ' + ctrString_ + u' ' + sftString_ + u' ' +
              capString_ + u' ' + keyString_;
}

bool HotKey::selfVerify() {
    return eventType_ == kKeyDownEventType && (kind_ == kKindLaunch || kind_ == kKindGroup) &&
           itemCount_.value_or(0) >= 1;
}

} // namespace presto
