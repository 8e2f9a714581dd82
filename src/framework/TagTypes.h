#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "config/DevicePDB.h"

// The tag types an address can name and the channels each board kind offers for them. The address
// parsers, the tag validation and the board layer all look their facts up here.
namespace korax::framework {

struct TagType {
    std::string_view Name; // matched against the start of an address without regard to case
    bool Readable;         // can be polled and read on demand
    bool Writable;         // accepts values from the host
    std::int32_t SlotMin;  // also the slot an address gets when it names none
    std::int32_t SlotMax;
    std::int32_t BitMin; // also the bit an address gets when it names none
    std::int32_t BitMax;
    std::uint8_t Access; // copied into every tag item of the type
};

inline constexpr std::int32_t NoTagType = -1;
inline constexpr std::int32_t TagTypeCount = 11;

// Indexed by TagItem::TypeIndex.
inline constexpr std::array<TagType, TagTypeCount> TagTypes = {{
    {"EVENT_NO", true, false, 0, 0, 0, 15, 2},
    {"CLREVENT", false, true, 0, 0, 0, 15, 2},
    {"AD", true, false, 0, 0, 0, 15, 2},
    {"COUNT", true, false, 0, 0, 0, 15, 2},
    {"FREQ", true, false, 0, 0, 0, 15, 2},
    {"DI", true, false, 0, 0, 0, 15, 2},
    {"DO", true, true, 0, 0, 0, 15, 2},
    {"DA", true, true, 0, 0, 0, 15, 2},
    {"TEMP", true, false, 0, 0, 0, 15, 2},
    {"CountTarget", false, true, 0, 0, 0, 15, 2},
    {"RunCount", false, true, 0, 0, 0, 15, 2},
}};

// Channels of one tag type on one board kind. Min is also the channel an address gets when it names none;
// Min -1 means the kind has no such type.
struct ChannelRange {
    std::int32_t Min;
    std::int32_t Max;
};

inline constexpr ChannelRange NoChannels = {-1, -1};

// The channels of every tag type on one board kind, indexed by type.
struct KindChannels {
    std::array<std::int32_t, TagTypeCount> Min;
    std::array<std::int32_t, TagTypeCount> Max;
};

// Indexed by board kind (the model code).
inline constexpr std::array<KindChannels, config::ModelCount> ChannelRanges = {{
    {{-1, -1, 0, 0, -1, 0, 0, 0, -1, 0, 0}, {-1, -1, 15, 0, -1, 15, 15, 1, -1, 0, 0}},           // KRX-A100
    {{-1, -1, 0, -1, -1, -1, -1, -1, -1, -1, -1}, {-1, -1, 31, -1, -1, -1, -1, -1, -1, -1, -1}}, // KRX-A200
    {{-1, -1, -1, -1, -1, 0, 0, 0, -1, -1, -1}, {-1, -1, -1, -1, -1, 15, 15, 5, -1, -1, -1}},    // KRX-B100
    {{-1, -1, -1, 0, -1, 0, 0, -1, -1, 0, 0}, {-1, -1, -1, 2, -1, 31, 31, -1, -1, 2, 2}},        // KRX-C100
    {{-1, -1, -1, -1, -1, 0, 0, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, 7, 7, -1, -1, -1, -1}},    // KRX-C200
    {{-1, -1, -1, -1, -1, 0, 0, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, 15, 15, -1, -1, -1, -1}},  // KRX-C210
    {{-1, -1, -1, -1, -1, 0, 0, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, 31, 31, -1, -1, -1, -1}},  // KRX-C300
}};

// The type at an index, or nil for NoTagType and anything else outside the table.
constexpr const TagType* TagTypeAt(std::int32_t typeIndex) {
    return typeIndex >= 0 && typeIndex < TagTypeCount ? &TagTypes[static_cast<std::size_t>(typeIndex)]
                                                      : nullptr;
}

// Channels of a type on a board kind; NoChannels for a kind that is not a board or a type outside the table.
constexpr ChannelRange ChannelRangeOf(std::uint8_t kind, std::int32_t typeIndex) {
    if (!config::IsBoard(kind) || typeIndex < 0 || typeIndex >= TagTypeCount) return NoChannels;
    const KindChannels& channels = ChannelRanges[kind];
    const auto type = static_cast<std::size_t>(typeIndex);
    return {channels.Min[type], channels.Max[type]};
}

} // namespace korax::framework
