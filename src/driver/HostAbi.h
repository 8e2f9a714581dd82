#pragma once
// C++ conveniences over the host ABI of the public header (korax24.h), whose KORAX_HOST_EXPORTS is the
// one list of the entry points: the driver's declarations, the console host's bindings and the test
// hosts' bindings are all expanded from it, so a changed signature cannot leave one of them behind.
#include <cstdint>
#include <string_view>

#include "driver/EditorRecords.h"
#include "driver/HostRecords.h"
#include "driver/KoraxApi.h"

// A table of pointers to the entry points, as a host binds them: member Name of type Result (*)(...).
#define KORAX_HOST_ENTRY_POINTER(Name, Result, Parameters, StackBytes)                                       \
    Result(KORAX_API* Name) Parameters = nullptr;

namespace korax::driver {

// Fills such a table by name: lookup(name) gives an entry's address (nil when absent), missing(name) hears
// of every entry the library lacks.
template <typename Table, typename Lookup, typename Missing>
void BindHostExports(Table& table, Lookup&& lookup, Missing&& missing) {
#define KORAX_BIND_HOST_EXPORT(Name, Result, Parameters, StackBytes)                                         \
    table.Name = reinterpret_cast<decltype(table.Name)>(lookup(#Name));                                      \
    if (table.Name == nullptr) missing(#Name);
    KORAX_HOST_EXPORTS(KORAX_BIND_HOST_EXPORT)
#undef KORAX_BIND_HOST_EXPORT
}

} // namespace korax::driver

namespace korax::driver {

inline constexpr int HostExportCount = 0
#define KORAX_COUNT_ONE(Name, Result, Parameters, StackBytes) +1
    KORAX_HOST_EXPORTS(KORAX_COUNT_ONE)
#undef KORAX_COUNT_ONE
    ;

// The shared memory manager: the library hosts load, and its entries (register convention, see
// KORAX_REGISTER).
inline constexpr std::string_view ManagerLibrary = KORAX_MANAGER_LIBRARY;
inline constexpr std::string_view ManagerGetMemEntry = KORAX_MANAGER_GETMEM;
inline constexpr std::string_view ManagerFreeMemEntry = KORAX_MANAGER_FREEMEM;
inline constexpr std::string_view DriverLibraryName = KORAX_DRIVER_LIBRARY;
using ManagerGetMem = ::KoraxSysGetMemProc;
using ManagerFreeMem = ::KoraxSysFreeMemProc;

// Runs an export's body so that no exception reaches the host: any failure gives the fallback.
template <typename Result, typename Body>
Result guarded(Result fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

template <typename Body>
void guarded(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

} // namespace korax::driver
