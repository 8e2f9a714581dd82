#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/ValueRecord.h"
#include "framework/TagItem.h"
#include "korax24.h"

namespace korax::driver {

// The host's tag definition record, laid out in the public header.
using ::HostTagDef;

// Variant type codes the driver understands as an initial value.
enum class VariantType : std::uint16_t {
    Empty = KORAX_VT_EMPTY,
    Null = KORAX_VT_NULL,
    Int16 = KORAX_VT_I2,
    Int32 = KORAX_VT_I4,
    Single = KORAX_VT_R4,
    Double = KORAX_VT_R8,
    Currency = KORAX_VT_CY,
    Date = KORAX_VT_DATE,
    WideString = KORAX_VT_BSTR,
    Boolean = KORAX_VT_BOOL,
    Int8 = KORAX_VT_I1,
    UInt8 = KORAX_VT_UI1,
    UInt16 = KORAX_VT_UI2,
    UInt32 = KORAX_VT_UI4,
    Int64 = KORAX_VT_I8,
    UInt64 = KORAX_VT_UI8,
    Int = KORAX_VT_INT,
    UInt = KORAX_VT_UINT,
    HostString = KORAX_VT_HOST_STRING, // the host's own 8-bit string
};
inline constexpr std::uint16_t VariantByRef = KORAX_VT_BYREF;

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
