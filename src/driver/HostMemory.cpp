#include "driver/HostMemory.h"

#include <cstdint>
#include <cstring>

#include "driver/KoraxApi.h"
#include "platform/DynamicLibrary.h"

namespace korax::driver {

namespace {

#if defined(_WIN32)
constexpr std::string_view ManagerLibrary = "borlndmm.dll";
constexpr std::string_view GetMemEntry = "@Borlndmm@SysGetMem$qqri";
constexpr std::string_view FreeMemEntry = "@Borlndmm@SysFreeMem$qqrpv";
#else
constexpr std::string_view ManagerLibrary = "libborlndmm.so";
constexpr std::string_view GetMemEntry = "Borlndmm_SysGetMem";
constexpr std::string_view FreeMemEntry = "Borlndmm_SysFreeMem";
#endif

using GetMemProc = void*(KORAX_REGISTER*)(std::int32_t size);
using FreeMemProc = std::int32_t(KORAX_REGISTER*)(void* block);

platform::DynamicLibrary manager;
GetMemProc getMem = nullptr;
FreeMemProc freeMem = nullptr;

} // namespace

void BindHostMemory() {
    manager = platform::DynamicLibrary::Load(ManagerLibrary);
    getMem = reinterpret_cast<GetMemProc>(manager.Symbol(GetMemEntry));
    freeMem = reinterpret_cast<FreeMemProc>(manager.Symbol(FreeMemEntry));
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
