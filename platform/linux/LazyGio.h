#pragma once

#include <dlfcn.h>
#include <optional>

namespace presto {

// GIO is compiled against but loaded only by the first call that needs it, so a daemon that only
// runs programs never maps it. Null when the library cannot be loaded.
inline void* lazyGioLibrary() {
    static void* const library = dlopen("libgio-2.0.so.0", RTLD_LAZY | RTLD_LOCAL);
    return library;
}

// Looks `name` up in `library` as a pointer of the function's own type; false when it is missing.
template <typename Function> bool bindSymbol(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

// A table of the GIO entry points one file uses, bound at its first use and kept: `Table::bind`
// looks each one up. Null when GIO cannot be loaded or lacks one of them.
template <typename Table> const Table* lazyGioTable() {
    static const std::optional<Table> loaded = []() -> std::optional<Table> {
        void* library = lazyGioLibrary();
        Table table{};
        if (!library || !table.bind(library))
            return std::nullopt;
        return table;
    }();
    return loaded ? &*loaded : nullptr;
}

} // namespace presto
