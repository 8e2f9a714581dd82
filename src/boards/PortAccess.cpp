#include "boards/PortAccess.h"

#include <algorithm>

#include "boards/BoardTexts.h"
#include "platform/System.h"

namespace korax::boards {

namespace {

constexpr std::uint8_t FloatingBus = 0xFF;   // what an unreachable port reads as
constexpr std::uint32_t PortSpace = 0x10000; // 16-bit port numbers

} // namespace

PortLibraryUse PortLibraryUseHere() {
#if defined(_WIN32)
    // The platform cannot change while the process runs: ask once.
    static const bool nt = platform::IsNtPlatform();
    return nt ? PortLibraryUse::Required : PortLibraryUse::Never;
#else
    return PortLibraryUse::IfPresent;
#endif
}

PortLibraryOutcome SystemPortBus::OpenLibrary() {
    if (Use_ == PortLibraryUse::Never || PortLibrary_.empty()) return PortLibraryOutcome::NotUsed;
    if (!Library_.Loaded()) Library_ = platform::DynamicLibrary::Load(PortLibrary_);
    const bool required = Use_ == PortLibraryUse::Required;
    if (!Library_.Loaded()) return required ? PortLibraryOutcome::Missing : PortLibraryOutcome::NotUsed;
    auto* out = reinterpret_cast<OutPortProc>(Library_.Symbol(texts::OutPortEntry));
    auto* in = reinterpret_cast<InPortProc>(Library_.Symbol(texts::InPortEntry));
    if (out != nullptr && in != nullptr) {
        Bind(out, in);
        return PortLibraryOutcome::Bound;
    }
    // A required library stays loaded until the driver closes, as a bound one would.
    if (required) return out == nullptr ? PortLibraryOutcome::NoOutEntry : PortLibraryOutcome::NoInEntry;
    Library_.Free();
    return PortLibraryOutcome::NotUsed;
}

void SystemPortBus::CloseLibrary() {
    if (!Library_.Loaded()) return;
    Bind(nullptr, nullptr);
    Library_.Free();
}

void SystemPortBus::Write(std::uint16_t port, std::uint8_t value) {
    // Without the library, only a port the system granted may see an instruction: on a protected system
    // any other would end the host process.
    if (Out_ != nullptr) {
        Out_(port, value);
    } else if (Granted(port)) {
        Ports_.Out(port, value);
    }
}

std::uint8_t SystemPortBus::Read(std::uint16_t port) {
    if (In_ != nullptr) return static_cast<std::uint8_t>(In_(port) & 0xFF);
    if (Granted(port)) return Ports_.In(port);
    return FloatingBus;
}

void SystemPortBus::Delay(std::uint32_t units) {
    const std::uint64_t frequency = platform::PerformanceFrequency();
    const std::uint64_t ticks = frequency * DelayUnitNs / 1'000'000'000u * units;
    const std::uint64_t start = platform::PerformanceCounter();
    while (platform::PerformanceCounter() - start < ticks) {
    }
}

bool SystemPortBus::Acquire(std::uint16_t first, std::uint32_t count, std::string& failure) {
    if (Out_ != nullptr) return true; // the library does every transfer
    // Port numbers are 16-bit: a range running past 0xFFFF continues at 0.
    const std::uint32_t head = std::min(count, PortSpace - first);
    if (!GrantPiece(first, head, failure)) return false;
    return head == count || GrantPiece(0, count - head, failure);
}

bool SystemPortBus::GrantPiece(std::uint16_t first, std::uint32_t count, std::string& failure) {
    if (count == 0) return true;
    if (!Ports_.Grant(first, count, failure)) return false;
    Held_.emplace_back(first, count);
    for (std::uint32_t port = first; port < first + count; ++port) Granted_.set(port);
    return true;
}

void SystemPortBus::Release() {
    for (const auto& [first, count] : Held_) Ports_.Revoke(first, count);
    Held_.clear();
    Granted_.reset();
}

} // namespace korax::boards
