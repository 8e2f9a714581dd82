#include "platform/System.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__linux__) && (defined(__i386__) || defined(__x86_64__))
#include <sys/io.h>
#define KORAX_HAS_IOPERM 1
#endif

namespace korax::platform {

namespace {

#if defined(KORAX_HAS_IOPERM)
// ioperm reaches the ports below this; a range reaching further needs the I/O privilege level (iopl).
constexpr std::uint32_t IopermPorts = 0x400;
constexpr int IoplAllPorts = 3;

// Both kinds of leave belong to the calling thread, and several driver objects of one thread may hold the
// same port: the leave is given back only with its last holder.
thread_local std::array<std::uint16_t, IopermPorts> iopermHolders{};
thread_local std::uint32_t ioplHolders = 0;

bool NeedsIopl(std::uint16_t first, std::uint32_t count) {
    return first + count > IopermPorts;
}
#endif

} // namespace

bool GrantPortAccess(std::uint16_t first, std::uint32_t count, std::string& reason) {
    if (count == 0) return true;
#if defined(KORAX_HAS_IOPERM)
    if (NeedsIopl(first, count)) {
        if (ioplHolders == 0 && iopl(IoplAllPorts) != 0) {
            reason = std::strerror(errno);
            return false;
        }
        ++ioplHolders;
        return true;
    }
    if (ioperm(first, count, 1) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    for (std::uint32_t port = first; port < first + count; ++port) ++iopermHolders[port];
    return true;
#else
    reason = std::strerror(ENOSYS);
    return false;
#endif
}

void RevokePortAccess(std::uint16_t first, std::uint32_t count) {
    if (count == 0) return;
#if defined(KORAX_HAS_IOPERM)
    if (NeedsIopl(first, count)) {
        if (ioplHolders > 0 && --ioplHolders == 0) iopl(0);
        return;
    }
    for (std::uint32_t port = first; port < first + count; ++port) {
        if (iopermHolders[port] > 0 && --iopermHolders[port] == 0) ioperm(port, 1, 0);
    }
#endif
}

bool IsNtPlatform() {
    return false;
}

void ShowConfirmMessage(std::string_view gbkText) {
    // No desktop to show a box on: the text goes where an operator of a console run will see it.
    std::fprintf(stderr, "Confirm: %.*s\n", static_cast<int>(gbkText.size()), gbkText.data());
}

std::uint64_t PerformanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

std::uint64_t PerformanceFrequency() {
    return 1'000'000'000u;
}

} // namespace korax::platform

namespace korax::platform {

std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

} // namespace korax::platform
