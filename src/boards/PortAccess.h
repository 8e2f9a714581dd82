#pragma once
#include <bitset>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "boards/PortBus.h"
#include "platform/DynamicLibrary.h"
#include "platform/PortIo.h"

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

#if !defined(_WIN32)
// Off Windows a port I/O library beside the driver stands in for the hardware (the board simulator, for
// tests and demonstrations); without one the ports are reached directly.
inline constexpr std::string_view NativePortLibrary = "libControXIO.so";
#else
inline constexpr std::string_view NativePortLibrary = {};
#endif

// The driver's own bus: through the port I/O library where there is one, else the processor's port
// instructions, and those only on ports the system granted.
class SystemPortBus : public PortBus {
public:
    // ports: the door to the port instructions; portLibrary: the library looked for off Windows (empty:
    // none).
    explicit SystemPortBus(platform::PortIo& ports = platform::SystemPortIo(),
                           std::string_view portLibrary = NativePortLibrary)
        : Ports_(ports), PortLibrary_(portLibrary) {}
    ~SystemPortBus() override { Release(); }
    SystemPortBus(const SystemPortBus&) = delete;
    SystemPortBus& operator=(const SystemPortBus&) = delete;

    void Write(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t Read(std::uint16_t port) override;
    void Delay(std::uint32_t units) override;
    bool Acquire(std::uint16_t first, std::uint32_t count, std::string& failure) override;
    void Release() override;

    // The entries of the port I/O library the driver object bound (nil: none).
    void Bind(OutPortProc out, InPortProc in) {
        Out_ = out;
        In_ = in;
    }

private:
    bool Granted(std::uint16_t port) const { return Granted_.test(port); }
    bool GrantPiece(std::uint16_t first, std::uint32_t count, std::string& failure);

    platform::PortIo& Ports_;
    std::string_view PortLibrary_;
    OutPortProc Out_ = nullptr;
    InPortProc In_ = nullptr;
    platform::DynamicLibrary OwnLibrary_;                       // a port library this bus loaded itself
    std::vector<std::pair<std::uint16_t, std::uint32_t>> Held_; // ranges the system granted, in order
    std::bitset<0x10000> Granted_;                              // their ports
};

} // namespace korax::boards
