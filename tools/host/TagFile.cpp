#include "host/TagFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "common/TextCodec.h"

namespace korax::tools::host {

namespace {

constexpr std::array<std::string_view, 3> TypeNames = {"real", "bool", "string"};

struct TypeWord {
    std::string_view Word;
    DataType Type;
};
constexpr std::array<TypeWord, 9> TypeWords = {{
    {"real", DataType::Real},
    {"0", DataType::Real},
    {"bool", DataType::Boolean},
    {"boolean", DataType::Boolean},
    {"1", DataType::Boolean},
    {"string", DataType::Text},
    {"text", DataType::Text},
    {"2", DataType::Text},
    {"double", DataType::Real},
}};

struct TruthWord {
    std::string_view Word;
    bool Truth;
};
constexpr std::array<TruthWord, 8> TruthWords = {{
    {"true", true},
    {"false", false},
    {"1", true},
    {"0", false},
    {"on", true},
    {"off", false},
    {"yes", true},
    {"no", false},
}};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// The fields of one line, trimmed; nothing when a quote is left open.
std::optional<std::vector<std::string>> SplitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    bool wasQuoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && Trim(field).empty()) {
            field.clear();
            quoted = wasQuoted = true;
        } else if (c == ',') {
            fields.push_back(wasQuoted ? field : std::string(Trim(field)));
            field.clear();
            wasQuoted = false;
        } else if (!(wasQuoted && std::isspace(static_cast<unsigned char>(c)))) {
            field += c;
        }
    }
    if (quoted) return std::nullopt;
    fields.push_back(wasQuoted ? field : std::string(Trim(field)));
    return fields;
}

std::optional<std::uint64_t> Unsigned(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The names and ids of the lines read so far, with their line numbers.
struct SeenTags {
    std::map<std::uint32_t, int> IdLines;
    std::map<std::string, int> NameLines;
};

Result<TagListEntry> ReadTag(const std::vector<std::string>& f, int lineNumber, const SeenTags& seen);

} // namespace

std::optional<DataType> ParseDataType(std::string_view text) {
    const std::string word = Lower(Trim(text));
    for (const TypeWord& entry : TypeWords) {
        if (entry.Word == word) return entry.Type;
    }
    return std::nullopt;
}

std::string_view DataTypeName(DataType type) {
    const auto index = static_cast<std::size_t>(type);
    return index < TypeNames.size() ? TypeNames[index] : "unknown";
}

Result<TagValue> ParseValue(DataType type, std::string_view text) {
    TagValue value;
    value.Type = type;
    switch (type) {
    case DataType::Real: {
        const std::string trimmed(Trim(text));
        char* end = nullptr;
        value.Real = std::strtod(trimmed.c_str(), &end);
        // strtod also reads "nan" and "inf"; the driver takes numbers only.
        if (trimmed.empty() || end != trimmed.c_str() + trimmed.size() || !std::isfinite(value.Real)) {
            return Failure{"\"" + std::string(text) + "\" is not a number"};
        }
        return value;
    }
    case DataType::Boolean: {
        const std::string word = Lower(Trim(text));
        for (const TruthWord& entry : TruthWords) {
            if (entry.Word == word) {
                value.Truth = entry.Truth;
                return value;
            }
        }
        return Failure{"\"" + std::string(text) + "\" is not a Boolean (true/false, 1/0, on/off, yes/no)"};
    }
    case DataType::Text:
        value.Text = std::string(text);
        return value;
    }
    return Failure{"unknown data type"};
}

std::string ValueText(const TagValue& value) {
    switch (value.Type) {
    case DataType::Real: {
        std::ostringstream out;
        out.precision(15);
        out << value.Real;
        return out.str();
    }
    case DataType::Boolean:
        return value.Truth ? "true" : "false";
    case DataType::Text:
        return "\"" + value.Text + "\"";
    }
    return "?";
}

Result<std::vector<TagListEntry>, TagFileError> ParseTagFile(std::string_view text,
                                                             const std::string& fileName) {
    // A byte order mark some editors put first.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<TagListEntry> tags;
    SeenTags seen;
    bool headerAllowed = true;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#') {
            if (end == text.size()) break;
            continue;
        }
        const auto fail = [&](const std::string& reason) {
            return TagFileError{fileName + " line " + std::to_string(lineNumber) + ": " + reason, lineNumber};
        };
        const auto fields = SplitFields(line);
        if (!fields) return fail("a quote is not closed");
        if (headerAllowed && Lower((*fields)[0]) == "id") {
            headerAllowed = false;
            continue;
        }
        headerAllowed = false;
        auto tag = ReadTag(*fields, lineNumber, seen);
        if (!tag) return fail(tag.Error().Text);
        seen.IdLines[tag->Id] = lineNumber;
        seen.NameLines[tag->Name] = lineNumber;
        tags.push_back(std::move(*tag));
        if (end == text.size()) break;
    }
    return tags;
}

namespace {

Result<TagListEntry> ReadTag(const std::vector<std::string>& f, int lineNumber, const SeenTags& seen) {
    if (f.size() < 5 || f.size() > 6) {
        return Failure{
            "expected 5 or 6 fields (id, name, address, data type, scan interval[, initial value]), "
            "found " +
            std::to_string(f.size())};
    }
    TagListEntry tag;
    tag.Line = lineNumber;

    const auto id = Unsigned(f[0]);
    if (!id || *id > MaxTagId) {
        return Failure{"id \"" + f[0] + "\" is not a number 0.." + std::to_string(MaxTagId) +
                       " (the driver indexes a table by id: keep ids small)"};
    }
    tag.Id = static_cast<std::uint32_t>(*id);
    if (const auto other = seen.IdLines.find(tag.Id); other != seen.IdLines.end()) {
        return Failure{"id " + f[0] + " is already used on line " + std::to_string(other->second)};
    }

    tag.Name = f[1];
    if (tag.Name.empty()) return Failure{"the name is empty"};
    if (tag.Name.find('=') != std::string::npos)
        return Failure{"the name holds '=', which separates name and value in writes"};
    if (Utf8ToGbk(tag.Name).size() > NameBytes) {
        return Failure{"the name \"" + tag.Name + "\" is longer than " + std::to_string(NameBytes) +
                       " bytes"};
    }
    if (const auto other = seen.NameLines.find(tag.Name); other != seen.NameLines.end()) {
        return Failure{"the name \"" + tag.Name + "\" is already used on line " +
                       std::to_string(other->second)};
    }

    tag.Address = f[2];
    if (tag.Address.empty()) return Failure{"the address is empty"};
    if (Utf8ToGbk(tag.Address).size() > AddressBytes) {
        return Failure{"the address is longer than " + std::to_string(AddressBytes) + " bytes"};
    }

    const auto type = ParseDataType(f[3]);
    if (!type) return Failure{"data type \"" + f[3] + "\" is not real, bool or string"};
    tag.Type = *type;

    const auto interval = Unsigned(f[4]);
    if (!interval || *interval > UINT32_MAX) {
        return Failure{"scan interval \"" + f[4] + "\" is not a number of milliseconds"};
    }
    tag.ScanInterval = static_cast<std::uint32_t>(*interval);

    if (f.size() == 6 && !f[5].empty()) {
        auto initial = ParseValue(tag.Type, f[5]);
        if (!initial) return Failure{"initial value: " + initial.Error().Text};
        tag.Initial = std::move(*initial);
    }
    return tag;
}

} // namespace

} // namespace korax::tools::host
