#include "driver/HostRecords.h"

#include <cstring>
#include <string>
#include <string_view>

#include "driver/HostMemory.h"
#include "platform/Text.h"

namespace korax::driver {

namespace {

using framework::Value;

// A host string longer than this is cut: an unterminated pointer must not run through all memory.
constexpr std::size_t HostStringMax = 65535;

std::string_view FieldText(const char* field, std::size_t size) {
    const auto* end = static_cast<const char*>(std::memchr(field, '\0', size));
    return {field, end == nullptr ? size : static_cast<std::size_t>(end - field)};
}

template <typename T>
T Read(const HostTagDef& record) {
    static_assert(sizeof(T) <= sizeof record.InitialValue);
    T value;
    std::memcpy(&value, record.InitialValue, sizeof value);
    return value;
}

template <typename Char>
std::basic_string_view<Char> TerminatedText(const Char* text) {
    std::size_t length = 0;
    while (length < HostStringMax && text[length] != Char{}) ++length;
    return {text, length};
}

constexpr double CurrencyScale = 10000.0;

} // namespace

Value ReadInitialValue(const HostTagDef& record) {
    switch (static_cast<VariantType>(record.InitialType)) {
    case VariantType::Int16:
        return Value::Integer(Read<std::int16_t>(record));
    case VariantType::Int32:
    case VariantType::Int:
        return Value::Integer(Read<std::int32_t>(record));
    case VariantType::Int8:
        return Value::Integer(Read<std::int8_t>(record));
    case VariantType::UInt8:
        return Value::Integer(Read<std::uint8_t>(record));
    case VariantType::UInt16:
        return Value::Integer(Read<std::uint16_t>(record));
    case VariantType::UInt32:
    case VariantType::UInt:
        return Value::Integer(Read<std::uint32_t>(record));
    case VariantType::Int64:
        return Value::Integer(Read<std::int64_t>(record));
    case VariantType::UInt64: {
        const auto v = Read<std::uint64_t>(record);
        // Beyond the signed range the value survives as a real rather than wrapping negative.
        return v > static_cast<std::uint64_t>(INT64_MAX) ? Value::Real(static_cast<double>(v))
                                                         : Value::Integer(static_cast<std::int64_t>(v));
    }
    case VariantType::Single:
        return Value::Real(Read<float>(record));
    case VariantType::Double:
    case VariantType::Date:
        return Value::Real(Read<double>(record));
    case VariantType::Currency:
        return Value::Real(static_cast<double>(Read<std::int64_t>(record)) / CurrencyScale);
    case VariantType::Boolean:
        return Value::Boolean(Read<std::int16_t>(record) != 0);
    case VariantType::WideString: {
        const auto* text = Read<const char16_t*>(record);
        if (text == nullptr) return {};
        return Value::Text(platform::WideToGbk(TerminatedText(text)));
    }
    case VariantType::HostString: {
        const auto* text = Read<const char*>(record);
        if (text == nullptr) return {};
        return Value::Text(std::string(TerminatedText(text)));
    }
    case VariantType::Empty:
    case VariantType::Null:
        break;
    }
    // Anything else, by-reference values included, is not decoded (ReadTagDefinition tells it from none).
    return {};
}

std::string ReadHostString(const char* text) {
    return text == nullptr ? std::string() : std::string(TerminatedText(text));
}

void WriteValueRecord(TagValueRec& record, std::uint32_t tagId, double timeStamp, std::uint32_t status,
                      std::uint8_t dataType, const Value& value) {
    record.TagId = static_cast<std::int32_t>(tagId);
    record.TimeStamp = timeStamp;
    record.Status = status;
    record.DataType = dataType;
    switch (static_cast<DataType>(dataType)) {
    case DataType::Real:
        EncodeReal(record, value.ToDouble());
        break;
    case DataType::Boolean:
        EncodeBoolean(record, value.ToBool());
        break;
    case DataType::Text:
        EncodeText(record, toHost(value.ToText()));
        break;
    }
}

Value ReadValueRecord(const TagValueRec& record) {
    const auto type = RecordDataType(record);
    if (!type) return {};
    switch (*type) {
    case DataType::Real:
        return Value::Real(DecodeReal(record));
    case DataType::Boolean:
        return Value::Boolean(DecodeBoolean(record));
    case DataType::Text:
        return Value::Text(ReadHostString(DecodeText(record)));
    }
    return {};
}

framework::TagDefinition ReadTagDefinition(const HostTagDef& record) {
    framework::TagDefinition definition;
    definition.TagId = record.TagId;
    definition.Name = FieldText(record.Name, sizeof record.Name);
    definition.Address = FieldText(record.Address, sizeof record.Address);
    definition.DataType = record.DataType;
    definition.ScanInterval = record.ScanInterval;
    definition.InitialValue = ReadInitialValue(record);
    const auto type = static_cast<VariantType>(record.InitialType);
    definition.InitialUndecoded =
        definition.InitialValue.IsEmpty() && type != VariantType::Empty && type != VariantType::Null;
    return definition;
}

} // namespace korax::driver
