// Every model's registers through the driver: each channel kind of each model, driven by real requests
// against a recording bus, must land on the port the board's port map names (written out by hand in
// support/RegisterFacts.h). Channels one past the last are refused by the address check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boards/DLLRealize.h"
#include "boards/ModelTables.h"
#include "config/DevicePDB.h"
#include "support/FakeClock.h"
#include "support/RecordingBus.h"
#include "support/RegisterFacts.h"
#include "support/TagDefinitions.h"

namespace {

using korax::boards::TDLLObject;
using korax::framework::Value;
using korax::test::Definitions;
using korax::test::RecordingBus;
using korax::test::RegisterFacts;
using Access = RecordingBus::Access;

constexpr int Station = 1;

// One board of a model at a base address, with one tag.
struct Rig {
    Rig(std::uint8_t model, std::uint32_t base) : base(base) {
        korax::config::FillDefaultPDB(block);
        for (auto& entry : block.Boards) entry.DevType = korax::config::NoBoard;
        block.Boards[Station].DevType = model;
        block.Boards[Station].BaseAddress = base;
    }
    // Registers the tag; a read request is sent at once, so its accesses are the whole log.
    bool Start(const std::string& kind, int channel, std::uint8_t dataType = 0) {
        Definitions tags;
        tags.Add(1, kind + std::to_string(Station) + ":" + std::to_string(channel), 100).Typed(dataType);
        return object.Initialise(&block, tags.List()) && object.TagCount() == 1;
    }
    // Writes the tag; the write is the next request sent.
    std::vector<Access> Write(const Value& value) {
        bus.log.clear();
        if (!object.WriteTag(1, value)) return {};
        object.ScanStep();
        return bus.log;
    }
    double TagValue() { return object.FindTag(1)->Value.ToDouble(); }
    std::uint32_t Port(int offset, int index = 0) const { return (base + offset + index) & 0xFFFF; }

    std::uint32_t base;
    korax::test::FakeClock clock;
    korax::config::DevicePDB block{};
    RecordingBus bus;
    TDLLObject object{clock, true, &bus};
};

constexpr std::uint32_t Base = 0x300;

class RegisterMap : public ::testing::TestWithParam<RegisterFacts> {};

TEST_P(RegisterMap, DigitalInputBytes) {
    const RegisterFacts& m = GetParam();
    for (int g = 0; g < m.DiGroups; ++g) {
        for (const int channel : {8 * g, 8 * g + 7}) {
            SCOPED_TRACE(channel);
            Rig rig(m.Model, Base);
            const auto byte = static_cast<std::uint8_t>(0xA0 + channel);
            rig.bus.Queue(static_cast<std::uint16_t>(rig.Port(m.DiByte, g)), {byte});
            ASSERT_TRUE(rig.Start("DI", channel));
            EXPECT_EQ(rig.bus.log, (std::vector<Access>{{'R', rig.Port(m.DiByte, g), byte}}));
            EXPECT_EQ(rig.TagValue(), byte);
        }
    }
    EXPECT_FALSE(Rig(m.Model, Base).Start("DI", 8 * m.DiGroups)) << "one past the last channel";
}

TEST_P(RegisterMap, DigitalOutputBytesAreWrittenTwice) {
    const RegisterFacts& m = GetParam();
    for (int g = 0; g < m.DoGroups; ++g) {
        for (const int channel : {8 * g, 8 * g + 7}) {
            SCOPED_TRACE(channel);
            Rig rig(m.Model, Base);
            ASSERT_TRUE(rig.Start("DO", channel));
            const auto byte = static_cast<std::uint8_t>(0x5A ^ channel);
            const std::uint32_t port = rig.Port(m.DoByte, g);
            EXPECT_EQ(rig.Write(Value::Real(byte)),
                      (std::vector<Access>{{'W', port, byte}, {'W', port, byte}}));
        }
    }
    EXPECT_FALSE(Rig(m.Model, Base).Start("DO", 8 * m.DoGroups));
}

TEST_P(RegisterMap, AnalogInputConversion) {
    const RegisterFacts& m = GetParam();
    for (const int channel : {0, m.AdChannels - 1}) {
        if (m.AdChannels == 0) break;
        SCOPED_TRACE(channel);
        Rig rig(m.Model, Base);
        rig.block.Boards[Station].ADGain[channel] = 3;
        rig.bus.Queue(static_cast<std::uint16_t>(rig.Port(m.AdStatus)), {0x00, 0xF9}); // ready at once
        rig.bus.Queue(static_cast<std::uint16_t>(rig.Port(m.AdLow)), {0xAB});
        ASSERT_TRUE(rig.Start("AD", channel));
        std::vector<Access> expected;
        if (m.AdMode != korax::test::None) expected = {{'W', rig.Port(m.AdMode), 1}, {'D', 0, 1}};
        const std::vector<Access> rest = {{'W', rig.Port(m.AdGain), 3},
                                          {'D', 0, 1},
                                          {'W', rig.Port(m.AdChannel), static_cast<std::uint32_t>(channel)},
                                          {'D', 0, 5},
                                          {'W', rig.Port(m.AdStart), 1},
                                          {'D', 0, 10},
                                          {'R', rig.Port(m.AdStatus), 0x00},
                                          {'R', rig.Port(m.AdStatus), 0xF9},
                                          {'R', rig.Port(m.AdLow), 0xAB}};
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_EQ(rig.bus.log, expected);
        EXPECT_EQ(rig.TagValue(), 0x9AB);
    }
    EXPECT_FALSE(Rig(m.Model, Base).Start("AD", m.AdChannels));
}

TEST_P(RegisterMap, AnalogOutputLowByteThenHighNibble) {
    const RegisterFacts& m = GetParam();
    for (int c = 0; c < m.DaChannels; ++c) {
        SCOPED_TRACE(c);
        Rig rig(m.Model, Base);
        ASSERT_TRUE(rig.Start("DA", c));
        EXPECT_EQ(rig.Write(Value::Real(0xF9C5)),
                  (std::vector<Access>{{'W', rig.Port(m.DaLow, 2 * c), 0xC5},
                                       {'W', rig.Port(m.DaHigh, 2 * c), 0x09}}));
    }
    EXPECT_FALSE(Rig(m.Model, Base).Start("DA", m.DaChannels));
}

TEST_P(RegisterMap, CountersLoadAndRead) {
    const RegisterFacts& m = GetParam();
    for (int c = 0; c < m.Counters; ++c) {
        SCOPED_TRACE(c);
        korax::boards::CountTarget(Station, static_cast<std::size_t>(c)) = 0x1234;
        Rig loader(m.Model, Base);
        ASSERT_TRUE(loader.Start("RunCount", c));
        const std::uint32_t data = loader.Port(m.CounterData, c);
        EXPECT_EQ(loader.Write(Value::Real(0)),
                  (std::vector<Access>{{'W', loader.Port(m.CounterControl), korax::test::CounterControl[c]},
                                       {'D', 0, 1},
                                       {'W', data, 0x34},
                                       {'D', 0, 1},
                                       {'W', data, 0x12}}));
        Rig reader(m.Model, Base);
        reader.bus.Queue(static_cast<std::uint16_t>(data), {0x02, 0x01});
        ASSERT_TRUE(reader.Start("COUNT", c));
        EXPECT_EQ(reader.bus.log, (std::vector<Access>{{'R', data, 0x02}, {'D', 0, 1}, {'R', data, 0x01}}));
        EXPECT_EQ(reader.TagValue(), 0x1234 - 0x0102);
        korax::boards::CountTarget(Station, static_cast<std::size_t>(c)) = 0;
    }
    EXPECT_FALSE(Rig(m.Model, Base).Start("COUNT", m.Counters));
}

TEST_P(RegisterMap, BoardOccupiesExactlyItsRegisters) {
    const RegisterFacts& m = GetParam();
    const korax::boards::PortSpan span = korax::boards::BoardPortSpan(m.Model);
    EXPECT_EQ(span.First, m.FirstPort);
    EXPECT_EQ(span.Last, m.LastPort);
}

INSTANTIATE_TEST_SUITE_P(EveryModel, RegisterMap, ::testing::ValuesIn(korax::test::Registers),
                         [](const auto& info) { return std::string(info.param.Name).substr(4); });

// Port numbers are 16-bit: a board near the top of the port space continues at port 0.
TEST(RegisterMapEdges, PortsWrapPastFFFF) {
    Rig da(2, 0xFFF8); // KRX-B100
    ASSERT_TRUE(da.Start("DA", 5));
    EXPECT_EQ(da.Write(Value::Real(0x123)), (std::vector<Access>{{'W', 0x0003, 0x23}, {'W', 0x0002, 0x01}}));
    Rig di(2, 0xFFF8);
    ASSERT_TRUE(di.Start("DI", 15));
    EXPECT_EQ(di.bus.log, (std::vector<Access>{{'R', 0x0007, 0xFF}}));
    Rig high(0, 0x1FFF8); // KRX-A100; only the low 16 bits of the base count
    ASSERT_TRUE(high.Start("DO", 15));
    EXPECT_EQ(high.Write(Value::Real(1)).front(), (Access{'W', 0x0006, 0x01}));
}

// The DA code is the written value made an integer toward zero, two's complement, low 12 bits.
TEST(RegisterMapEdges, NegativeAndFractionalAnalogOutputs) {
    const struct {
        double value;
        std::uint32_t low, high;
    } cases[] = {{-1.0, 0xFF, 0x0F},
                 {2.7, 0x02, 0x00},
                 {-0.5, 0x00, 0x00},
                 {-4096.0, 0x00, 0x00},
                 {4095.9, 0xFF, 0x0F}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Rig rig(0, 0x220);
        ASSERT_TRUE(rig.Start("DA", 0));
        EXPECT_EQ(rig.Write(Value::Real(c.value)),
                  (std::vector<Access>{{'W', 0x224, c.low}, {'W', 0x225, c.high}}));
    }
}

} // namespace
