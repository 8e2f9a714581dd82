#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/ValueRecord.h"
#include "framework/TagItem.h"

namespace korax::driver {

#pragma pack(push, 1)
// The host's tag definition record. Only the fields below are read; the bytes in between are the host's.
struct HostTagDef {
    std::uint32_t TagId;
    char Name[32];
    std::uint8_t Reserved1[4];
    char Address[64];
    std::uint8_t DataType;
    std::uint8_t Reserved2[3];
    std::uint32_t ScanInterval;
    std::uint8_t Reserved3[8];
    // OLE Automation variant: 16-bit type code at 120, value from 128 (a pointer takes the native width).
    std::uint16_t InitialType;
    std::uint8_t Reserved4[6];
    std::uint8_t InitialValue[8];
};
#pragma pack(pop)

static_assert(offsetof(HostTagDef, TagId) == 0);
static_assert(offsetof(HostTagDef, Name) == 4);
static_assert(offsetof(HostTagDef, Address) == 40);
static_assert(offsetof(HostTagDef, DataType) == 104);
static_assert(offsetof(HostTagDef, ScanInterval) == 108);
static_assert(offsetof(HostTagDef, InitialType) == 120);
static_assert(offsetof(HostTagDef, InitialValue) == 128);
static_assert(sizeof(HostTagDef) == 136);
static_assert(sizeof(void*) <= sizeof(HostTagDef::InitialValue));

// Variant type codes the driver understands as an initial value.
enum class VariantType : std::uint16_t {
    Empty = 0,
    Null = 1,
    Int16 = 2,
    Int32 = 3,
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    WideString = 8,
    Boolean = 11,
    Int8 = 16,
    UInt8 = 17,
    UInt16 = 18,
    UInt32 = 19,
    Int64 = 20,
    UInt64 = 21,
    Int = 22,
    UInt = 23,
    HostString = 0x100, // the host's own 8-bit string
};
inline constexpr std::uint16_t VariantByRef = 0x4000;

// Reads a host record into the driver's definition. Name and address stop at their first zero byte or
// at the end of their field. Only type codes 0 (empty) and 1 (null) mean "no initial value"; any other
// code the driver cannot decode marks the definition's initial value as undecoded.
framework::TagDefinition ReadTagDefinition(const HostTagDef& record);

// A zero-terminated 8-bit string of the host, copied; at most 65,535 characters are read, so a string
// without its terminator cannot run through memory. Nil reads as empty.
std::string ReadHostString(const char* text);

// The initial value alone (empty for none and for a value the driver does not decode).
framework::Value ReadInitialValue(const HostTagDef& record);

// Fills a value record for the host. A text goes through the shared memory manager (nil when empty);
// a data type outside 0..2 leaves the value bytes alone.
void WriteValueRecord(TagValueRec& record, std::uint32_t tagId, double timeStamp, std::uint32_t status,
                      std::uint8_t dataType, const framework::Value& value);

// The value a host record carries, by its data type; empty for a data type outside 0..2. A text is
// copied (at most 65,535 characters).
framework::Value ReadValueRecord(const TagValueRec& record);

} // namespace korax::driver
