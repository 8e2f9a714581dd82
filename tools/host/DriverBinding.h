#pragma once
// What makes korax-host a host: it loads the shared memory manager and the driver library by name, binds
// the driver's entry points by their undecorated names with the standard calling convention, and gives
// every string the driver hands over back to the manager.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "driver/EditorRecords.h"
#include "driver/HostRecords.h"
#include "driver/KoraxApi.h"
#include "platform/DynamicLibrary.h"

namespace korax::tools::host {

using driver::HostBool;
using driver::HostTagDef;
using driver::TagValueRec;

#if defined(_WIN32)
inline constexpr std::string_view DefaultDriverName = "korax24.dll";
inline constexpr std::string_view ManagerName = "borlndmm.dll";
#else
inline constexpr std::string_view DefaultDriverName = "libkorax24.so";
inline constexpr std::string_view ManagerName = "libborlndmm.so";
#endif

// The process-shared memory manager, as the driver binds it too.
class SharedMemory {
public:
    // Nothing, with the reason, when the library or its entries are missing.
    static std::unique_ptr<SharedMemory> Load(std::string& error);

    // A copy of a string the driver handed over, whose block goes back to the manager at once; nothing
    // for nil. The cell is cleared.
    std::optional<std::string> Take(char*& text);

    std::uint64_t Released() const { return released_; }
    // Blocks the manager would not take back (never handed out, or released twice).
    std::uint64_t Refused() const { return refused_; }
    // Blocks still live, where the manager can tell (the stand-in can; a host's own copy cannot).
    std::optional<std::int32_t> LiveBlocks() const;

private:
    platform::DynamicLibrary library_;
    void*(KORAX_REGISTER* getMem_)(std::int32_t) = nullptr;
    std::int32_t(KORAX_REGISTER* freeMem_)(void*) = nullptr;
    std::int32_t(KORAX_API* liveBlocks_)() = nullptr;
    std::uint64_t released_ = 0;
    std::uint64_t refused_ = 0;
};

// The driver's eighteen entry points.
struct DriverEntries {
    HostBool(KORAX_API* IniDriver)(std::int32_t, const HostTagDef* const*, void*, char**) = nullptr;
    HostBool(KORAX_API* IniDriverEx)(void*) = nullptr;
    HostBool(KORAX_API* FreeDriver)() = nullptr;
    std::uint16_t(KORAX_API* DetectScanTime)() = nullptr;
    HostBool(KORAX_API* GetDeviceStatus)(char**) = nullptr;
    void(KORAX_API* WriteLog)(HostBool, char**) = nullptr;
    std::int32_t(KORAX_API* AddTags)(std::uint16_t, const HostTagDef* const*, std::int32_t*) = nullptr;
    std::int32_t(KORAX_API* ReadTags)(std::uint16_t, const std::int32_t*, std::int32_t) = nullptr;
    std::int32_t(KORAX_API* WriteTags)(std::uint16_t, const TagValueRec*, std::int32_t) = nullptr;
    HostBool(KORAX_API* OnDataRead)(std::int32_t*, TagValueRec*, char**) = nullptr;
    HostBool(KORAX_API* OnDataWrite)(std::int32_t, const TagValueRec*, char**) = nullptr;
    std::int32_t(KORAX_API* GetTags)(std::uint16_t*, driver::TagTemplate*) = nullptr;
    void(KORAX_API* GetTagAddrList)(std::int32_t, std::int32_t*, driver::TagAddrEntry*) = nullptr;
    HostBool(KORAX_API* TagEdAddr)(void*, char**, HostBool, char**) = nullptr;
    std::int32_t(KORAX_API* DLLEdDev)(void*, void*) = nullptr;
    HostBool(KORAX_API* DLLTestDev)(void*, HostBool) = nullptr;
    void(KORAX_API* FullPDB)(void*) = nullptr;
    std::int32_t(KORAX_API* GetPDBLen)() = nullptr;
};

class DriverLibrary {
public:
    // Nothing, with the reason, when the library cannot be loaded or lacks an entry.
    static std::unique_ptr<DriverLibrary> Load(std::string_view name, std::string& error);
    const DriverEntries& Api() const { return api_; }
    // Unloads the library; the driver objects it still owns go with it.
    void Unload() { library_.Free(); }

private:
    platform::DynamicLibrary library_;
    DriverEntries api_;
};

} // namespace korax::tools::host
