#include "platform/DynamicLibrary.h"

#include <string>
#include <utility>

#include <dlfcn.h>

namespace korax::platform {

DynamicLibrary DynamicLibrary::Load(std::string_view name) {
    DynamicLibrary library;
    // The view need not end in a zero; dlopen needs one.
    library.handle_ = dlopen(std::string(name).c_str(), RTLD_NOW);
    return library;
}

DynamicLibrary::~DynamicLibrary() {
    Free();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void* DynamicLibrary::Symbol(std::string_view name) const {
    if (handle_ == nullptr) return nullptr;
    return dlsym(handle_, std::string(name).c_str());
}

void DynamicLibrary::Free() {
    if (handle_ != nullptr) dlclose(std::exchange(handle_, nullptr));
}

} // namespace korax::platform
