#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace presto {

inline constexpr char kPrestoDomain[] = "com.nimbo.Presto";
inline constexpr char kPrestoAssistDomain[] = "com.nimbo.PrestoAssist";

inline constexpr char kFlagServiceStatus[] = "FlagServiceStatus";     // PrestoAssist, bool
inline constexpr char kPrstAppPath[] = "PrstAppPath";                 // PrestoAssist, string
inline constexpr char kFlagShowIcon[] = "FlagShowIcon";               // Presto, bool
inline constexpr char kFlagRecomended[] = "FlagRecomended";           // Presto, bool
inline constexpr char kKindIntervalHotKey[] = "KindIntervalHotKey";   // Presto, integer
inline constexpr char kValueIntervalHotKey[] = "ValueIntervalHotKey"; // Presto, real
inline constexpr char kValueIntervalKEXT[] = "ValueIntervalKEXT";     // Presto, integer
// Presto, bool: false once the user declined installing the modules for good.
inline constexpr char kFlagAskToInstall[] = "FlagAskToInstall";

// One preference domain: an XML property list read and written with libplist. Values of the wrong
// type read as missing; writes go to a temporary file renamed over the old one, so readers in other
// processes never see half a file.
class PreferenceDomain {
public:
    explicit PreferenceDomain(std::string plistPath);
    ~PreferenceDomain();
    PreferenceDomain(const PreferenceDomain&) = delete;
    PreferenceDomain& operator=(const PreferenceDomain&) = delete;

    // Writes pending changes, then re-reads the file. False when the write failed.
    bool synchronize();

    std::optional<bool> getBool(const std::string& key) const;
    std::optional<std::int64_t> getInteger(const std::string& key) const;
    std::optional<double> getReal(const std::string& key) const;
    std::optional<std::string> getString(const std::string& key) const;

    void setBool(const std::string& key, bool value);
    void setInteger(const std::string& key, std::int64_t value);
    void setReal(const std::string& key, double value);
    void setString(const std::string& key, const std::string& value);
    void remove(const std::string& key);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace presto
