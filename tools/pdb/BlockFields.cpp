#include "pdb/BlockFields.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "config/ConfigTexts.h"

namespace korax::tools::pdb {

namespace {

constexpr std::string_view NoneName = "none";
constexpr std::array<std::string_view, 2> WiringLabels = {"single-ended", "differential"};
constexpr std::array<std::string_view, 2> AdRangeLabels = {"5V", "10V"};

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

template <typename List>
std::optional<std::int32_t> IndexOf(const List& labels, std::string_view label) {
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (SameText(labels[i], label)) return static_cast<std::int32_t>(i);
    }
    return std::nullopt;
}

template <typename List>
std::string Joined(const List& labels) {
    std::string out;
    for (const auto& label : labels) out += (out.empty() ? "" : ", ") + std::string(label);
    return out;
}

std::string SlotText(int slot) {
    return "slot " + std::to_string(slot);
}

std::string BoardText(std::uint8_t model, int slot) {
    return SlotText(slot) + " (" + ModelText(model) + ")";
}

// A label from the list, or its code given as a number.
std::int32_t LabelOrCode(std::string_view value, const std::optional<std::int32_t>& byLabel) {
    if (byLabel) return *byLabel;
    const auto number = ParseInteger(value);
    if (!number || *number < INT32_MIN || *number > INT32_MAX) return INT32_MIN;
    return static_cast<std::int32_t>(*number);
}

Status CheckGain(std::uint8_t model, int slot, int channel, std::int32_t code, std::string_view given) {
    if (GainLabel(model, code)) return {};
    return Failure{BoardText(model, slot) + ": gain \"" + std::string(given) + "\" for analog input " +
                   std::to_string(channel) + " is not in the model's list (" + GainChoices(model) + ")"};
}

Status CheckDaRange(std::uint8_t model, int slot, int channel, std::int32_t code, std::string_view given) {
    if (code >= 0 && static_cast<std::size_t>(code) < DaRangeList(model).size()) return {};
    return Failure{BoardText(model, slot) + ": output range \"" + std::string(given) +
                   "\" for analog output " + std::to_string(channel) + " is not offered (" +
                   DaRangeChoices(model) + ")"};
}

// "gain3" -> 3; nothing when the key is not the stem followed by a channel number.
std::optional<int> ChannelKey(std::string_view key, std::string_view stem) {
    if (key.size() <= stem.size() || !SameText(key.substr(0, stem.size()), stem)) return std::nullopt;
    const std::string_view digits = key.substr(stem.size());
    int channel = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), channel);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return channel;
}

Status RequireAnalogInputs(std::uint8_t model, int slot) {
    if (AdChannels(model) == 0) return Failure{BoardText(model, slot) + ": the model has no analog inputs"};
    return {};
}

Status RequireAnalogOutputs(std::uint8_t model, int slot) {
    if (DaChannels(model) == 0) return Failure{BoardText(model, slot) + ": the model has no analog outputs"};
    return {};
}

Status SetGain(BoardEntry& entry, int slot, int channel, std::string_view value) {
    const std::uint8_t model = entry.DevType;
    if (Status inputs = RequireAnalogInputs(model, slot); !inputs) return inputs;
    if (channel < 0 || channel >= AdChannels(model)) {
        return Failure{BoardText(model, slot) + ": analog input " + std::to_string(channel) +
                       " does not exist (0.." + std::to_string(AdChannels(model) - 1) + ")"};
    }
    const std::int32_t code = LabelOrCode(value, GainByLabel(model, value));
    if (Status offered = CheckGain(model, slot, channel, code, value); !offered) return offered;
    entry.ADGain[channel] = code;
    return {};
}

Status SetDaRange(BoardEntry& entry, int slot, int channel, std::string_view value) {
    const std::uint8_t model = entry.DevType;
    if (Status outputs = RequireAnalogOutputs(model, slot); !outputs) return outputs;
    if (channel < 0 || channel >= DaChannels(model)) {
        return Failure{BoardText(model, slot) + ": analog output " + std::to_string(channel) +
                       " does not exist (0.." + std::to_string(DaChannels(model) - 1) + ")"};
    }
    const std::int32_t code = LabelOrCode(value, DaRangeByLabel(value));
    if (Status offered = CheckDaRange(model, slot, channel, code, value); !offered) return offered;
    entry.DARange[channel] = code;
    return {};
}

// A model change resets what the new model would not offer, as the wizard's model list does.
Status SetModel(BoardEntry& entry, int slot, std::string_view value) {
    const auto model = ModelByName(value);
    if (!model) {
        return Failure{SlotText(slot) + ": unknown model \"" + std::string(value) + "\" (" + ModelChoices() +
                       ")"};
    }
    if (*model == config::NoBoard) {
        // The slot returns to the state a fresh block gives an unused slot.
        entry.BoardNo = slot;
        entry.DevType = config::NoBoard;
        config::SetShortString(entry.DevName, config::DevNameSize, {});
        entry.BaseAddress = config::DefaultBaseAddress;
        entry.InputMode = entry.ADMaxRange = entry.Spare1 = entry.Spare2 = 0;
        std::fill(std::begin(entry.ADGain), std::end(entry.ADGain), 0);
        std::fill(std::begin(entry.DARange), std::end(entry.DARange), 0);
        return {};
    }
    const bool changed = entry.DevType != *model;
    entry.DevType = *model;
    entry.BoardNo = slot;
    config::SetShortString(entry.DevName, config::DevNameSize, config::Models[*model].Name);
    if (!OnBaseGrid(entry.BaseAddress)) entry.BaseAddress = config::DefaultBaseAddress;
    if (!changed) return {};
    std::fill(std::begin(entry.ADGain), std::end(entry.ADGain), 0);
    for (std::int32_t& range : entry.DARange) {
        if (range < 0 || static_cast<std::size_t>(range) >= DaRangeList(*model).size()) range = 0;
    }
    if (entry.InputMode == config::DifferentialWiring && !OffersDifferential(*model))
        entry.InputMode = config::SingleEndedWiring;
    return {};
}

Status SetBase(BoardEntry& entry, int slot, std::string_view value) {
    const auto address = ParseInteger(value);
    if (!address || *address < 0 || *address > UINT32_MAX ||
        !OnBaseGrid(static_cast<std::uint32_t>(*address))) {
        return Failure{BoardText(entry.DevType, slot) + ": base address \"" + std::string(value) +
                       "\" is off the grid 0x200..0x3F0 in steps of 0x10"};
    }
    entry.BaseAddress = static_cast<std::uint32_t>(*address);
    return {};
}

Status SetWiring(BoardEntry& entry, int slot, std::string_view value) {
    const std::uint8_t model = entry.DevType;
    if (Status inputs = RequireAnalogInputs(model, slot); !inputs) return inputs;
    const std::int32_t code = LabelOrCode(value, WiringByLabel(value));
    if (!WiringLabel(code) || (code == config::DifferentialWiring && !OffersDifferential(model))) {
        return Failure{BoardText(model, slot) + ": wiring \"" + std::string(value) + "\" is not offered (" +
                       (OffersDifferential(model) ? Joined(WiringLabels) : std::string(WiringLabels[0])) +
                       ")"};
    }
    entry.InputMode = code;
    return {};
}

Status SetAdRange(BoardEntry& entry, int slot, std::string_view value) {
    const std::uint8_t model = entry.DevType;
    if (Status inputs = RequireAnalogInputs(model, slot); !inputs) return inputs;
    const std::int32_t code = LabelOrCode(value, AdRangeByLabel(value));
    if (!AdRangeLabel(code)) {
        return Failure{BoardText(model, slot) + ": input range \"" + std::string(value) +
                       "\" is not one of " + Joined(AdRangeLabels)};
    }
    entry.ADMaxRange = code;
    return {};
}

Status SetEveryGain(BoardEntry& entry, int slot, std::string_view value) {
    if (Status inputs = RequireAnalogInputs(entry.DevType, slot); !inputs) return inputs;
    for (int k = 0; k < AdChannels(entry.DevType); ++k) {
        if (Status set = SetGain(entry, slot, k, value); !set) return set;
    }
    return {};
}

Status SetEveryDaRange(BoardEntry& entry, int slot, std::string_view value) {
    if (Status outputs = RequireAnalogOutputs(entry.DevType, slot); !outputs) return outputs;
    for (int k = 0; k < DaChannels(entry.DevType); ++k) {
        if (Status set = SetDaRange(entry, slot, k, value); !set) return set;
    }
    return {};
}

using BoardSetter = Status (*)(BoardEntry& entry, int slot, std::string_view value);

struct BoardKey {
    std::string_view Key;
    BoardSetter Set;
};

constexpr std::array<BoardKey, 6> BoardKeys = {{
    {"base", SetBase},
    {"wiring", SetWiring},
    {"input", SetWiring},
    {"range", SetAdRange},
    {"gain", SetEveryGain},
    {"da", SetEveryDaRange},
}};

Status SetBoardField(BoardEntry& entry, int slot, std::string_view key, std::string_view value) {
    if (SameText(key, "model")) return SetModel(entry, slot, value);
    if (!config::IsBoard(entry.DevType)) {
        return Failure{SlotText(slot) + " holds no board: set its model first (model=NAME)"};
    }
    for (const BoardKey& board : BoardKeys) {
        if (SameText(key, board.Key)) return board.Set(entry, slot, value);
    }
    if (const auto gainChannel = ChannelKey(key, "gain")) return SetGain(entry, slot, *gainChannel, value);
    if (const auto daChannel = ChannelKey(key, "da")) return SetDaRange(entry, slot, *daChannel, value);
    return Failure{"unknown board field \"" + std::string(key) + "\"\n" + FieldKeysHelp()};
}

} // namespace

bool OnBaseGrid(std::uint32_t address) {
    return config::OnBaseAddressGrid(address);
}

std::string Hex(std::uint32_t value) {
    char text[16];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, 16);
    std::string digits(text, error == std::errc() ? end : text);
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return "0x" + digits;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || text.front() == '+') return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::uint8_t> ModelByName(std::string_view text) {
    if (SameText(text, NoneName)) return config::NoBoard;
    const std::uint8_t model = config::ModelFromName(text);
    if (model == config::NoBoard) return std::nullopt;
    return model;
}

std::string ModelText(std::uint8_t devType) {
    if (config::IsBoard(devType)) return std::string(boards::Models[devType].Name);
    if (devType == config::NoBoard) return std::string(NoneName);
    return std::to_string(devType);
}

std::string ModelChoices() {
    std::string out;
    for (const boards::Model& model : boards::Models) out += std::string(model.Name) + ", ";
    return out + std::string(NoneName);
}

std::int32_t AdChannels(std::uint8_t model) {
    return config::IsBoard(model) ? boards::ModelChannelTable(model, boards::TagKind::AD) + 1 : 0;
}

std::int32_t DaChannels(std::uint8_t model) {
    return config::IsBoard(model) ? boards::ModelChannelTable(model, boards::TagKind::DA) + 1 : 0;
}

std::optional<std::string> GainLabel(std::uint8_t model, std::int32_t code) {
    for (const config::GainEntry& gain : config::GainsOf(model)) {
        if (gain.Code == code) return std::string(config::GainLabelOf(gain));
    }
    return std::nullopt;
}

std::optional<std::int32_t> GainByLabel(std::uint8_t model, std::string_view label) {
    for (const config::GainEntry& gain : config::GainsOf(model)) {
        if (SameText(config::GainLabelOf(gain), label)) return gain.Code;
    }
    return std::nullopt;
}

std::string GainChoices(std::uint8_t model) {
    std::string out;
    for (const config::GainEntry& gain : config::GainsOf(model)) {
        out += (out.empty() ? "" : ", ") + std::string(config::GainLabelOf(gain)) + " = " +
               std::to_string(gain.Code);
    }
    return out.empty() ? "none" : out;
}

std::span<const std::string_view> DaRangeList(std::uint8_t model) {
    if (!config::IsBoard(model)) return {};
    return config::DaRangesOf(model);
}

std::optional<std::string_view> DaRangeLabel(std::int32_t code) {
    if (code < 0 || static_cast<std::size_t>(code) >= boards::DaRangesWide.size()) return std::nullopt;
    return boards::DaRangesWide[static_cast<std::size_t>(code)];
}

std::optional<std::int32_t> DaRangeByLabel(std::string_view label) {
    return IndexOf(boards::DaRangesWide, label);
}

std::string DaRangeChoices(std::uint8_t model) {
    return Joined(DaRangeList(model));
}

std::optional<std::string_view> WiringLabel(std::int32_t code) {
    if (code < 0 || static_cast<std::size_t>(code) >= WiringLabels.size()) return std::nullopt;
    return WiringLabels[static_cast<std::size_t>(code)];
}

std::optional<std::int32_t> WiringByLabel(std::string_view label) {
    return IndexOf(WiringLabels, label);
}

bool OffersDifferential(std::uint8_t model) {
    const boards::Model* row = boards::ModelOf(model);
    return row != nullptr && boards::OffersDifferential(*row);
}

std::optional<std::string_view> AdRangeLabel(std::int32_t code) {
    if (code < 0 || static_cast<std::size_t>(code) >= AdRangeLabels.size()) return std::nullopt;
    return AdRangeLabels[static_cast<std::size_t>(code)];
}

std::optional<std::int32_t> AdRangeByLabel(std::string_view label) {
    return IndexOf(AdRangeLabels, label);
}

std::optional<std::string> BoardProblem(const BoardEntry& entry, int slot) {
    const std::uint8_t model = entry.DevType;
    if (model == config::NoBoard) return std::nullopt;
    if (!config::IsBoard(model)) {
        return SlotText(slot) + ": model code " + std::to_string(model) +
               " names no model (0..6, or 7 for none)";
    }
    const std::string board = BoardText(model, slot);
    if (entry.BoardNo != slot) {
        return board + ": board number " + std::to_string(entry.BoardNo) +
               " differs from its slot (the wizard keeps them equal)";
    }
    if (!OnBaseGrid(entry.BaseAddress)) {
        return board + ": base address " + Hex(entry.BaseAddress) +
               " is off the grid 0x200..0x3F0 in steps of 0x10";
    }
    if (AdChannels(model) > 0) {
        if (!WiringLabel(entry.InputMode) ||
            (entry.InputMode == config::DifferentialWiring && !OffersDifferential(model))) {
            return board + ": wiring code " + std::to_string(entry.InputMode) + " is not offered";
        }
        if (!AdRangeLabel(entry.ADMaxRange)) {
            return board + ": input range code " + std::to_string(entry.ADMaxRange) + " is not one of " +
                   Joined(AdRangeLabels);
        }
    }
    if (!config::GainsOf(model).empty()) {
        for (int k = 0; k < AdChannels(model); ++k) {
            if (!GainLabel(model, entry.ADGain[k])) {
                return board + ": gain code " + std::to_string(entry.ADGain[k]) + " of analog input " +
                       std::to_string(k) + " is not in the model's list (" + GainChoices(model) + ")";
            }
        }
    }
    for (int k = 0; k < DaChannels(model); ++k) {
        const std::int32_t code = entry.DARange[k];
        if (code < 0 || static_cast<std::size_t>(code) >= DaRangeList(model).size()) {
            return board + ": output range code " + std::to_string(code) + " of analog output " +
                   std::to_string(k) + " is not offered (" + DaRangeChoices(model) + ")";
        }
    }
    return std::nullopt;
}

std::optional<std::string> HeaderProblem(const DevicePDB& block) {
    if (block.SelectedBoard < 0 || block.SelectedBoard >= config::BoardCount) {
        return "selected board " + std::to_string(block.SelectedBoard) + " is out of range 0..31";
    }
    return std::nullopt;
}

bool SameDefinedFields(const BoardEntry& a, const BoardEntry& b) {
    return a.BoardNo == b.BoardNo && a.DevType == b.DevType &&
           config::ShortStringText(a.DevName, config::DevNameSize) ==
               config::ShortStringText(b.DevName, config::DevNameSize) &&
           a.BaseAddress == b.BaseAddress && a.InputMode == b.InputMode && a.ADMaxRange == b.ADMaxRange &&
           a.Spare1 == b.Spare1 && a.Spare2 == b.Spare2 &&
           std::equal(std::begin(a.ADGain), std::end(a.ADGain), b.ADGain) &&
           std::equal(std::begin(a.DARange), std::end(a.DARange), b.DARange);
}

Status SetField(DevicePDB& block, std::optional<int> slot, std::string_view assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return Failure{"\"" + std::string(assignment) + "\" is not KEY=VALUE\n" + FieldKeysHelp()};
    }
    const std::string_view key = assignment.substr(0, equals);
    const std::string_view value = assignment.substr(equals + 1);
    if (!slot) {
        if (!SameText(key, "selected")) {
            return Failure{"\"" + std::string(key) +
                           "\" is not a header field; board fields need --slot N\n" + FieldKeysHelp()};
        }
        const auto board = ParseInteger(value);
        if (!board || *board < 0 || *board >= config::BoardCount) {
            return Failure{"selected board \"" + std::string(value) + "\" is out of range 0..31"};
        }
        block.SelectedBoard = static_cast<std::int32_t>(*board);
        return {};
    }
    if (*slot < 0 || *slot >= config::BoardCount) {
        return Failure{"slot " + std::to_string(*slot) + " is out of range 0..31"};
    }
    BoardEntry entry = block.Boards[*slot];
    if (Status set = SetBoardField(entry, *slot, key, value); !set) return set;
    block.Boards[*slot] = entry;
    return {};
}

std::string FieldKeysHelp() {
    return "fields: selected=N (no --slot); with --slot N: model=NAME|none, base=0x300, "
           "wiring=single-ended|differential, range=5V|10V, gain=LABEL (every input), gainK=LABEL, "
           "da=LABEL (every output), daK=LABEL; a gain or range may also be given by its code";
}

} // namespace korax::tools::pdb
