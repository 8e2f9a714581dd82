#include "host/DriverBinding.h"

namespace korax::tools::host {

namespace {

// Only the stand-in counts its blocks; a host's own manager lacks the entry and that is fine.
constexpr std::string_view LiveBlocksEntry = "ShimLiveBlocks";

template <typename F>
bool Bind(const platform::DynamicLibrary& library, F& entry, std::string_view name, std::string& missing) {
    entry = reinterpret_cast<F>(library.Symbol(name));
    if (entry == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(name);
    return entry != nullptr;
}

} // namespace

Result<std::unique_ptr<SharedMemory>> SharedMemory::Load() {
    auto manager = std::make_unique<SharedMemory>();
    manager->library_ = platform::DynamicLibrary::Load(driver::ManagerLibrary);
    if (!manager->library_.Loaded()) {
        return Failure{"cannot load the shared memory manager " + std::string(driver::ManagerLibrary) +
                       " (it belongs beside the driver library)"};
    }
    std::string missing;
    Bind(manager->library_, manager->getMem_, driver::ManagerGetMemEntry, missing);
    Bind(manager->library_, manager->freeMem_, driver::ManagerFreeMemEntry, missing);
    if (!missing.empty())
        return Failure{std::string(driver::ManagerLibrary) + " lacks the entries " + missing};
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

Result<std::unique_ptr<DriverLibrary>> DriverLibrary::Load(std::string_view name) {
    auto driver = std::make_unique<DriverLibrary>();
    driver->library_ = platform::DynamicLibrary::Load(name);
    if (!driver->library_.Loaded()) return Failure{"cannot load the driver library " + std::string(name)};
    const platform::DynamicLibrary& library = driver->library_;
    DriverEntries& api = driver->api_;
    std::string missing;
    driver::BindHostExports(
        api, [&library](const char* entry) { return library.Symbol(entry); },
        [&missing](const char* entry) { missing += (missing.empty() ? "" : ", ") + std::string(entry); });
    if (!missing.empty()) return Failure{std::string(name) + " is not a korax24 driver: it lacks " + missing};
    return driver;
}

} // namespace korax::tools::host
