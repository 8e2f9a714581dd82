#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korax::platform {

// True on the NT family (GetVersionExA platform id 2). Always false off Windows.
bool IsNtPlatform();

// A modal message box with the GBK text and one OK button, titled "Confirm".
void ShowConfirmMessage(std::string_view gbkText);

// The system's leave for this thread to execute port instructions on first..first+count-1 (no wrap past
// 0xFFFF), counted per port; false with the system's reason. Used by SystemPortIo (PortIo.h) only.
bool GrantPortAccess(std::uint16_t first, std::uint32_t count, std::string& reason);
void RevokePortAccess(std::uint16_t first, std::uint32_t count);

// Monotonic high-resolution counter and its frequency (ticks per second), for fixed busy-waits.
std::uint64_t PerformanceCounter();
std::uint64_t PerformanceFrequency();
inline std::uint64_t MonotonicMicroseconds() {
    static const std::uint64_t frequency = PerformanceFrequency();
    const std::uint64_t count = PerformanceCounter();
    return count / frequency * 1'000'000 + count % frequency * 1'000'000 / frequency;
}

// The file of the module this code is linked into (the driver library; the program when linked into one);
// empty when the system cannot tell.
std::string ModulePath();
// The value of an environment variable of the process; none when it is not set or empty. On Win32 it is the
// process's own variable block, which a host changing its environment with the system call changes too.
std::optional<std::string> EnvironmentVariable(const char* name);
// The calling thread's id as the system numbers threads.
std::uint32_t CurrentThreadId();

} // namespace korax::platform
