#pragma once
#include <cstdint>
#include <string>

namespace korax::boards {

// The one door of all port traffic. The driver's own bus reaches the hardware (through the port I/O
// library or the processor's port instructions); tests and the simulator hand the driver another one.
class PortBus {
public:
    virtual ~PortBus() = default;
    virtual void Write(std::uint16_t port, std::uint8_t value) = 0;
    virtual std::uint8_t Read(std::uint16_t port) = 0;
    // Busy-waits the given number of delay units between register accesses.
    virtual void Delay(std::uint32_t units) = 0;
    // Asks for access to ports first..first+count-1 (16-bit: the range may wrap past 0xFFFF to 0) before
    // the first transfer; false with a reason when refused.
    virtual bool Acquire(std::uint16_t first, std::uint32_t count, std::string& failure) {
        static_cast<void>(first);
        static_cast<void>(count);
        static_cast<void>(failure);
        return true;
    }
    // Gives up everything Acquire obtained.
    virtual void Release() {}
};

} // namespace korax::boards
