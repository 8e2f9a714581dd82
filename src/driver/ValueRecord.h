#pragma once
// The tag value record that crosses the boundary in OnDataRead, OnDataWrite and WriteTags (laid out in the
// public header), and the one encoding of its value bytes by data type. The driver fills and reads records
// with it, and so does a host (korax-host), so both sides agree on every byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "framework/TagItem.h"
#include "korax24.h"

namespace korax::driver {

// The data type codes of every host record.
using framework::DataType;

using ::TagValueRec;

static_assert(static_cast<int>(DataType::Real) == KORAX_TYPE_REAL);
static_assert(static_cast<int>(DataType::Boolean) == KORAX_TYPE_BOOLEAN);
static_assert(static_cast<int>(DataType::Text) == KORAX_TYPE_STRING);

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
