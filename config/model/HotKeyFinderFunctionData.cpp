#include "config/model/HotKeyFinderFunctionData.h"

namespace presto {

HotKeyFinderFunctionData::HotKeyFinderFunctionData() {
    // The daemon dispatches on these numbers; names and numbers never change.
    addHotKeyFinderFunction(1, tr("Sleep"));
    addHotKeyFinderFunction(2, tr("Restart"));
    addHotKeyFinderFunction(3, tr("Shut Down"));
    addHotKeyFinderFunction(11, tr("Empty Trash"));
    addHotKeyFinderFunction(21, tr("Move to Trash"));
    addHotKeyFinderFunction(22, tr("Make New File"));
    addHotKeyFinderFunction(23, tr("Get Path"));
    addHotKeyFinderFunction(24, tr("Get File List"));
    addHotKeyFinderFunction(25, tr("Copy to..."));
    addHotKeyFinderFunction(26, tr("Move to..."));
    addHotKeyFinderFunction(27, tr("Copy to... by new name"));
    addHotKeyFinderFunction(28, tr("Move to... by new name"));
    addHotKeyFinderFunction(29, tr("Show Permission"));
}

void HotKeyFinderFunctionData::addHotKeyFinderFunction(std::int32_t functionNo,
                                                       const QString& functionName) {
    addHotKeyFinderFunction(
        std::make_unique<HotKeyFinderFunction>(FinderFunction(functionNo, functionName)));
}

void HotKeyFinderFunctionData::addHotKeyFinderFunction(
    std::unique_ptr<HotKeyFinderFunction> function) {
    if (function)
        functions_.push_back(std::move(function));
}

HotKeyFinderFunction* HotKeyFinderFunctionData::hotKeyFinderFunction(qsizetype index) const {
    if (index < 0 || index >= getCount())
        return nullptr;
    return functions_[static_cast<std::size_t>(index)].get();
}

HotKeyFinderFunction*
HotKeyFinderFunctionData::searchHotKeyFinderFunction(std::int32_t finderItemNo) const {
    for (const auto& function : functions_) {
        if (function->finderItemNo() == finderItemNo)
            return function.get();
    }
    return nullptr;
}

void HotKeyFinderFunctionData::replaceHotKey(const HotKeyRec& rec) {
    for (const auto& function : functions_) {
        if (function->finderFunction().functionNo() == rec.finderItemNo) {
            function->setHotKeyRec(rec);
            return;
        }
    }
}

} // namespace presto
