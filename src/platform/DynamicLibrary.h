#pragma once
#include <string_view>
#include <utility>

namespace korax::platform {

// A loaded module; released when the object goes away.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    static DynamicLibrary Load(std::string_view name);
    ~DynamicLibrary() { Free(); }
    DynamicLibrary(DynamicLibrary&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept {
        if (this != &other) {
            Free();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    void* Symbol(std::string_view name) const;
    // Unloads now (no-op when not loaded).
    void Free();
    // Forgets the handle without unloading (used while the process exits, where unloading is unsafe).
    void Abandon() { handle_ = nullptr; }

private:
    void* handle_ = nullptr;
};

} // namespace korax::platform
