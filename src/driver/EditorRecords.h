#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// The records the host's tag editor fetches. Hosts lay out arrays of them themselves, so every offset is
// binding; doubles sit at offsets that are not multiples of 8 and are kept as raw bytes.
namespace korax::driver {

inline constexpr std::size_t EditorTextSize = 256; // length byte + up to 255 characters

#pragma pack(push, 1)
// One tag template (GetTags).
struct TagTemplate {
    std::uint8_t Name[EditorTextSize];
    std::uint8_t Description[EditorTextSize];
    std::uint8_t DataType;
    std::uint8_t Access;
    std::uint8_t Field514;
    std::uint8_t Padding1;
    std::int32_t Field516;
    std::int32_t Field520;
    std::uint8_t Field524;
    std::uint8_t Padding2[3];
    std::int32_t Field528;
    std::int32_t Field532;
    std::uint8_t Field536;
    std::uint8_t Padding3[3];
    std::int32_t Field540;
    std::int32_t Field544;
    std::uint8_t RangeHigh[8]; // double
    std::uint8_t RangeLow[8];  // double
    std::int32_t Tail;
};

// One entry of the tag address list (GetTagAddrList).
struct TagAddrEntry {
    std::uint8_t Name[EditorTextSize];
    std::uint8_t Description[EditorTextSize];
    std::uint8_t DataType;
    std::uint8_t Access;
    std::uint8_t Padding1[2];
    std::uint8_t RangeHigh[8]; // double
    std::uint8_t RangeLow[8];  // double
    std::int32_t Tail;
};
#pragma pack(pop)

static_assert(offsetof(TagTemplate, Name) == 0);
static_assert(offsetof(TagTemplate, Description) == 256);
static_assert(offsetof(TagTemplate, DataType) == 512);
static_assert(offsetof(TagTemplate, Access) == 513);
static_assert(offsetof(TagTemplate, Field514) == 514);
static_assert(offsetof(TagTemplate, Field516) == 516);
static_assert(offsetof(TagTemplate, Field520) == 520);
static_assert(offsetof(TagTemplate, Field524) == 524);
static_assert(offsetof(TagTemplate, Field528) == 528);
static_assert(offsetof(TagTemplate, Field532) == 532);
static_assert(offsetof(TagTemplate, Field536) == 536);
static_assert(offsetof(TagTemplate, Field540) == 540);
static_assert(offsetof(TagTemplate, Field544) == 544);
static_assert(offsetof(TagTemplate, RangeHigh) == 548);
static_assert(offsetof(TagTemplate, RangeLow) == 556);
static_assert(offsetof(TagTemplate, Tail) == 564);
static_assert(sizeof(TagTemplate) == 568);

static_assert(offsetof(TagAddrEntry, Name) == 0);
static_assert(offsetof(TagAddrEntry, Description) == 256);
static_assert(offsetof(TagAddrEntry, DataType) == 512);
static_assert(offsetof(TagAddrEntry, Access) == 513);
static_assert(offsetof(TagAddrEntry, RangeHigh) == 516);
static_assert(offsetof(TagAddrEntry, RangeLow) == 524);
static_assert(offsetof(TagAddrEntry, Tail) == 532);
static_assert(sizeof(TagAddrEntry) == 536);

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
