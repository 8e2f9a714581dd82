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
    DynamicLibrary(DynamicLibrary&& other) noexcept : Handle_(std::exchange(other.Handle_, nullptr)) {}
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept {
        if (this != &other) {
            Free();
            Handle_ = std::exchange(other.Handle_, nullptr);
        }
        return *this;
    }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool Loaded() const { return Handle_ != nullptr; }
    void* Symbol(std::string_view name) const;
    // Unloads now (no-op when not loaded).
    void Free();
    // Forgets the handle without unloading (used while the process exits, where unloading is unsafe).
    void Abandon() { Handle_ = nullptr; }

private:
    void* Handle_ = nullptr;
};

} // namespace korax::platform
