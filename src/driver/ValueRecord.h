#pragma once
// The tag value record that crosses the boundary in OnDataRead, OnDataWrite and WriteTags, and the one
// encoding of its value bytes by data type. The driver fills and reads records with it, and so does a host
// (korax-host), so both sides agree on every byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "framework/TagItem.h"

namespace korax::driver {

// The data type codes of every host record.
using framework::DataType;

#pragma pack(push, 1)
struct TagValueRec {
    std::int32_t TagId;
    double TimeStamp; // local date-time, days since 1899-12-30
    std::uint32_t Status;
    std::uint8_t DataType;
    std::uint8_t Padding[3];
    // Real: a double. Boolean: a 32-bit 0 or 1 in the first four bytes. Text: a pointer to a
    // zero-terminated 8-bit string in the first bytes (four on Win32).
    std::uint8_t Value[8];
};
#pragma pack(pop)

static_assert(offsetof(TagValueRec, TagId) == 0);
static_assert(offsetof(TagValueRec, TimeStamp) == 4);
static_assert(offsetof(TagValueRec, Status) == 12);
static_assert(offsetof(TagValueRec, DataType) == 16);
static_assert(offsetof(TagValueRec, Value) == 20);
static_assert(sizeof(TagValueRec) == 28);
static_assert(sizeof(char*) <= sizeof(TagValueRec::Value));

// The record's data type, or nothing for a code outside 0..2.
inline std::optional<DataType> RecordDataType(const TagValueRec& record) {
    if (record.DataType > static_cast<std::uint8_t>(DataType::Text)) return std::nullopt;
    return static_cast<DataType>(record.DataType);
}

// The value bytes of each data type; the record's DataType field is the caller's.
inline void EncodeReal(TagValueRec& record, double real) {
    std::memcpy(record.Value, &real, sizeof real);
}
inline void EncodeBoolean(TagValueRec& record, bool truth) {
    const std::int32_t word = truth ? 1 : 0;
    std::memcpy(record.Value, &word, sizeof word);
}
// The string stays its owner's; the record only points at it.
inline void EncodeText(TagValueRec& record, const char* text) {
    std::memcpy(record.Value, &text, sizeof text);
}

inline double DecodeReal(const TagValueRec& record) {
    double real = 0;
    std::memcpy(&real, record.Value, sizeof real);
    return real;
}
inline bool DecodeBoolean(const TagValueRec& record) {
    std::int32_t word = 0;
    std::memcpy(&word, record.Value, sizeof word);
    return word != 0;
}
// The pointer the record holds (nil for none); whoever filled the record owns the string.
inline char* DecodeText(const TagValueRec& record) {
    char* text = nullptr;
    std::memcpy(&text, record.Value, sizeof text);
    return text;
}

} // namespace korax::driver
