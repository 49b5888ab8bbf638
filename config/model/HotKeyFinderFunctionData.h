#pragma once

#include "config/model/HotKeyFinderFunction.h"

#include <QCoreApplication>
#include <utility>

namespace presto {

// Builds the catalogue of the thirteen Finder functions, in the order every table shows them,
// none with a hot key, names translated.
class HotKeyFinderFunctionData {
    Q_DECLARE_TR_FUNCTIONS(HotKeyFinderFunctionData)

public:
    HotKeyFinderFunctionData();

    void addHotKeyFinderFunction(std::int32_t functionNo, const QString& functionName);
    void addHotKeyFinderFunction(std::unique_ptr<HotKeyFinderFunction> function);

    const HotKeyFinderFunctionList& exHotKeyFinderFunctions() const { return functions_; }
    // Hands the catalogue over, to the data store.
    HotKeyFinderFunctionList takeHotKeyFinderFunctions() { return std::exchange(functions_, {}); }
    qsizetype getCount() const { return static_cast<qsizetype>(functions_.size()); }
    // Null outside the list.
    HotKeyFinderFunction* hotKeyFinderFunction(qsizetype index) const;
    // The first element whose hot key carries this function number, or null.
    HotKeyFinderFunction* searchHotKeyFinderFunction(std::int32_t finderItemNo) const;
    // Gives a stored record to the function it names; a number of no function changes nothing.
    void replaceHotKey(const HotKeyRec& rec);

private:
    HotKeyFinderFunctionList functions_;
};

} // namespace presto
