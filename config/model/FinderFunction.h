#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace presto {

// One built-in Finder function: the number stored in a record's finderItemNo and the shown name.
class FinderFunction {
public:
    FinderFunction() = default;
    FinderFunction(std::int32_t functionNo, const QString& functionName)
        : functionNo_(functionNo), functionName_(functionName) {}

    std::optional<std::int32_t> functionNo() const { return functionNo_; }
    void setFunctionNo(std::optional<std::int32_t> functionNo) { functionNo_ = functionNo; }
    const QString& functionName() const { return functionName_; }
    void setFunctionName(const QString& functionName) { functionName_ = functionName; }

private:
    std::optional<std::int32_t> functionNo_;
    QString functionName_;
};

} // namespace presto
