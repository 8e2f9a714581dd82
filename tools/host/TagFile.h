#pragma once
// The tag list a person gives korax-host: a CSV file, one tag a line,
//   id, name, address, data type, scan interval in ms[, initial value]
// Blank lines and lines starting with '#' are skipped, and so is a first line whose first field is "id".
// Fields may be quoted with '"' (a doubled quote inside stands for one). Text is UTF-8.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "driver/ValueRecord.h"

namespace korax::tools::host {

using driver::DataType;

// A value as the host holds it; text in UTF-8.
struct TagValue {
    DataType Type = DataType::Real;
    double Real = 0;
    bool Truth = false;
    std::string Text;
    bool operator==(const TagValue&) const = default;
};

struct TagListEntry {
    std::uint32_t Id = 0;
    std::string Name; // UTF-8
    std::string Address;
    DataType Type = DataType::Real;
    std::uint32_t ScanInterval = 0;
    std::optional<TagValue> Initial;
    int Line = 0;
};

// The driver keeps a table indexed by tag id, so ids must stay small.
inline constexpr std::uint32_t MaxTagId = 65535;
// Field widths of the driver's tag definition record, in GBK bytes.
inline constexpr std::size_t NameBytes = sizeof(::HostTagDef::Name);
inline constexpr std::size_t AddressBytes = sizeof(::HostTagDef::Address);

// The first line the tag file cannot take; Text reads "FILE line N: reason".
struct TagFileError {
    std::string Text;
    int Line = 0;
};

// Every tag of the file, in file order, or the first bad line.
Result<std::vector<TagListEntry>, TagFileError> ParseTagFile(std::string_view text,
                                                             const std::string& fileName);

// "real", "bool"/"boolean", "string"/"text" or the code 0..2, in any case.
std::optional<DataType> ParseDataType(std::string_view text);
std::string_view DataTypeName(DataType type);

// A value of a data type from text: a real number; true/false, 1/0, on/off, yes/no; any text; or why
// the text does not fit the type.
Result<TagValue> ParseValue(DataType type, std::string_view text);

// How the host shows a value: reals with up to 15 significant digits, true/false, text in quotes.
std::string ValueText(const TagValue& value);

} // namespace korax::tools::host
