// The processor's byte-wide port instructions, the same on Win32 and Linux, behind the port door. They
// fault unless the system lets the process reach the port; the system's own door grants ranges through
// the platform's GrantPortAccess.
#include "platform/PortIo.h"
#include "platform/System.h"

namespace korax::platform {

namespace {

class SystemPorts final : public PortIo {
public:
    bool Grant(std::uint16_t first, std::uint32_t count, std::string& reason) override {
        return GrantPortAccess(first, count, reason);
    }
    void Revoke(std::uint16_t first, std::uint32_t count) override { RevokePortAccess(first, count); }

#if defined(__i386__) || defined(__x86_64__)
    void Out(std::uint16_t port, std::uint8_t value) override {
        asm volatile("outb %0, %1" : : "a"(value), "Nd"(port));
    }
    std::uint8_t In(std::uint16_t port) override {
        std::uint8_t value;
        asm volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
        return value;
    }
#else
    // No port instructions here: reads look like a floating ISA bus.
    void Out(std::uint16_t, std::uint8_t) override {}
    std::uint8_t In(std::uint16_t) override {
        return 0xFF;
    }
#endif
};

} // namespace

PortIo& SystemPortIo() {
    static SystemPorts ports;
    return ports;
}

} // namespace korax::platform
