#include "boards/PortAccess.h"

#include <cerrno>
#include <cstring>

#include "boards/BoardTexts.h"
#include "platform/System.h"

#if !defined(_WIN32) && (defined(__i386__) || defined(__x86_64__))
#include <sys/io.h>
#define KORAX_HAS_IOPERM 1
#endif

namespace korax::boards {

namespace {

#if !defined(_WIN32)
// Where boards are configured from (0x200..0x3F0) plus the highest register offset.
constexpr unsigned long FirstBoardPort = 0x200;
constexpr unsigned long BoardPortSpan = 0x200 + 0x10;
// A port I/O library beside the driver stands in for the hardware (the board simulator, for tests and
// demonstrations); without one the ports are reached directly.
constexpr std::string_view NativePortLibrary = "libControXIO.so";
#endif

constexpr std::uint8_t FloatingBus = 0xFF; // what an unreachable port reads as

} // namespace

bool PortLibraryRequired() {
    // The platform cannot change while the process runs: ask once.
    static const bool nt = platform::IsNtPlatform();
    return nt;
}

void SystemPortBus::Write(std::uint16_t port, std::uint8_t value) {
    // Without the library or granted direct access, nothing may touch a port: on a protected system the
    // instruction would end the host process.
    if (out_ != nullptr) {
        out_(port, value);
    } else if (direct_) {
        platform::PortOut(port, value);
    }
}

std::uint8_t SystemPortBus::Read(std::uint16_t port) {
    if (in_ != nullptr) return static_cast<std::uint8_t>(in_(port) & 0xFF);
    if (direct_) return platform::PortIn(port);
    return FloatingBus;
}

void SystemPortBus::Delay(std::uint32_t units) {
    const std::uint64_t frequency = platform::PerformanceFrequency();
    const std::uint64_t ticks = frequency * DelayUnitNs / 1'000'000'000u * units;
    const std::uint64_t start = platform::PerformanceCounter();
    while (platform::PerformanceCounter() - start < ticks) {
    }
}

bool SystemPortBus::Acquire(std::string& failure) {
#if defined(_WIN32)
    static_cast<void>(failure);
    direct_ = !PortLibraryRequired();
    return true;
#else
    if (out_ == nullptr) {
        ownLibrary_ = platform::DynamicLibrary::Load(NativePortLibrary);
        auto* out = reinterpret_cast<OutPortProc>(ownLibrary_.Symbol(texts::OutPortEntry));
        auto* in = reinterpret_cast<InPortProc>(ownLibrary_.Symbol(texts::InPortEntry));
        if (out != nullptr && in != nullptr) {
            Bind(out, in);
            return true;
        }
        ownLibrary_.Free();
    }
    if (out_ != nullptr) return true;
#if defined(KORAX_HAS_IOPERM)
    if (ioperm(FirstBoardPort, BoardPortSpan, 1) == 0) {
        direct_ = true;
        return true;
    }
    failure = std::strerror(errno);
#else
    failure = std::strerror(ENOSYS);
#endif
    return false;
#endif
}

void SystemPortBus::Release() {
#if !defined(_WIN32)
    if (ownLibrary_.Loaded()) {
        Bind(nullptr, nullptr);
        ownLibrary_.Free();
    }
#if defined(KORAX_HAS_IOPERM)
    if (direct_) ioperm(FirstBoardPort, BoardPortSpan, 0);
#endif
#endif
    direct_ = false;
}

} // namespace korax::boards
