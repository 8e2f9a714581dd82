#include "config/DevicePDB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace korax::config;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t BlockSize = sizeof(DevicePDB);

DevicePDB* At(Bytes& raw, std::size_t offset = 0) {
    return reinterpret_cast<DevicePDB*>(raw.data() + offset);
}
std::size_t EntryOffset(int n) {
    return 16 + 600 * static_cast<std::size_t>(n);
}

void PutLE32(Bytes& raw, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) raw[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes raw(size);
    for (std::size_t i = 0; i < size; ++i) raw[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 7));
    return raw;
}

// Whether byte i of a block is one the block defines (as opposed to padding, SpareArea or the name tail);
// the name lengths are taken from `block`.
bool IsDefinedByte(const Bytes& block, std::size_t i) {
    if (i < 16) return i < 9 || i >= 12;
    const std::size_t base = EntryOffset(static_cast<int>((i - 16) / 600));
    const std::size_t at = i - base;
    if (at >= 5 && at < 261) return at - 5 <= block[base + 5];
    return !(at >= 261 && at < 264) && !(at >= 412 && at < 548) && at < 596;
}

} // namespace

TEST(DevicePDBDefaults, ZeroedBlockMatchesFactoryBytes) {
    Bytes expected(BlockSize, 0);
    expected[6] = 0xF0; // 1.0 as an IEEE double, little-endian
    expected[7] = 0x3F;
    for (int n = 0; n < BoardCount; ++n) {
        PutLE32(expected, EntryOffset(n), static_cast<std::uint32_t>(n));
        expected[EntryOffset(n) + 4] = n == 0 ? 0 : 7;
        PutLE32(expected, EntryOffset(n) + 264, 0x220);
    }
    const std::string firstName = "KRX-A100";
    expected[EntryOffset(0) + 5] = static_cast<std::uint8_t>(firstName.size());
    std::memcpy(&expected[EntryOffset(0) + 6], firstName.data(), firstName.size());

    Bytes raw(BlockSize, 0);
    FillDefaultPDB(*At(raw));
    EXPECT_EQ(raw, expected);
    EXPECT_EQ(At(raw)->HeaderReal, 1.0);
    EXPECT_EQ(ShortStringText(At(raw)->Boards[0].DevName, DevNameSize), firstName);
}

TEST(DevicePDBDefaults, LeavesPaddingSpareAreaAndNameTailAlone) {
    Bytes zeroed(BlockSize, 0);
    Bytes stale(BlockSize, 0xAA);
    FillDefaultPDB(*At(zeroed));
    FillDefaultPDB(*At(stale));
    for (std::size_t i = 0; i < BlockSize; ++i) {
        ASSERT_EQ(stale[i], IsDefinedByte(stale, i) ? zeroed[i] : 0xAA) << "offset " << i;
    }
}

TEST(DevicePDBCopy, TakesDefinedFieldsOnly) {
    Bytes source = Pattern(BlockSize, 17);
    const std::size_t name = EntryOffset(3) + 5;
    source[name] = 10;
    std::memcpy(&source[name + 1], "0123456789STALE", 15);

    Bytes destination(BlockSize, 0x55);
    CopyPDB(At(source), At(destination));
    for (std::size_t i = 0; i < BlockSize; ++i) {
        ASSERT_EQ(destination[i], IsDefinedByte(source, i) ? source[i] : 0x55) << "offset " << i;
    }
    // Length byte and ten characters, nothing of the stale text after them.
    EXPECT_EQ(ShortStringText(At(destination)->Boards[3].DevName, DevNameSize), "0123456789");
    EXPECT_EQ(destination[name + 11], 0x55);
    EXPECT_EQ(destination[EntryOffset(3) + 412], 0x55); // SpareArea, although the source's differs

    const Bytes before = destination;
    CopyPDB(nullptr, At(destination));
    CopyPDB(At(source), nullptr);
    EXPECT_EQ(destination, before);
}

TEST(DevicePDBCopy, OverlappingBlocksMatchCopyThroughTemporary) {
    const std::pair<std::size_t, std::size_t> layouts[] = {
        {0, BlockSize - 600}, {BlockSize - 600, 0}, {0, 600}, {600, 0}};
    for (const auto& [from, to] : layouts) {
        Bytes actual = Pattern(2 * BlockSize, 5);
        Bytes expected = actual;
        Bytes temporary(actual.begin() + static_cast<std::ptrdiff_t>(from),
                        actual.begin() + static_cast<std::ptrdiff_t>(from + BlockSize));
        CopyPDB(At(temporary), At(expected, to));
        CopyPDB(At(actual, from), At(actual, to));
        EXPECT_EQ(actual, expected) << "source " << from << ", destination " << to;
    }
}

TEST(DevicePDBShortString, StaysInsideItsField) {
    std::uint8_t field[6] = {200, 'a', 'b', 'c', 'X', 'Y'};
    EXPECT_EQ(ShortStringText(field, 4), "abc"); // length byte larger than the field holds

    SetShortString(field, 4, "longer than the field");
    EXPECT_EQ(field[0], 3);
    EXPECT_EQ(std::string(field + 1, field + 4), "lon");
    EXPECT_EQ(field[4], 'X');

    SetShortString(field, 4, "");
    EXPECT_EQ(field[0], 0);
    EXPECT_EQ(field[1], 'l'); // only the length byte changes
    EXPECT_EQ(ShortStringText(nullptr, 4), "");
}

TEST(DevicePDBModels, NamesAndCodes) {
    const char* names[] = {"KRX-A100", "KRX-A200", "KRX-B100", "KRX-C100",
                           "KRX-C200", "KRX-C210", "KRX-C300", "无效"};
    for (std::int32_t code = 0; code < 8; ++code) {
        EXPECT_EQ(ModelName(code).value_or("<none>"), names[code]) << code;
        if (code < 7) {
            EXPECT_EQ(ModelFromName(names[code]), code);
        }
    }
    EXPECT_EQ(ModelName(0x80 | 3).value_or("<none>"), "KRX-C100");
    EXPECT_EQ(ModelName(-1 & ~0x78), std::string_view("无效")); // low seven bits 7
    EXPECT_FALSE(ModelName(8).has_value());
    EXPECT_FALSE(ModelName(127).has_value());

    EXPECT_EQ(ModelFromName("krx-c210"), 5);
    EXPECT_EQ(ModelFromName("KRX-C21"), 7);
    EXPECT_EQ(ModelFromName("KRX-C2100"), 7);
    EXPECT_EQ(ModelFromName("KRX-A100" + std::string(30, ' ')), 7);
    EXPECT_EQ(ModelFromName("无效"), 7);

    EXPECT_EQ(ModelFromIndex(6), 6);
    EXPECT_EQ(ModelFromIndex(7), 7);
    EXPECT_EQ(ModelFromIndex(-1), 7);
}

TEST(DevicePDBModels, BaseAddressAndInputMode) {
    EXPECT_EQ(BaseAddressIndex(0x200), 0);
    EXPECT_EQ(BaseAddressIndex(0x220), 2);
    EXPECT_EQ(BaseAddressIndex(0x3F0), 31);
    for (std::uint32_t outside : {0x1F0u, 0x205u, 0x400u, 0x10220u, 0u}) {
        EXPECT_EQ(BaseAddressIndex(outside), 2) << std::hex << outside;
    }
    EXPECT_EQ(InputModeText(1), "差动");
    EXPECT_EQ(InputModeText(0), "单端");
    EXPECT_EQ(InputModeText(-1), "单端");
}
