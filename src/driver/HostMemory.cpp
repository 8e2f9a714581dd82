#include "driver/HostMemory.h"

#include <cstdint>
#include <cstring>

#include "driver/HostAbi.h"
#include "platform/DynamicLibrary.h"

namespace korax::driver {

namespace {

platform::DynamicLibrary manager;
ManagerGetMem getMem = nullptr;
ManagerFreeMem freeMem = nullptr;

} // namespace

void BindHostMemory() {
    manager = platform::DynamicLibrary::Load(ManagerLibrary);
    getMem = reinterpret_cast<ManagerGetMem>(manager.Symbol(ManagerGetMemEntry));
    freeMem = reinterpret_cast<ManagerFreeMem>(manager.Symbol(ManagerFreeMemEntry));
}

void UnbindHostMemory(bool processExiting) {
    getMem = nullptr;
    freeMem = nullptr;
    if (processExiting) {
        manager.Abandon();
    } else {
        manager.Free();
    }
}

char* toHost(std::string_view text) {
    if (text.empty() || getMem == nullptr) return nullptr;
    auto* block = static_cast<char*>(getMem(static_cast<std::int32_t>(text.size() + 1)));
    if (block == nullptr) return nullptr;
    std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
    return block;
}

void ReleaseHostBlock(char* block) {
    if (block != nullptr && freeMem != nullptr) freeMem(block);
}

void SetOutMessage(char** cell, std::string_view text) {
    if (cell != nullptr) *cell = toHost(text);
}

} // namespace korax::driver
