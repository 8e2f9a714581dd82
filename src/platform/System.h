#pragma once
#include <cstdint>
#include <string_view>

namespace korax::platform {

// True on the NT family (GetVersionExA platform id 2). Always false off Windows.
bool IsNtPlatform();

// A modal message box with the GBK text and one OK button, titled "Confirm".
void ShowConfirmMessage(std::string_view gbkText);

// Raw processor port instructions (x86 out/in). Only meaningful where the process may touch ports.
void PortOut(std::uint16_t port, std::uint8_t value);
std::uint8_t PortIn(std::uint16_t port);

// Monotonic high-resolution counter and its frequency (ticks per second), for fixed busy-waits.
std::uint64_t PerformanceCounter();
std::uint64_t PerformanceFrequency();

} // namespace korax::platform
