#pragma once
// The seven board models, one row each, read like the board's datasheet: its name, its channels, its input
// wirings, its registers, its gains and output ranges. Every other table (the address parser's channel
// ranges, the wizard's gain record, the port spans, the simulator's register map) is derived from these rows.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "config/DevicePDB.h"

namespace korax::config {

// Channels of each tag type a board serves (0: none). Channels run from 0.
struct ModelChannels {
    std::int32_t Ad = 0;
    std::int32_t Count = 0;
    std::int32_t Di = 0;
    std::int32_t Do = 0;
    std::int32_t Da = 0;
    std::int32_t CountTarget = 0;
    std::int32_t RunCount = 0;
};

// Analog input channels per wiring the wizard offers (-1: not offered).
struct InputWirings {
    std::int16_t Differential = -1;
    std::int16_t SingleEnded = -1;
};

// Port offsets from a board's base address; a register a model does not have is NoPort, the default, so a
// row names only the registers its board has.
inline constexpr std::int32_t NoPort = -1;
struct PortMap {
    std::int32_t DiByte = NoPort;         // + group (channel div 8), read
    std::int32_t DoByte = NoPort;         // + group, written
    std::int32_t AdLow = NoPort;          // conversion result, low byte
    std::int32_t AdStatus = NoPort;       // status (bit 4 = not ready), then the high nibble
    std::int32_t AdGain = NoPort;         // gain code
    std::int32_t AdChannel = NoPort;      // channel
    std::int32_t AdMode = NoPort;         // mode byte, written before the gain
    std::int32_t AdStart = NoPort;        // starts a conversion
    std::int32_t DaLow = NoPort;          // + 2 x channel
    std::int32_t DaHigh = NoPort;         // + 2 x channel
    std::int32_t CounterControl = NoPort; // control byte
    std::int32_t CounterData = NoPort;    // + channel
};

#pragma pack(push, 1)
// One entry of the wizard's gain list: a gain code and its 16-byte label padded with zeros, laid out as
// hosts' tools have always read it. An unused entry has code -1.
struct GainEntry {
    std::int16_t Code = -1;
    char Label[16] = {};
};
#pragma pack(pop)
static_assert(sizeof(GainEntry) == 18);
inline constexpr std::size_t GainListSize = 16;
using GainList = std::array<GainEntry, GainListSize>;

// DA output ranges the wizard offers per channel: a model offers the first DaRangeCount of these.
inline constexpr std::array<std::string_view, 5> DaRangesWide = {"0-5V", "0-10V", "+/-5V", "+/-10V",
                                                                 "4-20mA"};
inline constexpr std::size_t NarrowDaRanges = 2;

struct Model {
    std::string_view Name;     // as stored in DevName
    std::string_view ListName; // in the wizard's model list
    ModelChannels Channels = {};
    InputWirings Wirings = {};
    PortMap Ports = {};
    GainList Gains = {}; // in list order; the unused entries at the end
    std::size_t DaRangeCount = NarrowDaRanges;
    // The board's gain register takes the stored code modulo this (0: the code as stored).
    std::int32_t GainCodeModulus = 0;
};

inline constexpr std::array<Model, ModelCount> Models = {{
    {.Name = "KRX-A100",
     .ListName = "KRXA100",
     .Channels = {.Ad = 16, .Count = 1, .Di = 16, .Do = 16, .Da = 2, .CountTarget = 1, .RunCount = 1},
     .Wirings = {.Differential = 8, .SingleEnded = 16},
     .Ports = {.DiByte = 6,
               .DoByte = 13,
               .AdLow = 4,
               .AdStatus = 5,
               .AdGain = 9,
               .AdChannel = 10,
               .AdMode = 11,
               .AdStart = 12,
               .DaLow = 4,
               .DaHigh = 5,
               .CounterControl = 3,
               .CounterData = 0},
     .Gains = {{{7, "0-1.25V"},
                {6, "0-2.5V"},
                {5, "0-5V"},
                {4, "0-10V"},
                {3, "+/-0.625V"},
                {2, "+/-1.25"},
                {1, "+/-2.5V"},
                {0, "+/-5V"},
                {8, "+/-10V"}}}},
    {.Name = "KRX-A200",
     .ListName = "KRXA200",
     .Channels = {.Ad = 32},
     .Wirings = {.Differential = 0, .SingleEnded = 32},
     .Ports = {.AdLow = 4, .AdStatus = 5, .AdGain = 9, .AdChannel = 10, .AdStart = 12},
     .Gains = {{{3, "0-1.25V"},
                {2, "0-2.5V"},
                {1, "0-5V"},
                {0, "0-10V"},
                {7, "+/-0.625V"},
                {6, "+/-1.25V"},
                {5, "+/-2.5V"},
                {4, "+/-5V"}}},
     .GainCodeModulus = 4},
    {.Name = "KRX-B100",
     .ListName = "KRXB100",
     .Channels = {.Di = 16, .Do = 16, .Da = 6},
     .Ports = {.DiByte = 14, .DoByte = 12, .DaLow = 1, .DaHigh = 0},
     .DaRangeCount = DaRangesWide.size()},
    {.Name = "KRX-C100",
     .ListName = "KRXC100",
     .Channels = {.Count = 3, .Di = 32, .Do = 32, .CountTarget = 3, .RunCount = 3},
     .Ports = {.DiByte = 0, .DoByte = 0, .CounterControl = 7, .CounterData = 4}},
    {.Name = "KRX-C200",
     .ListName = "KRXC200",
     .Channels = {.Di = 8, .Do = 8},
     .Ports = {.DiByte = 1, .DoByte = 0}},
    {.Name = "KRX-C210",
     .ListName = "KRXC210",
     .Channels = {.Di = 16, .Do = 16},
     .Ports = {.DiByte = 2, .DoByte = 0}},
    {.Name = "KRX-C300",
     .ListName = "KRXC300",
     .Channels = {.Di = 32, .Do = 32},
     .Ports = {.DiByte = 0, .DoByte = 0}},
}};

// The row of a model code; nil for a slot without a board (or a code no model has).
constexpr const Model* ModelOf(std::uint8_t devType) {
    return IsBoard(devType) ? &Models[devType] : nullptr;
}

// The used entries of a model's gain list, in list order; empty for a model without gains or no board.
constexpr std::span<const GainEntry> GainsOf(std::uint8_t devType) {
    const Model* model = ModelOf(devType);
    if (model == nullptr) return {};
    const auto used = std::ranges::find(model->Gains, std::int16_t{-1}, &GainEntry::Code);
    return std::span(model->Gains).first(static_cast<std::size_t>(used - model->Gains.begin()));
}

// A gain entry's label without its zero padding.
constexpr std::string_view GainLabelOf(const GainEntry& entry) {
    const std::string_view label(entry.Label, sizeof(entry.Label));
    return label.substr(0, label.find('\0'));
}

// The output ranges a model offers (the narrow pair for anything that is not a board).
constexpr std::span<const std::string_view> DaRangesOf(std::uint8_t devType) {
    const Model* model = ModelOf(devType);
    const std::size_t count = model == nullptr ? NarrowDaRanges : model->DaRangeCount;
    return std::span(DaRangesWide).first(std::min(count, DaRangesWide.size()));
}

// Input wirings a model offers (the wizard's and the block tool's one rule).
constexpr bool OffersDifferential(const Model& model) {
    return model.Wirings.Differential != -1;
}
constexpr bool OffersSingleEnded(const Model& model) {
    return model.Wirings.SingleEnded != -1;
}

// What every row must keep consistent: the wirings cover exactly the analog inputs, every kind of channel a
// board has comes with its registers, gain lists are contiguous and their labels leave room for the zero.
constexpr bool RowIsConsistent(const Model& model) {
    const ModelChannels& c = model.Channels;
    const PortMap& p = model.Ports;
    const std::int32_t wired = std::max(model.Wirings.Differential, model.Wirings.SingleEnded);
    const bool wiringsMatch = c.Ad == 0 ? wired == -1 : wired == c.Ad;
    const bool registersPresent = (c.Di == 0 || p.DiByte != NoPort) && (c.Do == 0 || p.DoByte != NoPort) &&
                                  (c.Ad == 0 || (p.AdLow != NoPort && p.AdStatus != NoPort &&
                                                 p.AdChannel != NoPort && p.AdStart != NoPort)) &&
                                  (c.Da == 0 || (p.DaLow != NoPort && p.DaHigh != NoPort)) &&
                                  (c.Count == 0 || (p.CounterControl != NoPort && p.CounterData != NoPort));
    bool gainsContiguous = true;
    bool unused = false;
    for (const GainEntry& entry : model.Gains) {
        if (entry.Code == -1)
            unused = true;
        else if (unused || entry.Label[sizeof(entry.Label) - 1] != '\0')
            gainsContiguous = false;
    }
    return wiringsMatch && registersPresent && gainsContiguous && model.DaRangeCount <= DaRangesWide.size();
}
static_assert(std::ranges::all_of(Models, RowIsConsistent));

} // namespace korax::config
