#include "platform/DynamicLibrary.h"

#include <string>
#include <utility>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace korax::platform {

namespace {

// Directory of the module (executable or shared library) this code is linked into, with a trailing '/'.
// Windows looks for a bare library name beside the module first; the same rule here keeps the driver,
// its stand-ins and the tests together without relying on the caller's search path (which sanitizer
// runtimes replace when they intercept dlopen).
std::string OwnModuleDirectory() {
    Dl_info info{};
    std::string path;
    if (dladdr(reinterpret_cast<void*>(&OwnModuleDirectory), &info) != 0 && info.dli_fname != nullptr)
        path = info.dli_fname;
    if (path.find('/') == std::string::npos) {
        char self[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        path = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

DynamicLibrary DynamicLibrary::Load(std::string_view name) {
    DynamicLibrary library;
    // The view need not end in a zero; dlopen needs one.
    const std::string file(name);
    if (file.find('/') == std::string::npos) {
        const std::string beside = OwnModuleDirectory() + file;
        if (access(beside.c_str(), F_OK) == 0) library.Handle_ = dlopen(beside.c_str(), RTLD_NOW);
    }
    if (library.Handle_ == nullptr) library.Handle_ = dlopen(file.c_str(), RTLD_NOW);
    return library;
}

void* DynamicLibrary::Symbol(std::string_view name) const {
    if (Handle_ == nullptr) return nullptr;
    return dlsym(Handle_, std::string(name).c_str());
}

void DynamicLibrary::Free() {
    if (Handle_ != nullptr) dlclose(std::exchange(Handle_, nullptr));
}

} // namespace korax::platform
