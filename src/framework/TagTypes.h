#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "config/DevicePDB.h"
#include "config/Models.h"

// The tag types an address can name and, through the model rows, the channels each board kind offers for
// them. The address parsers, the tag validation and the board layer all look their facts up here.
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
    // The count of a model row that gives the type's channels; nil for a type no board serves.
    std::int32_t config::ModelChannels::*Channels = nullptr;
};

inline constexpr std::int32_t NoTagType = -1;
inline constexpr std::int32_t TagTypeCount = 11;

// Indexed by TagItem::TypeIndex.
inline constexpr std::array<TagType, TagTypeCount> TagTypes = {{
    {"EVENT_NO", true, false, 0, 0, 0, 15, 2},
    {"CLREVENT", false, true, 0, 0, 0, 15, 2},
    {"AD", true, false, 0, 0, 0, 15, 2, &config::ModelChannels::Ad},
    {"COUNT", true, false, 0, 0, 0, 15, 2, &config::ModelChannels::Count},
    {"FREQ", true, false, 0, 0, 0, 15, 2},
    {"DI", true, false, 0, 0, 0, 15, 2, &config::ModelChannels::Di},
    {"DO", true, true, 0, 0, 0, 15, 2, &config::ModelChannels::Do},
    {"DA", true, true, 0, 0, 0, 15, 2, &config::ModelChannels::Da},
    {"TEMP", true, false, 0, 0, 0, 15, 2},
    {"CountTarget", false, true, 0, 0, 0, 15, 2, &config::ModelChannels::CountTarget},
    {"RunCount", false, true, 0, 0, 0, 15, 2, &config::ModelChannels::RunCount},
}};

// Channels of one tag type on one board kind. Min is also the channel an address gets when it names none;
// Min -1 means the kind has no such type.
struct ChannelRange {
    std::int32_t Min;
    std::int32_t Max;
};

inline constexpr ChannelRange NoChannels = {-1, -1};

// The type at an index, or nil for NoTagType and anything else outside the table.
constexpr const TagType* TagTypeAt(std::int32_t typeIndex) {
    return typeIndex >= 0 && typeIndex < TagTypeCount ? &TagTypes[static_cast<std::size_t>(typeIndex)]
                                                      : nullptr;
}

// Channels of a type on a board kind; NoChannels for a kind that is not a board or a type outside the table.
constexpr ChannelRange ChannelRangeOf(std::uint8_t kind, std::int32_t typeIndex) {
    if (!config::IsBoard(kind) || typeIndex < 0 || typeIndex >= TagTypeCount) return NoChannels;
    const auto field = TagTypes[static_cast<std::size_t>(typeIndex)].Channels;
    if (field == nullptr) return NoChannels;
    const std::int32_t count = config::Models[kind].Channels.*field;
    return count > 0 ? ChannelRange{0, count - 1} : NoChannels;
}

} // namespace korax::framework
