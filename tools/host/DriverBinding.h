#pragma once
// What makes korax-host a host: it loads the shared memory manager and the driver library by name, binds
// the driver's entry points by their undecorated names with the standard calling convention, and gives
// every string the driver hands over back to the manager.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/Result.h"
#include "driver/HostAbi.h"
#include "platform/DynamicLibrary.h"

namespace korax::tools::host {

using driver::HostBool;
using driver::HostTagDef;
using driver::TagValueRec;

// The process-shared memory manager, as the driver binds it too.
class SharedMemory {
public:
    // The reason instead when the library or its entries are missing.
    static Result<std::unique_ptr<SharedMemory>> Load();

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
    driver::ManagerGetMem getMem_ = nullptr;
    driver::ManagerFreeMem freeMem_ = nullptr;
    std::int32_t(KORAX_API* liveBlocks_)() = nullptr;
    std::uint64_t released_ = 0;
    std::uint64_t refused_ = 0;
};

// The driver's eighteen entry points.
struct DriverEntries {
    KORAX_HOST_EXPORTS(KORAX_HOST_ENTRY_POINTER)
};

class DriverLibrary {
public:
    // The reason instead when the library cannot be loaded or lacks an entry.
    static Result<std::unique_ptr<DriverLibrary>> Load(std::string_view name);
    const DriverEntries& Api() const { return api_; }
    // Unloads the library; the driver objects it still owns go with it.
    void Unload() { library_.Free(); }

private:
    platform::DynamicLibrary library_;
    DriverEntries api_;
};

} // namespace korax::tools::host
