#pragma once
// The host ABI in one list: every entry point the driver exports, with its result, parameters and the
// bytes of arguments it takes off the stack (the "@N" of its stdcall name in the .def file), and the
// entries of the shared memory manager that hosts ship. The driver's declarations, the console host's
// bindings and the test hosts' bindings are all expanded from here, so a changed signature cannot leave
// one of them behind.
#include <cstdint>
#include <string_view>

#include "driver/EditorRecords.h"
#include "driver/HostRecords.h"
#include "driver/KoraxApi.h"

// X(Name, Result, (Parameters), StackBytes), in the order of the .def file.
#define KORAX_HOST_EXPORTS(X)                                                                                \
    X(IniDriver, ::korax::driver::HostBool,                                                                  \
      (std::int32_t count, const ::korax::driver::HostTagDef* const* tags, void* block, char** message), 16) \
    X(IniDriverEx, ::korax::driver::HostBool, (void* eventHandle), 4)                                        \
    X(FreeDriver, ::korax::driver::HostBool, (), 0)                                                          \
    X(DetectScanTime, std::uint16_t, (), 0)                                                                  \
    X(GetDeviceStatus, ::korax::driver::HostBool, (char** message), 4)                                       \
    X(WriteLog, void, (::korax::driver::HostBool enable, char** message), 8)                                 \
    X(AddTags, std::int32_t,                                                                                 \
      (std::uint16_t count, const ::korax::driver::HostTagDef* const* tags, std::int32_t* results), 12)      \
    X(ReadTags, std::int32_t, (std::uint16_t count, const std::int32_t* tagIds, std::int32_t unused), 12)    \
    X(WriteTags, std::int32_t,                                                                               \
      (std::uint16_t count, const ::korax::driver::TagValueRec* records, std::int32_t unused), 12)           \
    X(OnDataRead, ::korax::driver::HostBool,                                                                 \
      (std::int32_t * count, ::korax::driver::TagValueRec * records, char** message), 12)                    \
    X(OnDataWrite, ::korax::driver::HostBool,                                                                \
      (std::int32_t count, const ::korax::driver::TagValueRec* records, char** message), 12)                 \
    X(GetTags, std::int32_t, (std::uint16_t * count, ::korax::driver::TagTemplate * templates), 8)           \
    X(GetTagAddrList, void,                                                                                  \
      (std::int32_t unused, std::int32_t * count, ::korax::driver::TagAddrEntry * entries), 12)              \
    X(TagEdAddr, ::korax::driver::HostBool,                                                                  \
      (void* block, char** address, ::korax::driver::HostBool skipCheck, char** message), 16)                \
    X(DLLEdDev, std::int32_t, (void* window, void* block), 8)                                                \
    X(DLLTestDev, ::korax::driver::HostBool, (void* block, ::korax::driver::HostBool flag), 8)               \
    X(FullPDB, void, (void* block), 4)                                                                       \
    X(GetPDBLen, std::int32_t, (), 0)

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
// KORAX_REGISTER). Natively the stand-in exports plain names instead of the decorated ones.
#if defined(_WIN32)
inline constexpr std::string_view ManagerLibrary = "borlndmm.dll";
inline constexpr std::string_view ManagerGetMemEntry = "@Borlndmm@SysGetMem$qqri";
inline constexpr std::string_view ManagerFreeMemEntry = "@Borlndmm@SysFreeMem$qqrpv";
inline constexpr std::string_view DriverLibraryName = "korax24.dll";
#else
inline constexpr std::string_view ManagerLibrary = "libborlndmm.so";
inline constexpr std::string_view ManagerGetMemEntry = "Borlndmm_SysGetMem";
inline constexpr std::string_view ManagerFreeMemEntry = "Borlndmm_SysFreeMem";
inline constexpr std::string_view DriverLibraryName = "libkorax24.so";
#endif
using ManagerGetMem = void*(KORAX_REGISTER*)(std::int32_t size);
using ManagerFreeMem = std::int32_t(KORAX_REGISTER*)(void* block);

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
