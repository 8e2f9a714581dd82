#include "platform/System.h"

#include <cstdio>
#include <ctime>

namespace korax::platform {

bool IsNtPlatform() {
    return false;
}

void ShowConfirmMessage(std::string_view gbkText) {
    // No desktop to show a box on: the text goes where an operator of a console run will see it.
    std::fprintf(stderr, "Confirm: %.*s\n", static_cast<int>(gbkText.size()), gbkText.data());
}

#if defined(__i386__) || defined(__x86_64__)

// Faults unless the process was granted the ports (ioperm/iopl); callers reach this only on real hardware.
void PortOut(std::uint16_t port, std::uint8_t value) {
    asm volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

std::uint8_t PortIn(std::uint16_t port) {
    std::uint8_t value;
    asm volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
    return value;
}

#else

// No port instructions here: reads look like a floating ISA bus.
void PortOut(std::uint16_t, std::uint8_t) {}
std::uint8_t PortIn(std::uint16_t) {
    return 0xFF;
}

#endif

std::uint64_t PerformanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

std::uint64_t PerformanceFrequency() {
    return 1'000'000'000u;
}

} // namespace korax::platform
