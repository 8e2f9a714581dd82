#pragma once
// C++ conveniences over the calling conventions of the public header.
#include <cstdint>

#include "korax24.h"

namespace korax::driver {

// A Boolean crossing the boundary: one byte, 0 false, 1 true.
using HostBool = ::KoraxBool;
inline constexpr HostBool HostTrue = KORAX_TRUE;
inline constexpr HostBool HostFalse = KORAX_FALSE;
constexpr HostBool ToHostBool(bool value) {
    return value ? HostTrue : HostFalse;
}

} // namespace korax::driver
