#include "config/DevicePDB.h"

#include "config/ConfigTexts.h"
#include "config/Models.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace korax::config {

namespace {

inline constexpr auto DefaultBaseAddressIndex =
    static_cast<std::int32_t>((DefaultBaseAddress - FirstBaseAddress) / BaseAddressStep);
inline constexpr std::size_t ModelNameCompareLength = 32;

// A run of bytes that CopyPDB carries over. Everything between the runs (padding, SpareArea) belongs to the
// destination, so the copy is described by what it takes rather than by what it skips.
struct ByteRun {
    std::size_t Offset;
    std::size_t Length;
};

constexpr ByteRun HeaderRuns[] = {
    {offsetof(DevicePDB, HeaderReal), sizeof(double) + sizeof(std::uint8_t)}, // HeaderReal, CreateMode
    {offsetof(DevicePDB, SelectedBoard), sizeof(std::int32_t)},
};

constexpr ByteRun EntryRuns[] = {
    {offsetof(BoardEntry, BoardNo), sizeof(std::int32_t) + sizeof(std::uint8_t)}, // BoardNo, DevType
    // BaseAddress, InputMode, ADMaxRange, Spare1, Spare2 and ADGain lie back to back.
    {offsetof(BoardEntry, BaseAddress), offsetof(BoardEntry, SpareArea) - offsetof(BoardEntry, BaseAddress)},
    {offsetof(BoardEntry, DARange), sizeof(std::int32_t) * DaRangeCount},
};

static_assert(offsetof(DevicePDB, CreateMode) == offsetof(DevicePDB, HeaderReal) + sizeof(double));
static_assert(offsetof(BoardEntry, DevType) == offsetof(BoardEntry, BoardNo) + sizeof(std::int32_t));
static_assert(offsetof(BoardEntry, ADGain) == offsetof(BoardEntry, Spare2) + sizeof(std::int32_t));

void CopyRun(std::span<const std::uint8_t> from, std::uint8_t* to, std::size_t base, ByteRun run) {
    std::memcpy(to + base + run.Offset, from.data() + base + run.Offset, run.Length);
}

char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

void FillDefaultPDB(DevicePDB& block) {
    for (int n = 0; n < BoardCount; ++n) {
        BoardEntry& entry = block.Boards[n];
        entry.BoardNo = n;
        entry.DevType = NoBoard;
        SetShortString(entry.DevName, DevNameSize, {});
        entry.BaseAddress = DefaultBaseAddress;
        entry.InputMode = 0;
        entry.ADMaxRange = 0;
        entry.Spare1 = 0;
        entry.Spare2 = 0;
        for (int k = 0; k < AdGainCount; ++k) entry.ADGain[k] = 0;
        for (int k = 0; k < DaRangeCount; ++k) entry.DARange[k] = 0;
    }
    block.Boards[0].DevType = 0;
    SetShortString(block.Boards[0].DevName, DevNameSize, Models[0].Name);
    block.SelectedBoard = 0;
    block.HeaderReal = 1.0;
    block.CreateMode = 0;
}

void CopyPDB(const DevicePDB* source, DevicePDB* destination) {
    if (source == nullptr || destination == nullptr) return;
    // Take the whole source first: the wizard and the driver hand over blocks that may share memory.
    std::array<std::uint8_t, sizeof(DevicePDB)> snapshot;
    std::memcpy(snapshot.data(), source, snapshot.size());
    auto* to = reinterpret_cast<std::uint8_t*>(destination);

    for (const ByteRun& run : HeaderRuns) CopyRun(snapshot, to, 0, run);
    for (int n = 0; n < BoardCount; ++n) {
        const std::size_t base =
            offsetof(DevicePDB, Boards) + sizeof(BoardEntry) * static_cast<std::size_t>(n);
        for (const ByteRun& run : EntryRuns) CopyRun(snapshot, to, base, run);
        // Only the text of the name: the bytes after it are whatever the destination held before.
        const std::size_t nameOffset = base + offsetof(BoardEntry, DevName);
        CopyRun(snapshot, to, nameOffset, {0, std::size_t{1} + snapshot[nameOffset]});
    }
}

std::string ShortStringText(const std::uint8_t* field, std::size_t fieldSize) {
    if (field == nullptr || fieldSize == 0) return {};
    const std::size_t length = std::min<std::size_t>(field[0], fieldSize - 1);
    return std::string(reinterpret_cast<const char*>(field + 1), length);
}

void SetShortString(std::uint8_t* field, std::size_t fieldSize, std::string_view text) {
    if (field == nullptr || fieldSize == 0) return;
    const std::size_t length = std::min({text.size(), fieldSize - 1, std::size_t{0xFF}});
    field[0] = static_cast<std::uint8_t>(length);
    if (length != 0) std::memcpy(field + 1, text.data(), length);
}

std::uint8_t ModelFromIndex(std::int32_t listIndex) {
    return (listIndex >= 0 && listIndex < ModelCount) ? static_cast<std::uint8_t>(listIndex) : NoBoard;
}

std::optional<std::string_view> ModelName(std::int32_t code) {
    // Hosts hand in codes with stray high bits; only the low seven ever selected a name.
    const auto model = static_cast<std::uint32_t>(code) & 0x7Fu;
    if (model < ModelCount) return Models[model].Name;
    if (model == NoBoard) return texts::InvalidModel;
    return std::nullopt;
}

std::uint8_t ModelFromName(std::string_view text) {
    // The names are plain ASCII, so only ASCII letters are folded; any double-byte text simply never matches.
    std::string upper(text.substr(0, ModelNameCompareLength));
    std::transform(upper.begin(), upper.end(), upper.begin(), ToUpperAscii);
    for (std::uint8_t code = 0; code < ModelCount; ++code) {
        if (upper == Models[code].Name) return code;
    }
    return NoBoard;
}

std::int32_t BaseAddressIndex(std::uint32_t address) {
    if (!OnBaseAddressGrid(address)) {
        return DefaultBaseAddressIndex;
    }
    return static_cast<std::int32_t>((address - FirstBaseAddress) / BaseAddressStep);
}

std::string_view InputModeText(std::int32_t mode) {
    return mode == DifferentialWiring ? texts::Differential : texts::SingleEnded;
}

} // namespace korax::config
