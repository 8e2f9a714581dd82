#pragma once
#include <cstdint>
#include <string>

namespace korax::platform {

// The processor's byte-wide port instructions and the system's leave to use them: the one door through
// which the driver reaches ports directly. An instruction on a port the system has not granted ends the
// process, so the bus asks for every range before its first transfer and touches nothing else.
class PortIo {
public:
    virtual ~PortIo() = default;
    // Asks for ports first..first+count-1 (the range does not wrap past 0xFFFF) for the calling thread;
    // false with the system's reason when refused. Grants of the same port are counted.
    virtual bool Grant(std::uint16_t first, std::uint32_t count, std::string& reason) = 0;
    // Gives back one grant of the range; a port stays reachable while another grant still holds it.
    virtual void Revoke(std::uint16_t first, std::uint32_t count) = 0;
    virtual void Out(std::uint16_t port, std::uint8_t value) = 0;
    virtual std::uint8_t In(std::uint16_t port) = 0;
};

// The system's own: on Linux ioperm for ranges below 0x400 and iopl above, counted per thread; on Win32
// every range is granted (there the system either lets programs reach the ports or the port I/O library
// does every transfer).
PortIo& SystemPortIo();

} // namespace korax::platform
