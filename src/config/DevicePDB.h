#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korax::config {

inline constexpr int BoardCount = 32;
inline constexpr int AdGainCount = 32;
inline constexpr int DaRangeCount = 12;
inline constexpr std::size_t DevNameSize = 256;

// Model codes stored in BoardEntry::DevType.
inline constexpr std::uint8_t ModelCount = 7; // codes 0..6 are boards
inline constexpr std::uint8_t NoBoard = 7;    // slot unused

#pragma pack(push, 1)
// One board slot of the parameter block. Hosts store these bytes between runs: every offset is binding.
struct BoardEntry {
    std::int32_t BoardNo;
    std::uint8_t DevType;
    std::uint8_t DevName[DevNameSize]; // length byte + up to 255 characters; bytes after the text undefined
    std::uint8_t Padding1[3];
    std::uint32_t BaseAddress;
    std::int32_t InputMode;
    std::int32_t ADMaxRange;
    std::int32_t Spare1;
    std::int32_t Spare2;
    std::int32_t ADGain[AdGainCount];
    std::uint8_t SpareArea[136];
    std::int32_t DARange[DaRangeCount];
    std::uint8_t Padding2[4];
};

struct DevicePDB {
    double HeaderReal;
    std::uint8_t CreateMode;
    std::uint8_t Padding[3];
    std::int32_t SelectedBoard;
    BoardEntry Boards[BoardCount];
};
#pragma pack(pop)

static_assert(offsetof(BoardEntry, BoardNo) == 0);
static_assert(offsetof(BoardEntry, DevType) == 4);
static_assert(offsetof(BoardEntry, DevName) == 5);
static_assert(offsetof(BoardEntry, BaseAddress) == 264);
static_assert(offsetof(BoardEntry, InputMode) == 268);
static_assert(offsetof(BoardEntry, ADMaxRange) == 272);
static_assert(offsetof(BoardEntry, Spare1) == 276);
static_assert(offsetof(BoardEntry, Spare2) == 280);
static_assert(offsetof(BoardEntry, ADGain) == 284);
static_assert(offsetof(BoardEntry, SpareArea) == 412);
static_assert(offsetof(BoardEntry, DARange) == 548);
static_assert(sizeof(BoardEntry) == 600);
static_assert(offsetof(DevicePDB, HeaderReal) == 0);
static_assert(offsetof(DevicePDB, CreateMode) == 8);
static_assert(offsetof(DevicePDB, SelectedBoard) == 12);
static_assert(offsetof(DevicePDB, Boards) == 16);
static_assert(sizeof(DevicePDB) == 19216);
static_assert(alignof(DevicePDB) == 1, "a host block may sit at any address");

inline constexpr std::int32_t PdbLength = sizeof(DevicePDB);

// The base addresses a board is configured at: 0x200..0x3F0 in steps of 0x10; a new board gets 0x220.
inline constexpr std::uint32_t FirstBaseAddress = 0x200;
inline constexpr std::uint32_t LastBaseAddress = 0x3F0;
inline constexpr std::uint32_t BaseAddressStep = 0x10;
inline constexpr std::uint32_t DefaultBaseAddress = 0x220;
inline constexpr int BaseAddressCount = (LastBaseAddress - FirstBaseAddress) / BaseAddressStep + 1;
constexpr bool OnBaseAddressGrid(std::uint32_t address) {
    return address >= FirstBaseAddress && address <= LastBaseAddress && address % BaseAddressStep == 0;
}

// The input wiring of a board, as its InputMode field holds it.
enum class InputWiring : std::int32_t { SingleEnded = 0, Differential = 1 };
constexpr std::int32_t WiringCode(InputWiring wiring) {
    return static_cast<std::int32_t>(wiring);
}
// The two codes as the field holds them, for code that compares or stores the raw field.
inline constexpr std::int32_t SingleEndedWiring = WiringCode(InputWiring::SingleEnded);
inline constexpr std::int32_t DifferentialWiring = WiringCode(InputWiring::Differential);

// Factory defaults (FullPDB). Padding, SpareArea and the DevName tail are left as they are.
void FillDefaultPDB(DevicePDB& block);

// Copies the defined fields of one block into another. The source is read in full before the destination
// is written, so the two may overlap. Padding, SpareArea and the DevName tail keep the destination's bytes.
void CopyPDB(const DevicePDB* source, DevicePDB* destination);

// Text of a short string (length byte + characters) held in a field of fieldSize bytes; never reads past it.
std::string ShortStringText(const std::uint8_t* field, std::size_t fieldSize);
// Writes the length byte and the characters (cut to the field) and leaves the rest of the field alone.
void SetShortString(std::uint8_t* field, std::size_t fieldSize, std::string_view text);

// Whether a DevType holds a board. A code above 7 (never written by the wizard) counts as an unused slot.
constexpr bool IsBoard(std::uint8_t devType) {
    return devType < ModelCount;
}
// The kind used for table look-ups: the model code, or NoBoard for anything that is not a board.
constexpr std::uint8_t BoardKind(std::uint8_t devType) {
    return IsBoard(devType) ? devType : NoBoard;
}

// Wizard list index -> model code: 0..6 map to themselves, anything else to NoBoard.
std::uint8_t ModelFromIndex(std::int32_t listIndex);
// Name of a model code; only the low 7 bits count. Codes 8..127 have no name (the caller keeps its text).
std::optional<std::string_view> ModelName(std::int32_t code);
// Upper-cased, cut to 32 characters, compared with the seven names; NoBoard when none matches.
std::uint8_t ModelFromName(std::string_view text);
// Wizard list index of a base address (0x200..0x3F0 step 0x10); 2 (0x220) for any other value.
std::int32_t BaseAddressIndex(std::uint32_t address);
// 1 gives the differential text, anything else the single-ended one.
std::string_view InputModeText(std::int32_t mode);

} // namespace korax::config
