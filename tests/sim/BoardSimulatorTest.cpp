// The simulator answers the register sequences the driver sends, port by port, as the boards do.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim/BoardSimulator.h"
#include "support/RegisterFacts.h"

namespace {

using korax::sim::AccessKind;
using korax::sim::BoardSimulator;
using korax::sim::TraceEntry;
using korax::sim::Waveform;

constexpr std::uint8_t A100 = 0, A200 = 1, B100 = 2, C100 = 3, C200 = 4, C210 = 5, C300 = 6;

// The driver's AD sequence on an A100 at 0x220: mode, gain, channel, start, then status, high, low.
struct AdReading {
    std::uint8_t Status, High, Low;
};
AdReading ConvertA100(BoardSimulator& bus, std::uint8_t channel, std::uint8_t gain) {
    bus.Write(0x22B, 1);
    bus.Write(0x229, gain);
    bus.Write(0x22A, channel);
    bus.Write(0x22C, 1);
    const std::uint8_t status = bus.Read(0x225);
    const std::uint8_t high = bus.Read(0x225);
    return {status, high, bus.Read(0x224)};
}

TEST(BoardSimulatorAd, A100SequenceGivesStatusThenHighNibbleThenLowByte) {
    BoardSimulator bus;
    bus.AddBoard(0, A100, 0x220);
    bus.SetAdInput(0, 3, 2612);
    const AdReading first = ConvertA100(bus, 3, 5);
    EXPECT_EQ(first.Status, 0x00);
    EXPECT_EQ(first.High, 0x0A);
    EXPECT_EQ(first.Low, 0x34);
    EXPECT_EQ(bus.LastAdMode(0), 1);
    EXPECT_EQ(bus.LastAdGain(0), 5);
    EXPECT_EQ(bus.LastAdChannel(0), 3);
    EXPECT_EQ(bus.AdConversions(0), 1u);

    bus.SetAdHighUpperBits(0, 0x10);
    EXPECT_EQ(ConvertA100(bus, 3, 5).High, 0x1A) << "upper bits are noise the reader must mask";

    bus.SetNotReady(0, true);
    const AdReading busy = ConvertA100(bus, 3, 5);
    EXPECT_EQ(busy.Status, 0x10);
    EXPECT_EQ(busy.Low, 0x34) << "data registers stay valid while the status says not ready";

    bus.SetNotReady(0, false);
    EXPECT_EQ(ConvertA100(bus, 3, 5).Status, 0x00) << "each start begins with the status again";
}

TEST(BoardSimulatorAd, ConversionLatchesTheSelectedChannel) {
    BoardSimulator bus;
    bus.AddBoard(0, A100, 0x220);
    bus.SetAdInput(0, 1, 0x111);
    bus.SetAdInput(0, 2, 0xFFF);
    EXPECT_EQ(ConvertA100(bus, 2, 0).Low, 0xFF);
    bus.SetAdInput(0, 2, 0x123);
    EXPECT_EQ(bus.Read(0x224), 0xFF) << "an input change shows only after the next start";
    EXPECT_EQ(ConvertA100(bus, 1, 0).Low, 0x11);
    EXPECT_EQ(ConvertA100(bus, 200, 0).Low, 0x00) << "a channel the model lacks converts nothing";
    EXPECT_THROW(bus.SetAdInput(0, 1, 4096), std::out_of_range);
    EXPECT_THROW(bus.SetAdInput(0, 16, 1), std::out_of_range);
}

TEST(BoardSimulatorAd, A200HasNoModeRegisterAndThirtyTwoChannels) {
    BoardSimulator bus;
    bus.AddBoard(1, A200, 0x300);
    bus.SetAdInput(1, 31, 0x7A5);
    bus.Write(0x30B, 1);
    EXPECT_EQ(bus.LastAdMode(1), 0);
    bus.Write(0x309, 2);
    bus.Write(0x30A, 31);
    bus.Write(0x30C, 1);
    EXPECT_EQ(bus.Read(0x305), 0x00);
    EXPECT_EQ(bus.Read(0x305), 0x07);
    EXPECT_EQ(bus.Read(0x304), 0xA5);
}

TEST(BoardSimulatorAd, WavesStepOncePerConversionAndRepeat) {
    BoardSimulator bus;
    bus.AddBoard(0, A100, 0x220);
    bus.SetAdWave(0, 0, Waveform::Ramp, 0, 300, 4);
    for (const std::uint8_t expected : {0, 100, 200, 44 /* 300 */, 0}) {
        EXPECT_EQ(ConvertA100(bus, 0, 0).Low, expected);
    }
    bus.SetAdWave(0, 1, Waveform::Sine, 1000, 3000, 4);
    for (const std::uint16_t expected : {2000, 3000, 2000, 1000, 2000}) {
        const AdReading r = ConvertA100(bus, 1, 0);
        EXPECT_EQ((r.High & 0x0F) << 8 | r.Low, expected);
    }
    bus.SetAdInput(0, 1, 5);
    ConvertA100(bus, 1, 0);
    EXPECT_EQ(ConvertA100(bus, 1, 0).Low, 5) << "a fixed input replaces the wave";
    EXPECT_THROW(bus.SetAdWave(0, 0, Waveform::Ramp, 0, 1, 0), std::out_of_range);
}

TEST(BoardSimulatorDa, ByteOrdersOfB100AndA100) {
    BoardSimulator bus;
    bus.AddBoard(2, B100, 0x300);
    bus.AddBoard(0, A100, 0x220);
    bus.Write(0x305, 0xFF);
    bus.Write(0x304, 0x07);
    EXPECT_EQ(bus.DaValue(2, 2), 0x7FF);
    EXPECT_EQ(bus.DaValue(2, 1), 0);
    EXPECT_EQ(bus.DaValue(2, 3), 0);

    bus.SetAdInput(0, 0, 0x0AB);
    ConvertA100(bus, 0, 0);
    bus.Write(0x226, 0x23);
    bus.Write(0x227, 0x01);
    EXPECT_EQ(bus.DaValue(0, 1), 0x123);
    bus.Write(0x224, 0x55);
    bus.Write(0x225, 0xF3);
    EXPECT_EQ(bus.DaValue(0, 0), 0x355) << "bits above the 12-bit code are not wired";
    EXPECT_EQ(bus.Read(0x224), 0xAB) << "a DA write must not disturb the AD register at the same address";
    EXPECT_THROW(static_cast<void>(bus.DaValue(0, 2)), std::out_of_range);
}

TEST(BoardSimulatorCounter, ControlAndDataBytesLoadThenReadingsCountDown) {
    BoardSimulator bus;
    bus.AddBoard(3, C100, 0x300);
    bus.Write(0x307, 0xB0);
    bus.Write(0x306, 0xE8);
    bus.Write(0x306, 0x03);
    EXPECT_EQ(bus.CounterLoaded(3, 2), 1000);
    EXPECT_EQ(bus.CounterReading(3, 2), 1000);
    EXPECT_EQ(bus.CounterLoaded(3, 0), 0);

    bus.SetCounterReading(3, 2, 400);
    EXPECT_EQ(bus.Read(0x306), 0x90);
    EXPECT_EQ(bus.Read(0x306), 0x01);
    bus.AdvanceCounter(3, 2, 401);
    EXPECT_EQ(bus.CounterReading(3, 2), 0xFFFF) << "the down-counter wraps";

    bus.SetCounterReading(3, 0, 0x0102);
    bus.SetCounterAdvance(3, 0, 0x0101);
    EXPECT_EQ(bus.Read(0x304), 0x02);
    EXPECT_EQ(bus.Read(0x304), 0x01) << "both halves come from the same reading";
    EXPECT_EQ(bus.Read(0x304), 0x01);
    EXPECT_EQ(bus.Read(0x304), 0x00);
}

TEST(BoardSimulatorCounter, ControlByteRestartsAnInterruptedSequence) {
    BoardSimulator bus;
    bus.AddBoard(0, A100, 0x220);
    bus.Write(0x220, 0x99); // stray low byte
    bus.Write(0x223, 0x30);
    bus.Write(0x220, 0x34);
    bus.Write(0x220, 0x12);
    EXPECT_EQ(bus.CounterLoaded(0, 0), 0x1234);
    bus.Read(0x220); // half a reading
    bus.Write(0x223, 0x30);
    EXPECT_EQ(bus.Read(0x220), 0x34);
    bus.Write(0x223, 0x70); // counter 1: the A100 has only counter 0
    EXPECT_EQ(bus.Read(0x221), 0xFF);
}

TEST(BoardSimulatorDigital, DiAndDoPortsFollowEachModelsMap) {
    BoardSimulator bus;
    bus.AddBoard(3, C100, 0x300);
    bus.AddBoard(6, C300, 0x310);
    bus.AddBoard(4, C200, 0x320);
    bus.AddBoard(5, C210, 0x330);
    bus.AddBoard(0, A100, 0x220);

    // C100 and C300: one address, inputs when read, outputs latch when written.
    bus.SetDiByte(3, 1, 0x5A);
    bus.Write(0x301, 0x33);
    EXPECT_EQ(bus.DoLatch(3, 1), 0x33);
    EXPECT_EQ(bus.Read(0x301), 0x5A);
    bus.SetDiByte(6, 3, 0xC3);
    bus.Write(0x313, 0x11);
    EXPECT_EQ(bus.Read(0x313), 0xC3);
    EXPECT_EQ(bus.DoLatch(6, 3), 0x11);

    bus.Write(0x320, 0x04);
    EXPECT_EQ(bus.DoLatch(4, 0), 0x04);
    bus.SetDiByte(4, 0, 0x81);
    EXPECT_EQ(bus.Read(0x321), 0x81);
    EXPECT_EQ(bus.Read(0x322), 0xFF) << "the C200 has a single DI byte";
    EXPECT_EQ(bus.Read(0x320), 0xFF) << "a write-only DO register reads as the open bus";

    bus.SetDiByte(5, 1, 0x7E); // C210 DI channel 12 is in group 1 at base + 3
    EXPECT_EQ(bus.Read(0x333), 0x7E);

    bus.Write(0x22E, 0x14); // A100 DO group 1
    EXPECT_EQ(bus.DoLatch(0, 1), 0x14);
    bus.SetDiByte(0, 1, 0x20);
    EXPECT_EQ(bus.Read(0x227), 0x20);

    EXPECT_THROW(bus.SetDiByte(4, 1, 0), std::out_of_range);
    EXPECT_THROW(static_cast<void>(bus.DoLatch(9, 0)), std::invalid_argument);
}

TEST(BoardSimulatorDigital, ToggledBitsFlipAfterEveryNthRead) {
    BoardSimulator bus;
    bus.AddBoard(0, C300, 0x300);
    bus.SetDiByte(0, 0, 0x01);
    bus.ToggleDi(0, 0, 0x81, 2);
    for (const std::uint8_t expected : {0x01, 0x01, 0x80, 0x80, 0x01}) EXPECT_EQ(bus.Read(0x300), expected);
    bus.ToggleDi(0, 0, 0x81, 0);
    EXPECT_EQ(bus.Read(0x300), 0x01);
    EXPECT_EQ(bus.Read(0x300), 0x01);
}

TEST(BoardSimulatorBus, UnmappedPortsAndSixteenBitWrap) {
    BoardSimulator bus;
    EXPECT_EQ(bus.Read(0x220), 0xFF) << "no boards: an open bus";
    bus.AddBoard(0, A100, 0xFFFC);
    bus.SetDiByte(0, 0, 0x42);
    EXPECT_EQ(bus.Read(0x0002), 0x42) << "base + 6 wraps around the 16-bit port space";
    bus.Write(0x0009, 0x77); // A100 DO group 0 at base + 13
    EXPECT_EQ(bus.DoLatch(0, 0), 0x77);
    bus.Write(0x1234, 0x01);
    EXPECT_EQ(bus.Read(0x1234), 0xFF);

    EXPECT_THROW(bus.AddBoard(32, A100, 0x220), std::invalid_argument);
    EXPECT_THROW(bus.AddBoard(0, 7, 0x220), std::invalid_argument);
}

TEST(BoardSimulatorBus, FirstStationTakesAnAddressTwoBoardsDecode) {
    BoardSimulator bus;
    bus.AddBoard(5, C300, 0x300);
    bus.AddBoard(2, C300, 0x300);
    bus.SetDiByte(2, 0, 0x02);
    bus.SetDiByte(5, 0, 0x05);
    EXPECT_EQ(bus.Read(0x300), 0x02);
    bus.AddBoard(2, C300, 0x340); // replaces station 2
    EXPECT_EQ(bus.Read(0x300), 0x05);
    EXPECT_EQ(bus.DiByte(2, 0), 0x00);
}

TEST(BoardSimulatorTrace, RecordsAccessesAndDelaysAsLines) {
    BoardSimulator bus;
    bus.AddBoard(0, A100, 0x220);
    bus.Delay(3);
    EXPECT_TRUE(bus.Trace().empty()) << "tracing is off until asked for";
    bus.EnableTrace(true);
    bus.Write(0x22B, 0x01);
    bus.Delay(1);
    bus.Read(0x225);
    bus.Read(0x400);
    EXPECT_EQ(bus.DelayUnits(), 4u);
    const std::vector<TraceEntry> expected = {{AccessKind::Write, 0x22B, 0x01},
                                              {AccessKind::Delay, 0, 1},
                                              {AccessKind::Read, 0x225, 0x00},
                                              {AccessKind::Read, 0x400, 0xFF}};
    EXPECT_EQ(bus.Trace(), expected);
    const std::string text = "W 0x22B 0x01\nD 1\nR 0x225 0x00\nR 0x400 0xFF\n";
    EXPECT_EQ(bus.TraceText(), text);

    const std::string saved = "sim_trace_saved.txt";
    ASSERT_TRUE(bus.SaveTrace(saved));
    std::stringstream back;
    back << std::ifstream(saved).rdbuf();
    EXPECT_EQ(back.str(), text);
    std::remove(saved.c_str());
    bus.ClearTrace();
    EXPECT_TRUE(bus.Trace().empty());
}

TEST(BoardSimulatorTrace, TraceFileGetsEachAccessAppended) {
    const std::string path = "sim_trace_streamed.txt";
    std::ofstream(path) << "earlier\n";
    {
        BoardSimulator bus;
        bus.SetTraceFile(path);
        bus.Write(0x300, 0x0F);
        std::stringstream now;
        now << std::ifstream(path).rdbuf();
        EXPECT_EQ(now.str(), "earlier\nW 0x300 0x0F\n") << "flushed at once";
        bus.Delay(2);
        bus.SetTraceFile("");
        bus.Read(0x300);
    }
    std::stringstream back;
    back << std::ifstream(path).rdbuf();
    EXPECT_EQ(back.str(), "earlier\nW 0x300 0x0F\nD 2\n");
    std::remove(path.c_str());
}

// Each model's registers at the ports its port map names (written out by hand, not taken from the
// driver's model table): a register access at that port reaches that register of the simulated board.
class SimulatorRegisterMap : public ::testing::TestWithParam<korax::test::RegisterFacts> {};

TEST_P(SimulatorRegisterMap, EveryRegisterAnswersAtItsPort) {
    const korax::test::RegisterFacts& m = GetParam();
    constexpr std::uint16_t Base = 0x300;
    const auto port = [&](int offset, int index = 0) {
        return static_cast<std::uint16_t>(Base + offset + index);
    };
    BoardSimulator bus;
    bus.AddBoard(1, m.Model, Base);
    for (int g = 0; g < m.DiGroups; ++g) {
        bus.SetDiByte(1, g, static_cast<std::uint8_t>(0x40 + g));
        EXPECT_EQ(bus.Read(port(m.DiByte, g)), 0x40 + g) << "DI group " << g;
    }
    for (int g = 0; g < m.DoGroups; ++g) {
        bus.Write(port(m.DoByte, g), static_cast<std::uint8_t>(0x20 + g));
        EXPECT_EQ(bus.DoLatch(1, g), 0x20 + g) << "DO group " << g;
    }
    if (m.AdChannels > 0) {
        const int channel = m.AdChannels - 1;
        bus.SetAdInput(1, channel, 0x9AB);
        if (m.AdMode != korax::test::None) bus.Write(port(m.AdMode), 1);
        bus.Write(port(m.AdGain), 3);
        bus.Write(port(m.AdChannel), static_cast<std::uint8_t>(channel));
        bus.Write(port(m.AdStart), 1);
        EXPECT_EQ(bus.Read(port(m.AdStatus)), 0x00) << "ready at once";
        EXPECT_EQ(bus.Read(port(m.AdStatus)), 0x09);
        EXPECT_EQ(bus.Read(port(m.AdLow)), 0xAB);
        EXPECT_EQ(bus.LastAdGain(1), 3);
        EXPECT_EQ(bus.LastAdMode(1), m.AdMode != korax::test::None ? 1 : 0);
    }
    for (int c = 0; c < m.DaChannels; ++c) {
        bus.Write(port(m.DaLow, 2 * c), 0xC5);
        bus.Write(port(m.DaHigh, 2 * c), static_cast<std::uint8_t>(c));
        EXPECT_EQ(bus.DaValue(1, c), c << 8 | 0xC5) << "DA channel " << c;
    }
    for (int c = 0; c < m.Counters; ++c) {
        bus.Write(port(m.CounterControl), korax::test::CounterControl[static_cast<std::size_t>(c)]);
        bus.Write(port(m.CounterData, c), 0x34);
        bus.Write(port(m.CounterData, c), static_cast<std::uint8_t>(0x10 + c));
        EXPECT_EQ(bus.CounterLoaded(1, c), (0x10 + c) << 8 | 0x34) << "counter " << c;
        bus.SetCounterReading(1, c, 0x0102);
        EXPECT_EQ(bus.Read(port(m.CounterData, c)), 0x02);
        EXPECT_EQ(bus.Read(port(m.CounterData, c)), 0x01);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryModel, SimulatorRegisterMap, ::testing::ValuesIn(korax::test::Registers),
                         [](const auto& info) { return std::string(info.param.Name).substr(4); });

} // namespace
