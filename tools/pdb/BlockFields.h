#pragma once
// What the values of a parameter block's fields mean to a person: model names, base addresses, wiring and
// input ranges, gains and output ranges by their labels, and the checks that keep a block to what the
// configuration wizard itself would write.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "boards/ModelTables.h"
#include "common/Result.h"
#include "config/DevicePDB.h"

namespace korax::tools::pdb {

using config::BoardEntry;
using config::DevicePDB;

bool OnBaseGrid(std::uint32_t address);
std::string Hex(std::uint32_t value);

// A whole decimal or 0x-hexadecimal integer (a leading minus allowed for decimal); nothing otherwise.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// "KRX-C100" in any case, or "none" for an unused slot.
std::optional<std::uint8_t> ModelByName(std::string_view text);
// The model's name, "none" for an unused slot, the number for a code no model has.
std::string ModelText(std::uint8_t devType);
std::string ModelChoices();

// Channels a model has (0 when none): the tag address checks and the wizard use the same table.
std::int32_t AdChannels(std::uint8_t model);
std::int32_t DaChannels(std::uint8_t model);

// The model's gains as the wizard offers them, by code or label; "none" as choices without analog inputs.
std::optional<std::string> GainLabel(std::uint8_t model, std::int32_t code);
std::optional<std::int32_t> GainByLabel(std::uint8_t model, std::string_view label);
std::string GainChoices(std::uint8_t model);

// Output ranges: codes index the wide list; a model offers its first DaRangeCount entries.
std::span<const std::string_view> DaRangeList(std::uint8_t model);
std::optional<std::string_view> DaRangeLabel(std::int32_t code);
std::optional<std::int32_t> DaRangeByLabel(std::string_view label);
std::string DaRangeChoices(std::uint8_t model);

// Input wiring (InputMode) and the analog input range (ADMaxRange).
std::optional<std::string_view> WiringLabel(std::int32_t code);
std::optional<std::int32_t> WiringByLabel(std::string_view label);
bool OffersDifferential(std::uint8_t model);
std::optional<std::string_view> AdRangeLabel(std::int32_t code);
std::optional<std::int32_t> AdRangeByLabel(std::string_view label);

// The first way a board entry departs from what the wizard writes for its model, as a message that
// names the slot; nothing for an unused slot or an entry the wizard could have written.
std::optional<std::string> BoardProblem(const BoardEntry& entry, int slot);
std::optional<std::string> HeaderProblem(const DevicePDB& block);

// Whether two entries hold the same values in every field the block defines.
bool SameDefinedFields(const BoardEntry& a, const BoardEntry& b);

// One assignment from the command line, KEY=VALUE: on the header without a slot, on that slot's board
// with one. Each value is checked against the board's model; a value it cannot take changes nothing.
Status SetField(DevicePDB& block, std::optional<int> slot, std::string_view assignment);
std::string FieldKeysHelp();

} // namespace korax::tools::pdb
