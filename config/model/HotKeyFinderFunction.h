#pragma once

#include "config/model/FinderFunction.h"
#include "config/model/HotKey.h"

#include <memory>
#include <vector>

namespace presto {

// A Finder function of the catalogue with the hot key it may carry. Unassigned, its record
// fields are absent (never given a key) or all zero (reset); assigned, kind is 'F', itemCount 0
// and finderItemNo the function's number.
class HotKeyFinderFunction : public HotKey {
public:
    HotKeyFinderFunction() = default;
    explicit HotKeyFinderFunction(const FinderFunction& finderFunction)
        : finderFunction_(finderFunction) {}

    const FinderFunction& finderFunction() const { return finderFunction_; }
    void setFinderFunction(const FinderFunction& finderFunction) {
        finderFunction_ = finderFunction;
    }

    // Binds the captured combination to this function.
    void assignHotKeyRec(const HotKeyRec& rec);
    // Takes the hot key away: an all-zero record, so finderItemNo is present and 0.
    void resetHotKey();

private:
    FinderFunction finderFunction_;
};

using HotKeyFinderFunctionList = std::vector<std::unique_ptr<HotKeyFinderFunction>>;

} // namespace presto
