// The processor's byte-wide port instructions, the same on Win32 and Linux. They fault unless the system
// lets the process reach the ports (a non-NT Windows, or ioperm on Linux); the driver's bus only uses them
// once that is settled.
#include "platform/System.h"

namespace korax::platform {

#if defined(__i386__) || defined(__x86_64__)

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

} // namespace korax::platform
