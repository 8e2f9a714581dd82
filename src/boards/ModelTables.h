#pragma once
// Everything the driver and the wizard know about the seven board models, one row per model.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "boards/BoardTexts.h"
#include "config/ConfigTexts.h"
#include "config/DevicePDB.h"
#include "framework/TagTypes.h"

namespace korax::boards {

// Tag type indexes the boards serve (positions in framework::TagTypes).
enum class TagKind : std::int32_t {
    EventNo = 0,
    ClearEvent = 1,
    AD = 2,
    Count = 3,
    Freq = 4,
    DI = 5,
    DO = 6,
    DA = 7,
    Temp = 8,
    CountTarget = 9,
    RunCount = 10,
};
static_assert(framework::TagTypes[static_cast<std::size_t>(TagKind::AD)].Name == "AD");
static_assert(framework::TagTypes[static_cast<std::size_t>(TagKind::DI)].Name == "DI");
static_assert(framework::TagTypes[static_cast<std::size_t>(TagKind::RunCount)].Name == "RunCount");

// Channels one port access serves, per tag type: DI and DO points come eight to a port byte.
inline constexpr std::array<std::int32_t, framework::TagTypeCount> KindGroupSize = {1, 1, 1, 1, 1, 8,
                                                                                    8, 1, 1, 1, 1};

constexpr std::int32_t GroupSizeOf(std::int32_t typeIndex) {
    return typeIndex >= 0 && typeIndex < framework::TagTypeCount
               ? KindGroupSize[static_cast<std::size_t>(typeIndex)]
               : 1;
}

// Highest channel of a tag type on a model (channels run from 0), -1 when the model has none. It is the
// upper half of the channel ranges the address checks use, so the two can never disagree.
constexpr std::int32_t ModelChannelTable(std::uint8_t model, TagKind kind) {
    return framework::ChannelRangeOf(model, static_cast<std::int32_t>(kind)).Max;
}

#pragma pack(push, 1)
// The wizard's gain list of one model, laid out as hosts' tools have always read it: nine 16-bit header
// values, then 16 entries of a 16-bit gain code and a 16-byte label padded with zeros (306 bytes).
struct GainEntry {
    std::int16_t Code;
    char Label[16];
};
struct GainRecord {
    std::int16_t DifferentialInputs; // -1: not offered
    std::int16_t SingleEndedInputs;  // -1: not offered
    std::int16_t DaChannels;
    std::int16_t DiPoints;
    std::int16_t DoPoints;
    std::int16_t Reserved1;
    std::int16_t Counters;
    std::int16_t Reserved2;
    std::int16_t GainCount; // -1: none
    GainEntry Gains[16];
};
#pragma pack(pop)
static_assert(sizeof(GainEntry) == 18);
static_assert(sizeof(GainRecord) == 306);

inline constexpr GainEntry NoGain = {-1, {}};

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

// DA output ranges the wizard offers per channel.
inline constexpr std::array<std::string_view, 5> DaRangesWide = {"0-5V", "0-10V", "+/-5V", "+/-10V",
                                                                 "4-20mA"};
inline constexpr std::array<std::string_view, 2> DaRangesNarrow = {"0-5V", "0-10V"};

// The wizard's gain list header of a model: the input wirings it offers (-1: not offered), its channel
// counts and how many gains its list holds (-1: none).
struct GainHeader {
    std::int16_t DifferentialInputs = -1;
    std::int16_t SingleEndedInputs = -1;
    std::int16_t DaChannels = -1;
    std::int16_t DiPoints = -1;
    std::int16_t DoPoints = -1;
    std::int16_t Counters = -1;
    std::int16_t GainCount = -1;
};

// A gain record from its header and the gain entries in list order; the unused entries are NoGain.
constexpr GainRecord MakeGains(GainHeader h, std::initializer_list<GainEntry> entries = {}) {
    GainRecord record{h.DifferentialInputs, h.SingleEndedInputs,
                      h.DaChannels,         h.DiPoints,
                      h.DoPoints,           -1,
                      h.Counters,           -1,
                      h.GainCount,          {}};
    std::size_t i = 0;
    for (const GainEntry& entry : entries) record.Gains[i++] = entry;
    for (; i < std::size(record.Gains); ++i) record.Gains[i] = NoGain;
    return record;
}

struct Model {
    std::string_view Name;     // as stored in DevName
    std::string_view ListName; // in the wizard's model list
    PortMap Ports;
    GainRecord Gains;
    std::size_t DaRangeCount = DaRangesNarrow.size(); // how many of DaRangesWide the wizard offers
    // The board's gain register takes the stored code modulo this (0: the code as stored).
    std::int32_t GainCodeModulus = 0;
};

inline constexpr std::array<Model, config::ModelCount> Models = {{
    {.Name = config::texts::ModelNames[0],
     .ListName = "KRXA100",
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
     .Gains = MakeGains({.DifferentialInputs = 8,
                         .SingleEndedInputs = 16,
                         .DaChannels = 2,
                         .DiPoints = 16,
                         .DoPoints = 16,
                         .Counters = 1,
                         .GainCount = 9},
                        {{7, "0-1.25V"},
                         {6, "0-2.5V"},
                         {5, "0-5V"},
                         {4, "0-10V"},
                         {3, "+/-0.625V"},
                         {2, "+/-1.25"},
                         {1, "+/-2.5V"},
                         {0, "+/-5V"},
                         {8, "+/-10V"}})},
    {.Name = config::texts::ModelNames[1],
     .ListName = "KRXA200",
     .Ports = {.AdLow = 4, .AdStatus = 5, .AdGain = 9, .AdChannel = 10, .AdStart = 12},
     .Gains = MakeGains({.DifferentialInputs = 0, .SingleEndedInputs = 32, .GainCount = 8}, {{3, "0-1.25V"},
                                                                                             {2, "0-2.5V"},
                                                                                             {1, "0-5V"},
                                                                                             {0, "0-10V"},
                                                                                             {7, "+/-0.625V"},
                                                                                             {6, "+/-1.25V"},
                                                                                             {5, "+/-2.5V"},
                                                                                             {4, "+/-5V"}}),
     .GainCodeModulus = 4},
    {.Name = config::texts::ModelNames[2],
     .ListName = "KRXB100",
     .Ports = {.DiByte = 14, .DoByte = 12, .DaLow = 1, .DaHigh = 0},
     .Gains = MakeGains({.DaChannels = 6, .DiPoints = 16, .DoPoints = 16}),
     .DaRangeCount = DaRangesWide.size()},
    {.Name = config::texts::ModelNames[3],
     .ListName = "KRXC100",
     .Ports = {.DiByte = 0, .DoByte = 0, .CounterControl = 7, .CounterData = 4},
     .Gains = MakeGains({.DiPoints = 32, .DoPoints = 32, .Counters = 3})},
    {.Name = config::texts::ModelNames[4],
     .ListName = "KRXC200",
     .Ports = {.DiByte = 1, .DoByte = 0},
     .Gains = MakeGains({.DiPoints = 8, .DoPoints = 8})},
    {.Name = config::texts::ModelNames[5],
     .ListName = "KRXC210",
     .Ports = {.DiByte = 2, .DoByte = 0},
     .Gains = MakeGains({.DiPoints = 16, .DoPoints = 16})},
    {.Name = config::texts::ModelNames[6],
     .ListName = "KRXC300",
     .Ports = {.DiByte = 0, .DoByte = 0},
     .Gains = MakeGains({.DiPoints = 32, .DoPoints = 32})},
}};

static_assert(Models[1].Gains.Gains[5].Code == 6 && Models[0].Gains.Gains[9].Code == -1);
static_assert(Models[0].Gains.GainCount == 9 && Models[2].Gains.DaChannels == 6);

// The row of a model code; nil for a slot without a board (or a code no model has).
constexpr const Model* ModelOf(std::uint8_t devType) {
    return config::IsBoard(devType) ? &Models[devType] : nullptr;
}

// Register protocol facts shared by every model that has the register.
inline constexpr std::uint8_t AdNotReadyBit = 0x10;  // in the status byte: conversion not finished
inline constexpr std::uint8_t HighNibbleMask = 0x0F; // AD result bits 11..8 in the status byte; DA high
inline constexpr std::int32_t DaPortsPerChannel = 2; // a low and a high register per output channel

// Input wirings a model offers (the wizard's and the block tool's one rule): -1 in the header is "not
// offered".
constexpr bool OffersDifferential(const Model& model) {
    return model.Gains.DifferentialInputs != -1;
}
constexpr bool OffersSingleEnded(const Model& model) {
    return model.Gains.SingleEndedInputs != -1;
}

// The counter control byte, 8254 style: bits 7..6 select the counter, bits 5..4 the access (3: low byte,
// then high byte), bits 3..1 the mode (0), bit 0 binary counting (0).
inline constexpr int CounterSelectShift = 6;
inline constexpr int CounterAccessShift = 4;
inline constexpr std::uint8_t CounterAccessMask = 0x03;
inline constexpr int CounterModeShift = 1;
inline constexpr std::uint8_t CounterModeMask = 0x07;
inline constexpr std::uint8_t CounterBcdBit = 0x01;
inline constexpr std::uint8_t CounterReadBack = 3; // the select value of the read-back command
inline constexpr std::uint8_t CounterLowThenHigh = 0x30;
inline constexpr std::uint8_t CounterMode0 = 0x00;
constexpr std::uint8_t CounterControlByte(std::uint8_t counter) {
    return static_cast<std::uint8_t>(counter << CounterSelectShift | CounterLowThenHigh | CounterMode0);
}
// By channel: 0x30, 0x70, 0xB0; any other channel 0x00.
inline constexpr std::array<std::uint8_t, 3> CounterControlBytes = {
    CounterControlByte(0), CounterControlByte(1), CounterControlByte(2)};
static_assert(CounterControlBytes[0] == 0x30 && CounterControlBytes[1] == 0x70 &&
              CounterControlBytes[2] == 0xB0);

// The ports a board occupies, as offsets from its base address: from the lowest register any of its
// channels uses to the highest. The system is asked for exactly these before direct port access.
struct PortSpan {
    std::int32_t First;
    std::int32_t Last;
    constexpr std::uint32_t Count() const { return static_cast<std::uint32_t>(Last - First + 1); }
};

// How the registers of the port map repeat on a board and which way data goes through them: one row per
// PortMap field. The port span, the register names of a trace and its decoded meanings all come from here.
enum class Repeat : std::uint8_t {
    Once,       // one register when the board has any channel of the kind
    PerGroup,   // one per port group of the kind's channels (eight DI or DO points a byte)
    PerChannel, // one per channel of the kind, Stride ports apart
};
enum class Flow : std::uint8_t { Read = 1, Written = 2, Both = 3 };
// What a decoded access says: the label with '#' replaced by the register's index, then per Shows.
enum class Shows : std::uint8_t {
    Label,          // the label alone
    Value,          // the label, " = ", the byte in decimal
    AdStatus,       // ready or not, and the result's high nibble
    CounterControl, // the control byte's fields
};
struct RegisterLayout {
    std::int32_t PortMap::*Offset;
    std::string_view Name; // as the port map names it
    TagKind Kind;          // whose channels the register serves
    Repeat Repeats;
    std::int32_t Stride;
    Flow Direction;
    std::string_view Label;
    Shows Meaning;
};
inline constexpr std::array<RegisterLayout, 12> RegisterLayouts = {{
    {&PortMap::DiByte, "DiByte", TagKind::DI, Repeat::PerGroup, 1, Flow::Read, texts::DiByteLabel,
     Shows::Label},
    {&PortMap::DoByte, "DoByte", TagKind::DO, Repeat::PerGroup, 1, Flow::Written, texts::DoByteLabel,
     Shows::Label},
    {&PortMap::AdLow, "AdLow", TagKind::AD, Repeat::Once, 1, Flow::Read, texts::AdLowLabel, Shows::Label},
    {&PortMap::AdStatus, "AdStatus", TagKind::AD, Repeat::Once, 1, Flow::Read, texts::AdStatusLabel,
     Shows::AdStatus},
    {&PortMap::AdGain, "AdGain", TagKind::AD, Repeat::Once, 1, Flow::Written, texts::AdGainLabel,
     Shows::Value},
    {&PortMap::AdChannel, "AdChannel", TagKind::AD, Repeat::Once, 1, Flow::Written, texts::AdChannelLabel,
     Shows::Value},
    {&PortMap::AdMode, "AdMode", TagKind::AD, Repeat::Once, 1, Flow::Written, texts::AdModeLabel,
     Shows::Value},
    {&PortMap::AdStart, "AdStart", TagKind::AD, Repeat::Once, 1, Flow::Written, texts::AdStartLabel,
     Shows::Label},
    {&PortMap::DaLow, "DaLow", TagKind::DA, Repeat::PerChannel, DaPortsPerChannel, Flow::Written,
     texts::DaLowLabel, Shows::Label},
    {&PortMap::DaHigh, "DaHigh", TagKind::DA, Repeat::PerChannel, DaPortsPerChannel, Flow::Written,
     texts::DaHighLabel, Shows::Label},
    {&PortMap::CounterControl,
     "CounterControl",
     TagKind::Count,
     Repeat::Once,
     1,
     Flow::Written,
     {},
     Shows::CounterControl},
    {&PortMap::CounterData, "CounterData", TagKind::Count, Repeat::PerChannel, 1, Flow::Both,
     texts::CounterDataLabel, Shows::Label},
}};

// How many instances of a register a model has (0: none).
constexpr std::int32_t RegisterCount(std::uint8_t model, const RegisterLayout& reg) {
    if (ModelOf(model) == nullptr || Models[model].Ports.*reg.Offset == NoPort) return 0;
    const std::int32_t channels = ModelChannelTable(model, reg.Kind) + 1;
    const std::int32_t size = GroupSizeOf(static_cast<std::int32_t>(reg.Kind));
    switch (reg.Repeats) {
    case Repeat::Once:
        return channels > 0 ? 1 : 0;
    case Repeat::PerGroup:
        return (channels + size - 1) / size;
    case Repeat::PerChannel:
        return channels;
    }
    return 0;
}

// No ports ({0, -1}) for a slot without a board.
constexpr PortSpan BoardPortSpan(std::uint8_t model) {
    if (ModelOf(model) == nullptr) return PortSpan{0, -1};
    PortSpan span{0x10000, -1};
    for (const RegisterLayout& reg : RegisterLayouts) {
        const std::int32_t count = RegisterCount(model, reg);
        if (count <= 0) continue;
        const std::int32_t first = Models[model].Ports.*reg.Offset;
        span.First = std::min(span.First, first);
        span.Last = std::max(span.Last, first + reg.Stride * (count - 1));
    }
    return span;
}

// The gain record's header states the channel counts the address checks use: every row must agree.
constexpr bool HeaderMatchesChannels(std::uint8_t model) {
    const auto count = [model](TagKind kind) {
        const std::int32_t highest = ModelChannelTable(model, kind);
        return highest < 0 ? -1 : highest + 1;
    };
    const GainRecord& header = Models[model].Gains;
    return header.DiPoints == count(TagKind::DI) && header.DoPoints == count(TagKind::DO) &&
           header.DaChannels == count(TagKind::DA) && header.Counters == count(TagKind::Count) &&
           std::max(header.SingleEndedInputs, header.DifferentialInputs) == count(TagKind::AD);
}
static_assert([] {
    for (std::uint8_t model = 0; model < config::ModelCount; ++model) {
        if (!HeaderMatchesChannels(model)) return false;
    }
    return true;
}());
static_assert(ModelChannelTable(0, TagKind::AD) == 15 && ModelChannelTable(1, TagKind::AD) == 31);
static_assert(ModelChannelTable(0, TagKind::DA) == 1 && ModelChannelTable(2, TagKind::DA) == 5);
static_assert(ModelChannelTable(3, TagKind::Count) == 2 && ModelChannelTable(6, TagKind::DI) == 31);

} // namespace korax::boards
