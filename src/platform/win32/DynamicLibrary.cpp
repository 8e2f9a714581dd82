#include "platform/DynamicLibrary.h"

#include <string>
#include <utility>

#include <windows.h>

namespace korax::platform {

DynamicLibrary DynamicLibrary::Load(std::string_view name) {
    DynamicLibrary library;
    // The view need not end in a zero; the call needs one.
    library.Handle_ = LoadLibraryA(std::string(name).c_str());
    return library;
}

void* DynamicLibrary::Symbol(std::string_view name) const {
    if (Handle_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(Handle_), std::string(name).c_str()));
}

void DynamicLibrary::Free() {
    if (Handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(std::exchange(Handle_, nullptr)));
}

} // namespace korax::platform
