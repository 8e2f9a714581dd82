// The decoded meaning of every port of every model, against the hand-written register facts.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "boards/PortDecode.h"
#include "config/DevicePDB.h"
#include "support/RegisterFacts.h"

namespace {

using korax::boards::DescribePortAccess;
using korax::boards::PortDirection;
using korax::boards::PortRegisterName;
using korax::test::None;
using korax::test::RegisterFacts;

korax::config::DevicePDB Block(std::initializer_list<std::pair<std::uint8_t, std::uint32_t>> boards) {
    korax::config::DevicePDB block{};
    korax::config::FillDefaultPDB(block);
    for (auto& entry : block.Boards) entry.DevType = korax::config::NoBoard;
    int slot = 0;
    for (const auto& [model, base] : boards) {
        block.Boards[slot].DevType = model;
        block.Boards[slot++].BaseAddress = base;
    }
    return block;
}

std::string Described(const korax::config::DevicePDB& block, char way, std::uint16_t port,
                      std::uint8_t value) {
    return DescribePortAccess(block, way == 'R' ? PortDirection::Read : PortDirection::Write, port, value);
}

class PortDecode : public ::testing::TestWithParam<RegisterFacts> {};

// Every port from one below the board's range to one above, both ways, with the byte 0x05.
TEST_P(PortDecode, EveryPortOfTheModel) {
    const RegisterFacts& m = GetParam();
    std::map<int, std::string> names;
    std::map<std::pair<char, int>, std::string> meanings;
    const auto add = [&](int offset, int count, int stride, const char* name, bool indexed, const char* ways,
                         const std::string& meaning) {
        if (offset == None) return;
        for (int i = 0; i < count; ++i) {
            const int at = offset + stride * i;
            std::string& listed = names[at];
            listed += (listed.empty() ? "" : "/") + std::string(name) + (indexed ? std::to_string(i) : "");
            std::string text = meaning;
            if (const auto mark = text.find('#'); mark != std::string::npos)
                text.replace(mark, 1, std::to_string(i));
            for (const char* way = ways; *way != 0; ++way) meanings.emplace(std::make_pair(*way, at), text);
        }
    };
    const int ad = m.AdChannels > 0 ? 1 : 0;
    add(m.DiByte, m.DiGroups, 1, "DiByte", true, "R", "DI byte #");
    add(m.DoByte, m.DoGroups, 1, "DoByte", true, "W", "DO byte #");
    add(m.AdLow, ad, 1, "AdLow", false, "R", "AD low byte");
    add(m.AdStatus, ad, 1, "AdStatus", false, "R", "AD status, ready, high nibble = 5");
    add(m.AdGain, ad, 1, "AdGain", false, "W", "AD gain code = 5");
    add(m.AdChannel, ad, 1, "AdChannel", false, "W", "AD channel select = 5");
    add(m.AdMode, ad, 1, "AdMode", false, "W", "AD mode = 5");
    add(m.AdStart, ad, 1, "AdStart", false, "W", "AD start conversion");
    add(m.DaLow, m.DaChannels, 2, "DaLow", true, "W", "DA channel # low byte");
    add(m.DaHigh, m.DaChannels, 2, "DaHigh", true, "W", "DA channel # high byte");
    add(m.CounterControl, m.Counters > 0 ? 1 : 0, 1, "CounterControl", false, "W",
        "counter 0 control: latch count, mode 2, BCD");
    add(m.CounterData, m.Counters, 1, "CounterData", true, "RW", "counter # data");

    const auto block = Block({{korax::config::NoBoard, 0}, {m.Model, 0x300}});
    for (int offset = m.FirstPort - 1; offset <= m.LastPort + 1; ++offset) {
        SCOPED_TRACE(offset);
        const auto port = static_cast<std::uint16_t>(0x300 + offset);
        const bool held = offset >= m.FirstPort && offset <= m.LastPort;
        EXPECT_EQ(PortRegisterName(block, port), !held                    ? ""
                                                 : names.contains(offset) ? names[offset]
                                                                          : "Unused");
        for (const char way : {'R', 'W'}) {
            char head[64];
            std::snprintf(head, sizeof head, "board 1 %s 0x%03X %s 0x05: ", m.Name, port,
                          way == 'R' ? "->" : "<-");
            const auto meaning = meanings.find({way, offset});
            const std::string expected = !held                       ? ""
                                         : meaning != meanings.end() ? head + meaning->second
                                         : way == 'R' ? head + std::string("no register answers a read here")
                                                      : head + std::string("no register takes a write here");
            EXPECT_EQ(Described(block, way, port, 0x05), expected) << way;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryModel, PortDecode, ::testing::ValuesIn(korax::test::Registers),
                         [](const auto& info) { return std::string(info.param.Name).substr(4); });

TEST(PortDecodeLines, MeaningsOfBytesAndBoards) {
    const struct {
        std::initializer_list<std::pair<std::uint8_t, std::uint32_t>> boards;
        char way;
        std::uint16_t port;
        std::uint8_t value;
        const char* expected;
    } cases[] = {
        {{{0, 0x21C}}, 'W', 0x226, 0x05, "board 0 KRX-A100 0x226 <- 0x05: AD channel select = 5"},
        {{{0, 0x220}}, 'R', 0x225, 0x90, "board 0 KRX-A100 0x225 -> 0x90: AD status, not ready"},
        {{{0, 0x220}}, 'R', 0x225, 0xE9, "board 0 KRX-A100 0x225 -> 0xE9: AD status, ready, high nibble = 9"},
        {{{3, 0x300}},
         'W',
         0x307,
         0x70,
         "board 0 KRX-C100 0x307 <- 0x70: counter 1 control: low then high byte, mode 0, binary"},
        {{{3, 0x300}},
         'W',
         0x307,
         0xB0,
         "board 0 KRX-C100 0x307 <- 0xB0: counter 2 control: low then high byte, mode 0, binary"},
        {{{3, 0x300}},
         'W',
         0x307,
         0x1F,
         "board 0 KRX-C100 0x307 <- 0x1F: counter 0 control: low byte only, mode 7, BCD"},
        {{{3, 0x300}}, 'W', 0x307, 0xE0, "board 0 KRX-C100 0x307 <- 0xE0: counter read-back command"},
        // 16-bit ports: a board near the top continues at 0, and only the low 16 bits of a base count.
        {{{2, 0xFFF8}}, 'W', 0x0003, 0x23, "board 0 KRX-B100 0x003 <- 0x23: DA channel 5 low byte"},
        {{{0, 0x1FFF8}}, 'W', 0x0006, 0x01, "board 0 KRX-A100 0x006 <- 0x01: DO byte 1"},
        // Overlapping boards: the one with a register for the access speaks, else the first holding it.
        {{{4, 0x300}, {2, 0x300}}, 'W', 0x301, 0x12, "board 1 KRX-B100 0x301 <- 0x12: DA channel 0 low byte"},
        {{{4, 0x300}, {2, 0x300}}, 'R', 0x301, 0x12, "board 0 KRX-C200 0x301 -> 0x12: DI byte 0"},
        {{{4, 0x300}, {2, 0x300}},
         'R',
         0x302,
         0x12,
         "board 1 KRX-B100 0x302 -> 0x12: no register answers a read here"},
        {{{0, 0x220}}, 'R', 0x21F, 0x00, ""},
        {{}, 'R', 0x220, 0x00, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(Described(Block(c.boards), c.way, c.port, c.value), c.expected);
    }
    EXPECT_EQ(PortRegisterName(Block({{0, 0x220}}), 0x224), "AdLow/DaLow0");
    EXPECT_EQ(PortRegisterName(Block({{0, 0x220}}), 0x221), "Unused");
}

} // namespace
