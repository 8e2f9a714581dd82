#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "korax24.h"

// The records the host's tag editor fetches (laid out in the public header). Hosts lay out arrays of them
// themselves, so every offset is binding; doubles sit at offsets that are not multiples of 8 and are kept
// as raw bytes.
namespace korax::driver {

inline constexpr std::size_t EditorTextSize = KORAX_EDITOR_TEXT_SIZE; // length byte + up to 255 characters

using ::TagAddrEntry;
using ::TagTemplate;

// Doubles at unaligned offsets, little-endian like every record of the boundary.
inline void StoreDouble(std::uint8_t (&field)[8], double value) {
    std::memcpy(field, &value, sizeof value);
}

inline double LoadDouble(const std::uint8_t (&field)[8]) {
    double value = 0;
    std::memcpy(&value, field, sizeof value);
    return value;
}

} // namespace korax::driver
