#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace presto {

// The glyphs of the modifier keys and the labels of the keys that type nothing printable,
// looked up by Mac virtual key code.
class UtfString {
public:
    UtfString();

    // The label of a special key, or none for an ordinary character key.
    std::optional<QString> srcUtfString(std::uint32_t keyCode) const;

    const QString& cmdUtfString() const { return cmdUtfString_; }
    const QString& optUtfString() const { return optUtfString_; }
    const QString& ctrUtfString() const { return ctrUtfString_; }
    const QString& sftUtfString() const { return sftUtfString_; }
    const QString& capUtfString() const { return capUtfString_; }
    const QString& keyUtfString() const { return keyUtfString_; }
    const QString& icnUtfString() const { return icnUtfString_; }
    const QString& barUtfString() const { return barUtfString_; }
    const QString& numUtfString() const { return numUtfString_; }
    const QString& boxUtfString() const { return boxUtfString_; }
    const QString& x20UtfString() const { return x20UtfString_; }
    std::int32_t maxCount() const { return maxCount_; }

private:
    QString cmdUtfString_;
    QString optUtfString_;
    QString ctrUtfString_;
    QString sftUtfString_;
    QString capUtfString_;
    QString keyUtfString_;
    QString icnUtfString_;
    QString barUtfString_;
    QString numUtfString_;
    QString boxUtfString_;
    QString x20UtfString_;
    QString keyString_; // one character per special key, its code being the key code
    QStringList utfStrings_;
    std::int32_t maxCount_ = 0;
};

} // namespace presto
