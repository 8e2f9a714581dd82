#include "pdb/BlockJson.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

#include <nlohmann/json.hpp>

#include "common/TextCodec.h"

namespace korax::tools::pdb {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr std::string_view BitsKey = "bits";
constexpr std::string_view HexKey = "hex";
constexpr std::size_t FlatItemsPerLine = 8;

// Objects one member a line, lists of plain values eight to a line: 32 gains stay readable.
void Print(const ordered_json& value, int indent, std::string& out) {
    const std::string inner(static_cast<std::size_t>(indent + 2), ' ');
    const bool flat =
        value.is_array() &&
        std::all_of(value.begin(), value.end(), [](const ordered_json& item) { return item.is_primitive(); });
    if (value.is_primitive() || value.empty() || flat) {
        if (!flat) {
            out += value.dump();
            return;
        }
        if (value.size() <= FlatItemsPerLine) {
            out += "[";
            for (std::size_t i = 0; i < value.size(); ++i) out += (i == 0 ? "" : ", ") + value[i].dump();
            out += "]";
            return;
        }
        out += "[";
        for (std::size_t i = 0; i < value.size(); ++i) {
            out += i % FlatItemsPerLine == 0 ? (i == 0 ? "\n" : ",\n") + inner : ", ";
            out += value[i].dump();
        }
        out += "\n" + std::string(static_cast<std::size_t>(indent), ' ') + "]";
        return;
    }
    out += value.is_object() ? "{\n" : "[\n";
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
        out += first ? "" : ",\n";
        first = false;
        out += inner;
        if (value.is_object()) out += ordered_json(it.key()).dump() + ": ";
        Print(*it, indent + 2, out);
    }
    out += "\n" + std::string(static_cast<std::size_t>(indent), ' ') + (value.is_object() ? "}" : "]");
}

std::string HexBytes(std::string_view bytes) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += Digits[b >> 4];
        out += Digits[b & 0xF];
    }
    return out;
}

bool Printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// The name as text when it converts to UTF-8 and back unchanged, else its bytes in hexadecimal.
ordered_json NameToJson(const BoardEntry& entry) {
    const std::string bytes = config::ShortStringText(entry.DevName, config::DevNameSize);
    if (Printable(bytes)) return bytes;
    const std::string utf8 = GbkToUtf8(bytes);
    const bool controls = std::any_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0 && c < 0x20; });
    if (!controls && Utf8ToGbk(utf8) == bytes) return utf8;
    return ordered_json{{HexKey, HexBytes(bytes)}};
}

// A code as its label when it has one, else as the number.
ordered_json Labelled(std::optional<std::string> label, std::int32_t code) {
    if (label) return *label;
    return code;
}

ordered_json BoardToJson(const BoardEntry& entry, int slot) {
    const std::uint8_t model = entry.DevType;
    ordered_json board;
    board["slot"] = slot;
    board["boardNo"] = entry.BoardNo;
    board["model"] = config::IsBoard(model) || model == config::NoBoard ? ordered_json(ModelText(model))
                                                                        : ordered_json(model);
    board["devName"] = NameToJson(entry);
    board["baseAddress"] = Hex(entry.BaseAddress);
    const auto wiring = WiringLabel(entry.InputMode);
    board["inputMode"] =
        Labelled(wiring ? std::optional<std::string>(*wiring) : std::nullopt, entry.InputMode);
    const auto range = AdRangeLabel(entry.ADMaxRange);
    board["adMaxRange"] =
        Labelled(range ? std::optional<std::string>(*range) : std::nullopt, entry.ADMaxRange);
    board["spare1"] = entry.Spare1;
    board["spare2"] = entry.Spare2;
    ordered_json gains = ordered_json::array();
    for (const std::int32_t code : entry.ADGain) gains.push_back(Labelled(GainLabel(model, code), code));
    board["adGain"] = gains;
    ordered_json ranges = ordered_json::array();
    for (const std::int32_t code : entry.DARange) {
        const auto label = DaRangeLabel(code);
        ranges.push_back(Labelled(label ? std::optional<std::string>(*label) : std::nullopt, code));
    }
    board["daRange"] = ranges;
    return board;
}

// --- Reading -------------------------------------------------------------------------------------------

// The first problem of a text, thrown from however deep the reader is and caught in BlockFromJson.
struct JsonProblem {
    std::string Text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw JsonProblem{where + ": " + what};
}

std::string Shown(const json& value) {
    return value.dump();
}

std::int64_t Integer(const json& value, const std::string& where, std::int64_t min, std::int64_t max) {
    std::optional<std::int64_t> number;
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u <= static_cast<std::uint64_t>(INT64_MAX))
            number = static_cast<std::int64_t>(u);
        else
            Fail(where,
                 Shown(value) + " is out of range " + std::to_string(min) + ".." + std::to_string(max));
    } else if (value.is_number_integer()) {
        number = value.get<std::int64_t>();
    } else if (value.is_string()) {
        number = ParseInteger(value.get<std::string>());
    }
    if (!number) Fail(where, "expected an integer, found " + Shown(value));
    if (*number < min || *number > max) {
        Fail(where, Shown(value) + " is out of range " + std::to_string(min) + ".." + std::to_string(max));
    }
    return *number;
}

std::int32_t Int32(const json& value, const std::string& where) {
    return static_cast<std::int32_t>(Integer(value, where, INT32_MIN, INT32_MAX));
}

// A label of the list, or (not a string) the code as a number.
std::int32_t LabelOrCode(const json& value, const std::string& where,
                         std::optional<std::int32_t> (*byLabel)(std::string_view),
                         const std::string& choices) {
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (const auto code = byLabel(text)) return *code;
        if (const auto number = ParseInteger(text)) return Int32(json(*number), where);
        Fail(where, "unknown label " + Shown(value) + " (" + choices + ")");
    }
    return Int32(value, where);
}

std::uint8_t ReadModel(const json& value, const std::string& where, bool raw) {
    if (value.is_string()) {
        if (const auto model = ModelByName(value.get<std::string>())) return *model;
        if (!ParseInteger(value.get<std::string>())) {
            Fail(where, "unknown model " + Shown(value) + " (" + ModelChoices() + ")");
        }
    }
    const auto code = static_cast<std::uint8_t>(Integer(value, where, 0, 0xFF));
    if (code > config::NoBoard && !raw) {
        Fail(where, "code " + std::to_string(code) + " names no model (" + ModelChoices() +
                        "); --raw keeps such a code");
    }
    return code;
}

std::string ReadName(const json& value, const std::string& where) {
    std::string bytes;
    if (value.is_string()) {
        bytes = Utf8ToGbk(value.get<std::string>());
    } else if (value.is_object() && value.size() == 1 && value.contains(HexKey) &&
               value[HexKey].is_string()) {
        const std::string hex = value[HexKey].get<std::string>();
        if (hex.size() % 2 != 0) Fail(where, "an odd number of hexadecimal digits");
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            const auto byte = ParseInteger("0x" + hex.substr(i, 2));
            if (!byte || *byte < 0) Fail(where, "\"" + hex.substr(i, 2) + "\" is not a hexadecimal byte");
            bytes.push_back(static_cast<char>(*byte));
        }
    } else {
        Fail(where, "expected a text or {\"hex\": \"...\"}, found " + Shown(value));
    }
    if (bytes.size() > 0xFF) Fail(where, "longer than 255 bytes");
    return bytes;
}

double ReadHeaderReal(const json& value, const std::string& where) {
    if (value.is_number()) return value.get<double>();
    if (value.is_object() && value.size() == 1 && value.contains(BitsKey) && value[BitsKey].is_string()) {
        std::string_view digits = value[BitsKey].get_ref<const std::string&>();
        if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
        std::uint64_t bits = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bits, 16);
        if (!digits.empty() && error == std::errc() && end == digits.data() + digits.size()) {
            return std::bit_cast<double>(bits);
        }
    }
    Fail(where, "expected a number or {\"bits\": \"0x...\"}, found " + Shown(value));
}

void CheckKeys(const json& object, const std::string& where, std::initializer_list<std::string_view> known) {
    if (!object.is_object()) Fail(where, "expected an object, found " + Shown(object));
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (std::find(known.begin(), known.end(), it.key()) == known.end()) {
            std::string list;
            for (const std::string_view key : known) list += (list.empty() ? "" : ", ") + std::string(key);
            Fail(where, "unknown field \"" + it.key() + "\" (fields: " + list + ")");
        }
    }
}

template <std::size_t N>
void ReadList(const json& value, const std::string& where, std::int32_t (&field)[N],
              const std::function<std::int32_t(const json&, const std::string&)>& read) {
    if (!value.is_array()) Fail(where, "expected a list, found " + Shown(value));
    if (value.size() > N)
        Fail(where, std::to_string(value.size()) + " entries, at most " + std::to_string(N));
    for (std::size_t i = 0; i < value.size(); ++i)
        field[i] = read(value[i], where + "[" + std::to_string(i) + "]");
}

void ReadBoard(const json& board, const std::string& where, DevicePDB& block, std::set<int>& seen, bool raw) {
    CheckKeys(board, where,
              {"slot", "boardNo", "model", "devName", "baseAddress", "inputMode", "adMaxRange", "spare1",
               "spare2", "adGain", "daRange"});
    if (!board.contains("slot")) Fail(where, "no \"slot\" (0..31)");
    const int slot = static_cast<int>(Integer(board["slot"], where + ".slot", 0, config::BoardCount - 1));
    if (!seen.insert(slot).second) Fail(where, "slot " + std::to_string(slot) + " is listed twice");
    BoardEntry& entry = block.Boards[slot];
    const std::string at = where + " (slot " + std::to_string(slot) + ")";

    if (board.contains("model")) entry.DevType = ReadModel(board["model"], at + ".model", raw);
    const std::uint8_t model = entry.DevType;
    if (board.contains("devName")) {
        config::SetShortString(entry.DevName, config::DevNameSize,
                               ReadName(board["devName"], at + ".devName"));
    } else if (board.contains("model")) {
        // A board named by its model alone carries the model's name, as the wizard writes it.
        config::SetShortString(entry.DevName, config::DevNameSize,
                               config::IsBoard(model) ? ModelText(model) : std::string());
    }
    if (board.contains("boardNo")) entry.BoardNo = Int32(board["boardNo"], at + ".boardNo");
    if (board.contains("baseAddress")) {
        entry.BaseAddress =
            static_cast<std::uint32_t>(Integer(board["baseAddress"], at + ".baseAddress", 0, UINT32_MAX));
    }
    if (board.contains("inputMode")) {
        entry.InputMode =
            LabelOrCode(board["inputMode"], at + ".inputMode", WiringByLabel, "single-ended, differential");
    }
    if (board.contains("adMaxRange")) {
        entry.ADMaxRange = LabelOrCode(board["adMaxRange"], at + ".adMaxRange", AdRangeByLabel, "5V, 10V");
    }
    if (board.contains("spare1")) entry.Spare1 = Int32(board["spare1"], at + ".spare1");
    if (board.contains("spare2")) entry.Spare2 = Int32(board["spare2"], at + ".spare2");
    if (board.contains("adGain")) {
        ReadList(board["adGain"], at + ".adGain", entry.ADGain,
                 [model](const json& value, const std::string& item) {
                     if (value.is_string()) {
                         if (const auto code = GainByLabel(model, value.get<std::string>())) return *code;
                         Fail(item, "gain " + Shown(value) + " is not in the list of " + ModelText(model) +
                                        " (" + GainChoices(model) + ")");
                     }
                     return Int32(value, item);
                 });
    }
    if (board.contains("daRange")) {
        ReadList(board["daRange"], at + ".daRange", entry.DARange,
                 [](const json& value, const std::string& item) {
                     return LabelOrCode(value, item, DaRangeByLabel, "0-5V, 0-10V, +/-5V, +/-10V, 4-20mA");
                 });
    }
    if (!raw) {
        if (const auto problem = BoardProblem(entry, slot))
            Fail(where, *problem + "; --raw keeps such a value");
    }
}

// A board name is a length byte and its characters; the bytes after them belong to no field. The factory
// values write the model's name there, and a shorter name read afterwards leaves part of it behind, so
// the tails go back to what they were.
void KeepNameTails(const DevicePDB& given, DevicePDB& block) {
    for (int n = 0; n < config::BoardCount; ++n) {
        const std::size_t used = 1u + block.Boards[n].DevName[0];
        std::memcpy(block.Boards[n].DevName + used, given.Boards[n].DevName + used,
                    config::DevNameSize - used);
    }
}

} // namespace

std::string BlockToJson(const DevicePDB& block) {
    DevicePDB factory{};
    config::FillDefaultPDB(factory);
    ordered_json doc;
    doc["format"] = JsonFormatName;
    if (std::isfinite(block.HeaderReal)) {
        doc["headerReal"] = block.HeaderReal;
    } else {
        // JSON has no NaN or infinity: such a value travels as its bit pattern.
        char digits[17];
        const auto bits = std::bit_cast<std::uint64_t>(block.HeaderReal);
        const auto end = std::to_chars(digits, digits + sizeof digits, bits, 16).ptr;
        doc["headerReal"] = ordered_json{{BitsKey, "0x" + std::string(digits, end)}};
    }
    doc["createMode"] = block.CreateMode;
    doc["selectedBoard"] = block.SelectedBoard;
    ordered_json boards = ordered_json::array();
    for (int n = 0; n < config::BoardCount; ++n) {
        const BoardEntry& entry = block.Boards[n];
        if (entry.DevType == config::NoBoard && SameDefinedFields(entry, factory.Boards[n])) continue;
        boards.push_back(BoardToJson(entry, n));
    }
    doc["boards"] = boards;
    std::string out;
    Print(doc, 0, out);
    return out + "\n";
}

namespace {

void ReadBlockJson(std::string_view text, DevicePDB& block, bool raw) {
    json doc;
    try {
        doc = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& error) {
        // The library's message begins with its own tag; the rest names line and column.
        std::string what = error.what();
        if (const std::size_t tag = what.find("] "); tag != std::string::npos) what = what.substr(tag + 2);
        throw JsonProblem{"not valid JSON: " + what};
    }
    CheckKeys(doc, "top level", {"format", "headerReal", "createMode", "selectedBoard", "boards"});
    if (doc.contains("format") && doc["format"] != JsonFormatName) {
        Fail("format", Shown(doc["format"]) + " is not \"" + std::string(JsonFormatName) + "\"");
    }
    // The bytes no field defines stay as the caller's block holds them (a template, or zeros).
    const auto given = std::make_unique<DevicePDB>(block);
    config::FillDefaultPDB(block);
    if (doc.contains("headerReal")) block.HeaderReal = ReadHeaderReal(doc["headerReal"], "headerReal");
    if (doc.contains("createMode"))
        block.CreateMode = static_cast<std::uint8_t>(Integer(doc["createMode"], "createMode", 0, 0xFF));
    if (doc.contains("selectedBoard")) block.SelectedBoard = Int32(doc["selectedBoard"], "selectedBoard");
    if (!raw) {
        if (const auto problem = HeaderProblem(block))
            Fail("selectedBoard", *problem + "; --raw keeps such a value");
    }
    if (doc.contains("boards")) {
        const json& boards = doc["boards"];
        if (!boards.is_array()) Fail("boards", "expected a list, found " + Shown(boards));
        std::set<int> seen;
        for (std::size_t i = 0; i < boards.size(); ++i) {
            ReadBoard(boards[i], "boards[" + std::to_string(i) + "]", block, seen, raw);
        }
    }
    KeepNameTails(*given, block);
}

} // namespace

Status BlockFromJson(std::string_view text, DevicePDB& block, bool raw) {
    try {
        ReadBlockJson(text, block, raw);
    } catch (const JsonProblem& problem) {
        return Failure{problem.Text};
    }
    return {};
}

} // namespace korax::tools::pdb
