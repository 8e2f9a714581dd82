#pragma once
#include <bitset>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "boards/BoardTexts.h"
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

// How the driver's own bus uses the port I/O library: the NT family keeps ports from user programs, so
// there the library does every transfer and must be there; other Windows systems let the driver reach
// the ports itself; off Windows a library beside the driver, when there is one, stands in for the
// hardware (the board simulator, for tests and demonstrations).
enum class PortLibraryUse : std::uint8_t { Never, IfPresent, Required };
PortLibraryUse PortLibraryUseHere();

// What binding the port I/O library came to.
enum class PortLibraryOutcome : std::uint8_t { NotUsed, Bound, Missing, NoOutEntry, NoInEntry };

// One delay unit between register accesses, measured on the monotonic high-resolution counter so the
// wait does not shrink on faster processors.
inline constexpr std::uint64_t DelayUnitNs = 10'000;

#if defined(_WIN32)
inline constexpr std::string_view SystemPortLibrary = texts::PortLibraryName;
#else
inline constexpr std::string_view SystemPortLibrary = "libControXIO.so";
#endif

// The driver's own bus: through the port I/O library where there is one, else the processor's port
// instructions, and those only on ports the system granted.
class SystemPortBus : public PortBus {
public:
    // ports: the door to the port instructions; portLibrary: the port I/O library's name (empty: none).
    explicit SystemPortBus(platform::PortIo& ports = platform::SystemPortIo(),
                           std::string_view portLibrary = SystemPortLibrary,
                           PortLibraryUse use = PortLibraryUseHere())
        : Ports_(ports), PortLibrary_(portLibrary), Use_(use) {}
    ~SystemPortBus() override {
        Release();
        CloseLibrary();
    }
    SystemPortBus(const SystemPortBus&) = delete;
    SystemPortBus& operator=(const SystemPortBus&) = delete;

    void Write(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t Read(std::uint16_t port) override;
    void Delay(std::uint32_t units) override;
    bool Acquire(std::uint16_t first, std::uint32_t count, std::string& failure) override;
    void Release() override;

    // Loads the port I/O library where this system uses one and binds its two entries. An optional
    // library that is absent or incomplete is let go: the ports are then reached directly.
    PortLibraryOutcome OpenLibrary();
    // Unbinds and frees the library (nothing when none was loaded).
    void CloseLibrary();

    // Binds two entries directly (nil: none).
    void Bind(OutPortProc out, InPortProc in) {
        Out_ = out;
        In_ = in;
    }

private:
    bool Granted(std::uint16_t port) const { return Granted_.test(port); }
    bool GrantPiece(std::uint16_t first, std::uint32_t count, std::string& failure);

    platform::PortIo& Ports_;
    std::string_view PortLibrary_;
    PortLibraryUse Use_;
    OutPortProc Out_ = nullptr;
    InPortProc In_ = nullptr;
    platform::DynamicLibrary Library_;                          // the port I/O library, once loaded
    std::vector<std::pair<std::uint16_t, std::uint32_t>> Held_; // ranges the system granted, in order
    std::bitset<0x10000> Granted_;                              // their ports
};

} // namespace korax::boards
