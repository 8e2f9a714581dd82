#pragma once
#include <cstdint>

#include "boards/PortBus.h"
#include "platform/DynamicLibrary.h"

#if defined(_WIN32)
#define KORAX_PORTLIB_API __stdcall
#else
#define KORAX_PORTLIB_API
#endif

namespace korax::boards {

// The port I/O library's two entries: 32-bit arguments, the byte in the low 8 bits.
using OutPortProc = void(KORAX_PORTLIB_API*)(std::uint32_t port, std::uint32_t value);
using InPortProc = std::uint32_t(KORAX_PORTLIB_API*)(std::uint32_t port);

// The NT family keeps ports from user programs: there the port I/O library does every transfer.
bool PortLibraryRequired();

// One delay unit between register accesses, measured on the monotonic high-resolution counter so the
// wait does not shrink on faster processors.
inline constexpr std::uint64_t DelayUnitNs = 10'000;

// The driver's own bus: through the port I/O library where the system requires one, else the processor's
// port instructions.
class SystemPortBus : public PortBus {
public:
    void Write(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t Read(std::uint16_t port) override;
    void Delay(std::uint32_t units) override;
    bool Acquire(std::string& failure) override;
    void Release() override;

    // The entries of the port I/O library the driver object bound (nil: none).
    void Bind(OutPortProc out, InPortProc in) {
        out_ = out;
        in_ = in;
    }

private:
    OutPortProc out_ = nullptr;
    InPortProc in_ = nullptr;
    bool direct_ = false;                 // port instructions may be used
    platform::DynamicLibrary ownLibrary_; // a port library this bus loaded itself
};

} // namespace korax::boards
