#include "host/DriverBinding.h"

namespace korax::tools::host {

namespace {

#if defined(_WIN32)
constexpr std::string_view GetMemEntry = "@Borlndmm@SysGetMem$qqri";
constexpr std::string_view FreeMemEntry = "@Borlndmm@SysFreeMem$qqrpv";
#else
constexpr std::string_view GetMemEntry = "Borlndmm_SysGetMem";
constexpr std::string_view FreeMemEntry = "Borlndmm_SysFreeMem";
#endif
// Only the stand-in counts its blocks; a host's own manager lacks the entry and that is fine.
constexpr std::string_view LiveBlocksEntry = "ShimLiveBlocks";

template <typename F>
bool Bind(const platform::DynamicLibrary& library, F& entry, std::string_view name, std::string& missing) {
    entry = reinterpret_cast<F>(library.Symbol(name));
    if (entry == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(name);
    return entry != nullptr;
}

} // namespace

std::unique_ptr<SharedMemory> SharedMemory::Load(std::string& error) {
    auto manager = std::make_unique<SharedMemory>();
    manager->library_ = platform::DynamicLibrary::Load(ManagerName);
    if (!manager->library_.Loaded()) {
        error = "cannot load the shared memory manager " + std::string(ManagerName) +
                " (it belongs beside the driver library)";
        return nullptr;
    }
    std::string missing;
    Bind(manager->library_, manager->getMem_, GetMemEntry, missing);
    Bind(manager->library_, manager->freeMem_, FreeMemEntry, missing);
    if (!missing.empty()) {
        error = std::string(ManagerName) + " lacks the entries " + missing;
        return nullptr;
    }
    manager->liveBlocks_ = reinterpret_cast<decltype(liveBlocks_)>(manager->library_.Symbol(LiveBlocksEntry));
    return manager;
}

std::optional<std::string> SharedMemory::Take(char*& text) {
    if (text == nullptr) return std::nullopt;
    std::string copy(text);
    if (freeMem_(text) == 0) {
        ++released_;
    } else {
        ++refused_;
    }
    text = nullptr;
    return copy;
}

std::optional<std::int32_t> SharedMemory::LiveBlocks() const {
    if (liveBlocks_ == nullptr) return std::nullopt;
    return liveBlocks_();
}

std::unique_ptr<DriverLibrary> DriverLibrary::Load(std::string_view name, std::string& error) {
    auto driver = std::make_unique<DriverLibrary>();
    driver->library_ = platform::DynamicLibrary::Load(name);
    if (!driver->library_.Loaded()) {
        error = "cannot load the driver library " + std::string(name);
        return nullptr;
    }
    const platform::DynamicLibrary& library = driver->library_;
    DriverEntries& api = driver->api_;
    std::string missing;
    Bind(library, api.IniDriver, "IniDriver", missing);
    Bind(library, api.IniDriverEx, "IniDriverEx", missing);
    Bind(library, api.FreeDriver, "FreeDriver", missing);
    Bind(library, api.DetectScanTime, "DetectScanTime", missing);
    Bind(library, api.GetDeviceStatus, "GetDeviceStatus", missing);
    Bind(library, api.WriteLog, "WriteLog", missing);
    Bind(library, api.AddTags, "AddTags", missing);
    Bind(library, api.ReadTags, "ReadTags", missing);
    Bind(library, api.WriteTags, "WriteTags", missing);
    Bind(library, api.OnDataRead, "OnDataRead", missing);
    Bind(library, api.OnDataWrite, "OnDataWrite", missing);
    Bind(library, api.GetTags, "GetTags", missing);
    Bind(library, api.GetTagAddrList, "GetTagAddrList", missing);
    Bind(library, api.TagEdAddr, "TagEdAddr", missing);
    Bind(library, api.DLLEdDev, "DLLEdDev", missing);
    Bind(library, api.DLLTestDev, "DLLTestDev", missing);
    Bind(library, api.FullPDB, "FullPDB", missing);
    Bind(library, api.GetPDBLen, "GetPDBLen", missing);
    if (!missing.empty()) {
        error = std::string(name) + " is not a korax24 driver: it lacks " + missing;
        return nullptr;
    }
    return driver;
}

} // namespace korax::tools::host
