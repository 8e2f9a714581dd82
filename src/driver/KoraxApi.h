#pragma once
#include <cstdint>

// Calling convention of the host's entry points: stdcall on Win32 (undecorated names come from the .def
// file), the default elsewhere, where only these names are visible outside the library.
#if defined(_WIN32)
#define KORAX_API __stdcall
#define KORAX_EXPORT
#else
#define KORAX_API
#define KORAX_EXPORT __attribute__((visibility("default")))
#endif

// The shared memory manager's register convention (first argument EAX, second EDX, result EAX).
#if defined(__i386__)
#define KORAX_REGISTER __attribute__((regparm(3)))
#else
#define KORAX_REGISTER
#endif

namespace korax::driver {

// A Boolean crossing the boundary: one byte, 0 false, 1 true.
using HostBool = std::uint8_t;
inline constexpr HostBool HostTrue = 1;
inline constexpr HostBool HostFalse = 0;
constexpr HostBool ToHostBool(bool value) {
    return value ? HostTrue : HostFalse;
}

} // namespace korax::driver
