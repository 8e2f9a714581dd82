#pragma once
#include <cstdint>
#include <string>

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

// One registered tag of a driver object.
struct TagItem {
    std::uint32_t TagId = 0;
    std::int32_t ListIndex = 0;
    std::string TagName;
    std::string TagAddress;
    std::uint8_t DataType = 0;
    std::string Keyword;
    std::int32_t TypeIndex = -1;
    std::uint32_t ScanInterval = 0;
    std::uint32_t LastReportTick = 0;
    framework::Value Value;
    framework::Value LastValue;
    std::int8_t Countdown = 5;
    std::int32_t OutputImage = 0;
    std::int32_t Bit = -1;
    std::int32_t Channel = -1;
    std::int32_t Station = -1;
    std::int32_t Slot = -1;
    std::uint8_t DevKind = 7;
    std::uint32_t ChangeFlag = 0;
    std::uint8_t Access = 0;
    bool Special = false;
};

} // namespace korax::framework
