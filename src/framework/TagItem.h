#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "config/DevicePDB.h"
#include "framework/Value.h"

namespace korax::framework {

// A tag as the host defines it, already read out of the host's record by the driver layer.
struct TagDefinition {
    std::uint32_t TagId = 0;
    std::string Name;    // up to 32 characters
    std::string Address; // up to 64 characters
    std::uint8_t DataType = 0;
    std::uint32_t ScanInterval = 0;
    Value InitialValue; // empty: none given, unless InitialUndecoded
    // The host gave an initial value in a form the driver does not decode (an error code, a decimal, a
    // reference, an array, a string without text): the data type's default value stands in, but unlike
    // a tag without an initial value the tag keeps the bit its address gives.
    bool InitialUndecoded = false;
};

// Tag data types, the same codes in every host record.
enum class DataType : std::uint8_t { Real = 0, Boolean = 1, Text = 2 };

// One registered tag of a driver object. The fields are grouped so the item stays small: a driver
// object may hold 65,535 of them.
struct TagItem {
    // A new tag is reported whenever it is due, changed or not, for its first ForcedReports + 1 reports
    // (Countdown runs down to 0), so the host sees its value even when it equals the initial one.
    static constexpr std::int8_t ForcedReports = 5;

    std::uint32_t TagId = 0;
    std::int32_t ListIndex = 0;
    std::string TagName;
    std::string TagAddress;
    std::uint8_t DataType = 0;
    std::int8_t Countdown = ForcedReports;
    std::uint8_t DevKind = config::NoBoard; // until the station names a board
    std::uint8_t Access = 0;
    std::int32_t TypeIndex = -1;
    std::uint32_t ScanInterval = 0;
    std::uint32_t LastReportTick = 0;
    framework::Value Value;
    framework::Value LastValue;
    std::int32_t OutputImage = 0;
    std::int32_t Bit = -1;
    std::int32_t Channel = -1;
    std::int32_t Station = -1;
    std::int32_t Slot = -1;
    std::uint32_t ChangeFlag = 0;
    bool Special = false;

    // Upper-cased name of the tag's type; for a special tag its upper-cased address. It follows from the
    // address, so it is worked out when asked for rather than kept in every item.
    std::string Keyword() const;
    // Whether the address begins with the keyword, in any case.
    bool AddressStartsWith(std::string_view keyword) const;
};

} // namespace korax::framework
