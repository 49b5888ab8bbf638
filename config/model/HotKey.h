#pragma once

#include "common/HotKeyRec.h"
#include "config/model/KeyEvent.h"
#include "config/model/UtfString.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace presto {

// One key combination as the configuration application edits it: the record's fields one by one,
// each absent until set (a Finder function never given a key has them all absent), and the
// display strings derived from them.
class HotKey {
public:
    HotKey() = default;
    explicit HotKey(const HotKeyRec& rec);
    virtual ~HotKey() = default;

    // Takes the combination from a key-down event; kind 'L', no items.
    void setEvent(const KeyEvent& event);
    // Takes every field from the record and refreshes the display.
    void setHotKeyRec(const HotKeyRec& rec);
    // The record of the fields; an absent field gives 0.
    HotKeyRec hotKeyRec() const;
    // Recomputes the display strings from modFlags, keyCode and charCodeIgMod. The field setters
    // leave the display alone.
    void setHotKey();

    // True for a launch record that can be stored: key down, kind 'L' or 'G', at least one item.
    virtual bool selfVerify();

    std::optional<std::uint32_t> eventType() const { return eventType_; }
    void setEventType(std::optional<std::uint32_t> value) { eventType_ = value; }
    std::optional<std::uint32_t> modFlags() const { return modFlags_; }
    void setModFlags(std::optional<std::uint32_t> value) { modFlags_ = value; }
    std::optional<std::uint32_t> keyCode() const { return keyCode_; }
    void setKeyCode(std::optional<std::uint32_t> value) { keyCode_ = value; }
    std::optional<std::uint32_t> charCode() const { return charCode_; }
    void setCharCode(std::optional<std::uint32_t> value) { charCode_ = value; }
    std::optional<std::uint32_t> charCodeIgMod() const { return charCodeIgMod_; }
    void setCharCodeIgMod(std::optional<std::uint32_t> value) { charCodeIgMod_ = value; }
    std::optional<char> kind() const { return kind_; }
    void setKind(std::optional<char> value) { kind_ = value; }
    std::optional<int> itemCount() const { return itemCount_; }
    void setItemCount(std::optional<int> value) { itemCount_ = value; }
    std::optional<std::uint8_t> finderItemNo() const { return finderItemNo_; }
    void setFinderItemNo(std::optional<std::uint8_t> value) { finderItemNo_ = value; }

    // The whole display text: the modifier glyphs and the key label, joined by single spaces.
    const QString& hotKey() const { return hotKey_; }
    void setHotKey(const QString& value) { hotKey_ = value; }
    const QString& cmdString() const { return cmdString_; }
    void setCmdString(const QString& value) { cmdString_ = value; }
    const QString& optString() const { return optString_; }
    void setOptString(const QString& value) { optString_ = value; }
    const QString& ctrString() const { return ctrString_; }
    void setCtrString(const QString& value) { ctrString_ = value; }
    const QString& sftString() const { return sftString_; }
    void setSftString(const QString& value) { sftString_ = value; }
    const QString& capString() const { return capString_; }
    void setCapString(const QString& value) { capString_ = value; }
    const QString& keyString() const { return keyString_; }
    void setKeyString(const QString& value) { keyString_ = value; }

    const UtfString& utfString() const { return utfString_; }

private:
    std::optional<std::uint32_t> eventType_;
    std::optional<std::uint32_t> modFlags_;
    std::optional<std::uint32_t> keyCode_;
    std::optional<std::uint32_t> charCode_;
    std::optional<std::uint32_t> charCodeIgMod_;
    std::optional<char> kind_;
    std::optional<int> itemCount_;
    std::optional<std::uint8_t> finderItemNo_;
    QString hotKey_;
    UtfString utfString_;
    QString cmdString_;
    QString optString_;
    QString ctrString_;
    QString sftString_;
    QString capString_;
    QString keyString_;
};

} // namespace presto
