#include "boards/PortDecode.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "boards/BoardTexts.h"
#include "boards/ModelTables.h"

namespace korax::boards {

namespace {

constexpr std::uint32_t PortMask = 0xFFFF; // 16-bit port numbers: a board near the top wraps to 0
constexpr char IndexMark = '#';

std::string Hex(unsigned value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// A register of a board and which of its instances a port is.
struct Hit {
    const RegisterLayout* Register;
    std::int32_t Index;
};

std::optional<std::int32_t> IndexAt(std::uint8_t model, const RegisterLayout& reg, std::int32_t offset) {
    const std::int32_t count = RegisterCount(model, reg);
    if (count == 0) return std::nullopt;
    const std::int32_t step = offset - Models[model].Ports.*reg.Offset;
    if (step < 0 || step % reg.Stride != 0 || step / reg.Stride >= count) return std::nullopt;
    return step / reg.Stride;
}

bool Carries(const RegisterLayout& reg, PortDirection direction) {
    const Flow wanted = direction == PortDirection::Read ? Flow::Read : Flow::Written;
    return (static_cast<std::uint8_t>(reg.Direction) & static_cast<std::uint8_t>(wanted)) != 0;
}

std::optional<Hit> RegisterAt(std::uint8_t model, std::int32_t offset, PortDirection direction) {
    for (const RegisterLayout& reg : RegisterLayouts) {
        if (!Carries(reg, direction)) continue;
        if (const auto index = IndexAt(model, reg, offset)) return Hit{&reg, *index};
    }
    return std::nullopt;
}

std::string WithIndex(std::string_view label, std::int32_t index) {
    std::string text(label);
    if (const std::size_t mark = text.find(IndexMark); mark != std::string::npos)
        text.replace(mark, 1, std::to_string(index));
    return text;
}

std::string CounterControlText(std::uint8_t value) {
    const auto counter = static_cast<std::uint8_t>(value >> CounterSelectShift);
    if (counter == CounterReadBack) return std::string(texts::CounterReadBackLabel);
    const auto access = (value >> CounterAccessShift) & CounterAccessMask;
    const auto mode = (value >> CounterModeShift) & CounterModeMask;
    return std::string(texts::CounterLabel) + std::to_string(counter) +
           std::string(texts::CounterControlLabel) + std::string(texts::CounterAccess[access]) +
           std::string(texts::CounterModeLabel) + std::to_string(mode) +
           std::string((value & CounterBcdBit) != 0 ? texts::CounterBcd : texts::CounterBinary);
}

std::string Meaning(const Hit& hit, std::uint8_t value) {
    const std::string label = WithIndex(hit.Register->Label, hit.Index);
    switch (hit.Register->Meaning) {
    case Shows::Label:
        return label;
    case Shows::Value:
        return label + std::string(texts::DecodeEquals) + std::to_string(value);
    case Shows::AdStatus:
        if ((value & AdNotReadyBit) != 0) return label + std::string(texts::AdNotReady);
        return label + std::string(texts::AdReady) + std::to_string(value & HighNibbleMask);
    case Shows::CounterControl:
        return CounterControlText(value);
    }
    return label;
}

} // namespace

std::optional<std::int32_t> OffsetOnBoard(const config::BoardEntry& entry, std::uint16_t port) {
    if (!config::IsBoard(entry.DevType)) return std::nullopt;
    const auto offset = static_cast<std::int32_t>((port - entry.BaseAddress) & PortMask);
    const PortSpan span = BoardPortSpan(entry.DevType);
    if (offset < span.First || offset > span.Last) return std::nullopt;
    return offset;
}

std::string DescribePortAccess(const config::DevicePDB& block, PortDirection direction, std::uint16_t port,
                               std::uint8_t value) {
    // Boards whose spans overlap (a configuration fault) are told apart by the register that serves the
    // access; the first board holding the port speaks when none has one.
    std::optional<std::int32_t> holder;
    std::optional<Hit> hit;
    for (std::int32_t slot = 0; slot < config::BoardCount && !hit; ++slot) {
        const config::BoardEntry& entry = block.Boards[slot];
        const auto offset = OffsetOnBoard(entry, port);
        if (!offset) continue;
        if (!holder) holder = slot;
        if ((hit = RegisterAt(entry.DevType, *offset, direction))) holder = slot;
    }
    if (!holder) return {};
    const config::BoardEntry& entry = block.Boards[*holder];
    const bool read = direction == PortDirection::Read;
    std::string text = std::string(texts::DecodeBoard) + std::to_string(*holder) + " " +
                       std::string(Models[entry.DevType].Name) + " " + Hex(port, 3) +
                       std::string(read ? texts::DecodeRead : texts::DecodeWritten) + Hex(value, 2) +
                       std::string(texts::DecodeMeaning);
    if (hit) return text + Meaning(*hit, value);
    return text + std::string(read ? texts::NoRegisterRead : texts::NoRegisterWritten);
}

std::string PortRegisterName(const config::DevicePDB& block, std::uint16_t port) {
    for (const config::BoardEntry& entry : block.Boards) {
        const auto offset = OffsetOnBoard(entry, port);
        if (!offset) continue;
        std::string names;
        for (const RegisterLayout& reg : RegisterLayouts) {
            const auto index = IndexAt(entry.DevType, reg, *offset);
            if (!index) continue;
            if (!names.empty()) names += '/';
            names += reg.Name;
            if (reg.Repeats != Repeat::Once) names += std::to_string(*index);
        }
        return names.empty() ? std::string(texts::UnusedPortName) : names;
    }
    return {};
}

} // namespace korax::boards
