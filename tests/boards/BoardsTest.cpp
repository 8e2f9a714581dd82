// The board classes against a recording bus: which ports are touched, with which values, in which order
// and with which waits, and how tags become requests and values come back to them.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "boards/DLLRealize.h"
#include "boards/ModelTables.h"
#include "config/DevicePDB.h"
#include "support/FakeClock.h"
#include "support/RecordingBus.h"
#include "support/TagDefinitions.h"

using korax::boards::TDLLObject;
using korax::framework::PollRequest;
using korax::framework::Value;
using korax::test::Definitions;
using korax::test::FakeClock;
using korax::test::RecordingBus;
using Access = RecordingBus::Access;

namespace {

constexpr std::uint8_t A100 = 0, A200 = 1, B100 = 2, C100 = 3, C200 = 4, C210 = 5, C300 = 6;

class Boards : public ::testing::Test {
protected:
    Boards() {
        korax::config::FillDefaultPDB(block);
        block.Boards[0].DevType = korax::config::NoBoard;
    }
    void Board(int slot, std::uint8_t model, std::uint32_t base) {
        block.Boards[slot].DevType = model;
        block.Boards[slot].BaseAddress = base;
    }
    // Registers the tags; the first request is sent at once, its accesses are the first in the log.
    bool Start(Definitions& tags) { return object.Initialise(&block, tags.List()); }
    // Completes the current request and sends the next one (a write queued before goes first).
    void Step() {
        bus.log.clear();
        object.ScanStep();
    }

    FakeClock clock;
    korax::config::DevicePDB block{};
    RecordingBus bus;
    TDLLObject object{clock, true, &bus};
};

TEST_F(Boards, AnalogInputConversionSequence) {
    Board(0, A100, 0x220);
    block.Boards[0].ADGain[3] = 5;
    bus.Queue(0x225, {0x00, 0x1A}); // ready, then a high byte whose upper nibble must not count
    bus.Queue(0x224, {0x34});
    Definitions tags;
    tags.Add(1, "AD3", 100);
    ASSERT_TRUE(Start(tags));
    const std::vector<Access> expected = {
        {'W', 0x22B, 1},    {'D', 0, 1},        {'W', 0x229, 5},    {'D', 0, 1},
        {'W', 0x22A, 3},    {'D', 0, 5},        {'W', 0x22C, 1},    {'D', 0, 10},
        {'R', 0x225, 0x00}, {'R', 0x225, 0x1A}, {'R', 0x224, 0x34},
    };
    EXPECT_EQ(bus.log, expected);
    EXPECT_EQ(object.FindTag(1)->Value.ToDouble(), 0xA34);
}

TEST_F(Boards, A200HasNoModeByteAndTakesGainCodesModuloFour) {
    Board(2, A200, 0x300);
    block.Boards[2].ADGain[7] = 6; // "+/-1.25V"
    bus.Queue(0x305, {0x10});      // not ready
    Definitions tags;
    tags.Add(1, "AD2:7", 100);
    ASSERT_TRUE(Start(tags));
    ASSERT_FALSE(bus.log.empty());
    EXPECT_EQ(bus.log[0], (Access{'W', 0x309, 2})) << "first write is the gain register";
    EXPECT_EQ(bus.log.back(), (Access{'R', 0x305, 0x10})) << "not ready: no data bytes are read";
    EXPECT_EQ(object.FindTag(1)->Value.ToDouble(), 0.0) << "the tag keeps its value";
    EXPECT_TRUE(object.ReplyReady()) << "a conversion that is not ready still completes the request";
}

TEST_F(Boards, AnalogOutputByteOrders) {
    Board(0, A100, 0x220);
    Board(1, B100, 0x300);
    Definitions tags;
    tags.Add(1, "DA0:1", 100).Add(2, "DA1:2", 100);
    ASSERT_TRUE(Start(tags));
    ASSERT_TRUE(object.WriteTag(1, Value::Real(0x123)));
    Step();
    EXPECT_EQ(bus.log, (std::vector<Access>{{'W', 0x226, 0x23}, {'W', 0x227, 0x01}}));
    ASSERT_TRUE(object.WriteTag(2, Value::Real(0x7FF + 0x1000))); // bits above bit 11 are dropped
    Step();
    EXPECT_EQ(bus.log, (std::vector<Access>{{'W', 0x305, 0xFF}, {'W', 0x304, 0x07}}));
}

TEST_F(Boards, DigitalPortsByGroup) {
    Board(0, C210, 0x200);
    Board(1, C200, 0x240);
    bus.Queue(0x203, {0x20});
    Definitions tags;
    tags.Add(1, "DI0:13", 100).Typed(1).Add(2, "DO1:5", 100).Typed(1).Add(3, "DI0:12", 100).Typed(1);
    ASSERT_TRUE(Start(tags));
    EXPECT_EQ(bus.log, (std::vector<Access>{{'R', 0x203, 0x20}}));
    EXPECT_TRUE(object.FindTag(1)->Value.ToBool()) << "channel 13 is bit 5 of the second byte";
    EXPECT_FALSE(object.FindTag(3)->Value.ToBool());
    ASSERT_TRUE(object.WriteTag(2, Value::Boolean(true)));
    Step();
    EXPECT_EQ(bus.log, (std::vector<Access>{{'W', 0x240, 0x20}, {'W', 0x240, 0x20}})) << "written twice";
}

TEST_F(Boards, DigitalInputsShareOneRequestPerByte) {
    Board(0, A100, 0x220);
    Definitions tags;
    tags.Add(1, "DI3", 100)
        .Typed(1)
        .Add(2, "DI5", 100)
        .Typed(1)
        .Add(3, "DI13", 100)
        .Typed(1)
        .Add(4, "DI13", 100);
    ASSERT_TRUE(Start(tags));
    ASSERT_EQ(object.PollList().size(), 2u);
    const auto& first = *object.PollList()[0];
    const auto& second = *object.PollList()[1];
    EXPECT_EQ(first.TagPositions, (std::vector<std::int32_t>{0, 1}));
    // Reading a polled tag on demand joins its request once, however often the host asks.
    for (int i = 0; i < 3; ++i) object.ReadTag(1);
    EXPECT_EQ(first.TagPositions, (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(first.ChannelLow, 0);
    EXPECT_EQ(first.ChannelHigh, 7);
    EXPECT_EQ(second.ChannelLow, 8);
    EXPECT_EQ(second.ChannelHigh, 15);
    // The byte of channels 8..15, opened by the Boolean tag at 13: bit 5 of 0x20 is set.
    bus.Queue(0x227, {0x20});
    while (object.CurrentRequest() != &second) Step();
    Step(); // the current request was sent in the step that selected it; this one completes it
    EXPECT_TRUE(object.FindTag(3)->Value.ToBool());
    EXPECT_EQ(object.FindTag(4)->Value.ToDouble(), 0x20) << "a real tag on the opening channel gets the byte";
}

TEST_F(Boards, RealDigitalInputOnlyOnTheOpeningChannel) {
    Board(0, A100, 0x220);
    bus.Queue(0x226, {0x81});
    Definitions tags;
    tags.Add(1, "DI1", 100).Add(2, "DI2", 100).Add(3, "DI2", 100).Typed(2).Add(4, "DI0", 100).Typed(2);
    ASSERT_TRUE(Start(tags));
    EXPECT_EQ(object.FindTag(1)->Value.ToDouble(), 0x81);
    EXPECT_EQ(object.FindTag(2)->Value.ToDouble(), 0.0);
    EXPECT_EQ(object.FindTag(3)->Value.ToText(), "关") << "a text bit tag shows the state of its bit";
    EXPECT_EQ(object.FindTag(4)->Value.ToText(), "开");
}

TEST_F(Boards, OutputBytesComposeFromSiblingTags) {
    Board(0, A100, 0x220);
    Definitions tags;
    tags.Add(1, "DO2", 100).Typed(1).Add(2, "DO4", 100).Typed(1).Add(3, "DO4", 100).Typed(1);
    ASSERT_TRUE(Start(tags));
    ASSERT_TRUE(object.WriteTag(1, Value::Boolean(true)));
    Step();
    Step();
    EXPECT_EQ(bus.log.front(), (Access{'W', 0x22D, 0x04}));
    ASSERT_TRUE(object.WriteTag(2, Value::Boolean(true)));
    EXPECT_TRUE(object.FindTag(3)->Value.ToBool()) << "a written value shows in every tag of its channel";
    bus.log.clear();
    for (int i = 0; i < 3 && bus.log.empty(); ++i) object.ScanStep();
    ASSERT_FALSE(bus.log.empty());
    EXPECT_EQ(bus.log.front(), (Access{'W', 0x22D, 0x14}));
}

// Points of one output byte written one by one, with every data type a DO tag takes: a point written
// false clears only its own bit; a real writes the whole byte; a text other than "0" or "1" changes nothing.
TEST_F(Boards, OutputPointsOfOneByteKeepTheirNeighbours) {
    Board(0, C300, 0x300);
    Definitions tags;
    tags.Add(1, "DO0", 100)
        .Typed(1)
        .Add(2, "DO1", 100)
        .Typed(2)
        .Add(3, "DO2", 100)
        .Typed(1)
        .Add(4, "DO9", 100);
    ASSERT_TRUE(Start(tags));
    const struct {
        std::uint32_t tag;
        Value value;
        std::uint32_t port, byte;
    } writes[] = {
        {1, Value::Boolean(true), 0x300, 0x01}, {3, Value::Boolean(true), 0x300, 0x05},
        {2, Value::Text("1"), 0x300, 0x07},     {1, Value::Boolean(false), 0x300, 0x06},
        {2, Value::Text("x"), 0x300, 0x06},     {2, Value::Text("0"), 0x300, 0x04},
        {4, Value::Real(0x1A5), 0x301, 0xA5},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.value.ToText());
        ASSERT_TRUE(object.WriteTag(w.tag, w.value));
        Step();
        EXPECT_EQ(bus.log, (std::vector<Access>{{'W', w.port, w.byte}, {'W', w.port, w.byte}}));
    }
}

// Analog and counter values reach tags of every data type: a real gets the number, a Boolean bit 0 of it
// (one channel per access), a text the number written out.
TEST_F(Boards, AnalogAndCounterValuesByDataType) {
    Board(0, A100, 0x220);
    Board(3, C100, 0x300);
    bus.Queue(0x225, {0x00, 0x09});
    bus.Queue(0x224, {0xAB});
    Definitions tags;
    tags.Add(1, "AD0:0", 100).Add(2, "AD0:0", 100).Typed(1).Add(3, "AD0:0", 100).Typed(2);
    ASSERT_TRUE(Start(tags));
    ASSERT_EQ(object.PollList().size(), 1u) << "tags of one channel share its request";
    EXPECT_EQ(object.FindTag(1)->Value.ToDouble(), 0x9AB);
    EXPECT_TRUE(object.FindTag(2)->Value.ToBool());
    EXPECT_EQ(object.FindTag(3)->Value.ToText(), "2475");

    korax::boards::CountTarget(3, 1) = 1000;
    bus.Queue(0x305, {400 % 256, 400 / 256});
    Definitions counters;
    counters.Add(1, "COUNT3:1", 100).Typed(1).Add(2, "COUNT3:1", 100).Typed(2);
    ASSERT_TRUE(Start(counters));
    EXPECT_FALSE(object.FindTag(1)->Value.ToBool()) << "600 is even";
    EXPECT_EQ(object.FindTag(2)->Value.ToText(), "600");
    korax::boards::CountTarget(3, 1) = 0;
}

// A tag joining a request lowers its interval to the tag's when that is shorter, and never raises it.
TEST_F(Boards, AJoiningTagLowersTheRequestsInterval) {
    Board(0, A100, 0x220);
    Definitions tags;
    tags.Add(1, "DI3", 500).Add(2, "DI5", 100).Add(3, "DI6", 300).Add(4, "DI9", 100).Add(5, "DI10", 400);
    ASSERT_TRUE(Start(tags));
    ASSERT_EQ(object.PollList().size(), 2u);
    EXPECT_EQ(object.PollList()[0]->Interval, 100u);
    EXPECT_EQ(object.PollList()[1]->Interval, 100u);
}

TEST_F(Boards, CounterTargetsAndReadings) {
    Board(3, C100, 0x300);
    Definitions tags;
    tags.Add(1, "CountTarget3:2", 100).Add(2, "RunCount3:2", 100).Typed(1).Add(3, "COUNT3:2", 100);
    ASSERT_TRUE(Start(tags));
    korax::boards::CountTarget(3, 2) = 77;
    ASSERT_TRUE(object.WriteTag(1, Value::Real(65536)));
    Step();
    EXPECT_TRUE(bus.log.empty()) << "a target is kept, not written to the board";
    EXPECT_EQ(korax::boards::CountTarget(3, 2).load(), 0) << "only the low 16 bits are kept";
    ASSERT_TRUE(object.WriteTag(1, Value::Real(1000)));
    Step();
    ASSERT_TRUE(object.WriteTag(2, Value::Boolean(false))); // the value written to RunCount is not used
    Step();
    EXPECT_EQ(bus.log,
              (std::vector<Access>{
                  {'W', 0x307, 0xB0}, {'D', 0, 1}, {'W', 0x306, 0xE8}, {'D', 0, 1}, {'W', 0x306, 0x03}}));
    bus.Queue(0x306, {400 % 256, 400 / 256});
    Step(); // the counter is the only polled request: read now
    EXPECT_EQ(bus.log, (std::vector<Access>{{'R', 0x306, 400 % 256}, {'D', 0, 1}, {'R', 0x306, 400 / 256}}));
    EXPECT_EQ(object.FindTag(3)->Value.ToDouble(), 600);
    bus.Queue(0x306, {1200 % 256, 1200 / 256});
    Step();
    EXPECT_EQ(object.FindTag(3)->Value.ToDouble(), 0) << "a reading above the target counts as 0";
    korax::boards::CountTarget(3, 2) = 0;
}

// Remembers which slots were probed.
class ProbingObject : public TDLLObject {
public:
    using TDLLObject::TDLLObject;
    bool ProbeBoard(std::int32_t slot) override {
        probed.push_back(slot);
        return TDLLObject::ProbeBoard(slot);
    }
    std::vector<std::int32_t> probed;
};

TEST_F(Boards, ConfiguredSlotsAreProbedInOrderAndOthersIgnored) {
    Board(3, C200, 0x200);
    Board(7, C300, 0x210);
    block.Boards[9].DevType = 9; // not a model: an unused slot
    ProbingObject probing(clock, true, &bus);
    ASSERT_TRUE(probing.LoadPDB(&block));
    // The port-access layer and the model class each check the boards once.
    EXPECT_EQ(probing.probed, (std::vector<std::int32_t>{3, 7, 3, 7}));
    EXPECT_TRUE(probing.BoardPresent(3));
    EXPECT_TRUE(probing.BoardPresent(7));
    EXPECT_FALSE(probing.BoardPresent(9));
    korax::config::DevicePDB empty{};
    korax::config::FillDefaultPDB(empty);
    empty.Boards[0].DevType = korax::config::NoBoard;
    EXPECT_FALSE(probing.LoadPDB(&empty)) << "no configured board: initialisation fails";
}

TEST_F(Boards, TagsOfAbsentBoardsGetNoRequests) {
    Board(0, A100, 0x220);
    Definitions tags;
    tags.Add(1, "AD5:0", 100);
    // Station 5 has no board: the tag is rejected by its address check and nothing is polled.
    ASSERT_TRUE(Start(tags));
    EXPECT_TRUE(object.PollList().empty());
    EXPECT_TRUE(bus.log.empty());
}

} // namespace

namespace {

// Answers reads from one random sequence, so two objects that read alike get the same replies. Few
// distinct bytes make equal replies in a row common; 0x10 sometimes leaves a conversion not ready.
class ScriptedBus : public korax::boards::PortBus {
public:
    explicit ScriptedBus(std::uint32_t seed) : random(seed) {}
    void Write(std::uint16_t, std::uint8_t) override {}
    std::uint8_t Read(std::uint16_t) override {
        static constexpr std::uint8_t Bytes[] = {0x00, 0x00, 0x01, 0x20, 0x10, 0xFF};
        return Bytes[std::uniform_int_distribution<int>(0, 5)(random)];
    }
    void Delay(std::uint32_t) override {}
    std::mt19937 random;
};

// Spreads every reply over every tag of its request, one by one, as the driver always has; and lets
// the test mark queued one-off requests to force a report of their tags when they complete.
class Driver : public TDLLObject {
public:
    Driver(korax::platform::Clock& clock, korax::boards::PortBus& bus, bool plain)
        : TDLLObject(clock, true, &bus), plain(plain) {}
    void DistributeValue(std::uint32_t value, PollRequest& request, std::int32_t channel) override {
        if (!plain) return TDLLObject::DistributeValue(value, request, channel);
        const auto groupSize = [](std::int32_t type) { return type == 5 || type == 6 ? 8 : 1; };
        for (const std::int32_t position : request.TagPositions) {
            korax::framework::TagItem& tag = *TagList()[position];
            const std::int32_t size = groupSize(tag.TypeIndex);
            const bool inGroup = tag.Channel / size == channel / size;
            const bool bit = ((value >> (tag.Channel % size)) & 1u) != 0;
            if (tag.DataType == 0 && tag.Channel == channel) SetTagValue(tag, Value::Integer(value));
            if (tag.DataType == 1 && inGroup) SetTagValue(tag, Value::Boolean(bit));
            if (tag.DataType == 2 && size > 1 && inGroup) SetTagValue(tag, Value::Text(bit ? "开" : "关"));
            if (tag.DataType == 2 && size == 1 && tag.Channel == channel)
                SetTagValue(tag, Value::Text(std::to_string(value)));
        }
    }
    void ForceQueued() {
        for (PollRequest* request = PendingQueue_.get(); request != nullptr; request = request->Next.get())
            request->Flags |= PollRequest::ForceReport;
    }
    const bool plain;
};

std::vector<std::string> Reports(TDLLObject& object) {
    struct Sink : korax::framework::TBaseDLLObject::ReportSink {
        void Report(const korax::framework::TagItem& tag) override {
            lines.push_back(std::to_string(tag.TagId) + "=" + tag.Value.ToText());
        }
        std::vector<std::string> lines;
    } sink;
    object.CollectReports(sink);
    return sink.lines;
}

std::vector<std::string> Values(const TDLLObject& object) {
    std::vector<std::string> values;
    for (const auto& tag : object.TagList())
        values.push_back(std::to_string(static_cast<int>(tag->Value.GetKind())) + tag->Value.ToText());
    return values;
}

} // namespace

// However the tags lie and whatever the host writes, reads and forces, and whatever else assigns a
// value, every tag holds and reports what spreading every reply over every tag of its request would
// give, call by call.
TEST_F(Boards, HeldRepliesChangeNothingThatSpreadingEveryReplyWould) {
    Board(0, A100, 0x220);
    Board(1, C100, 0x300);
    struct Kind {
        const char* Type;
        int Station, Channels;
        bool Writable;
    };
    const Kind kinds[] = {{"AD", 0, 16, false}, {"DI", 0, 16, false},   {"DO", 0, 16, true},
                          {"DA", 0, 2, true},   {"COUNT", 1, 3, false}, {"DI", 1, 32, false}};
    std::mt19937 random(20261208);
    const auto pick = [&](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    for (int round = 0; round < 30; ++round) {
        Definitions tags;
        std::vector<std::pair<std::uint32_t, std::uint8_t>> writable; // identifier, data type
        const int count = 1 + pick(60);
        for (int id = 0; id < count; ++id) {
            const Kind& kind = kinds[pick(6)];
            const auto dataType = static_cast<std::uint8_t>(pick(3));
            tags.Add(id,
                     std::string(kind.Type) + std::to_string(kind.Station) + ":" +
                         std::to_string(pick(kind.Channels)),
                     static_cast<std::uint32_t>(pick(3) * 20))
                .Typed(dataType);
            if (kind.Writable && dataType != 2) writable.push_back({id, dataType});
        }
        FakeClock otherClock = clock;
        ScriptedBus fastBus(round), plainBus(round);
        Driver fast(clock, fastBus, false), plain(otherClock, plainBus, true);
        ASSERT_TRUE(fast.Initialise(&block, tags.List()));
        ASSERT_TRUE(plain.Initialise(&block, tags.List()));
        // Requests group readable tags by board, type and port byte, in the order the groups first occur.
        std::vector<std::vector<std::int32_t>> groups;
        std::map<std::tuple<int, int, int>, std::size_t> groupOf;
        for (const auto& tag : fast.TagList()) {
            const int size = tag->TypeIndex == 5 || tag->TypeIndex == 6 ? 8 : 1;
            const auto key = std::make_tuple(tag->Station, tag->TypeIndex, tag->Channel / size);
            const auto [at, added] = groupOf.emplace(key, groups.size());
            if (added) groups.emplace_back();
            groups[at->second].push_back(tag->ListIndex);
        }
        std::vector<std::vector<std::int32_t>> made;
        for (const auto& request : fast.PollList()) made.push_back(request->TagPositions);
        ASSERT_EQ(made, groups);
        for (int call = 0; call < 300; ++call) {
            const int action = pick(10);
            if (action == 0 && !writable.empty()) {
                const auto [id, dataType] = writable[pick(static_cast<int>(writable.size()))];
                const Value value = dataType == 0 ? Value::Real(pick(3)) : Value::Boolean(pick(2) == 1);
                ASSERT_EQ(fast.WriteTag(id, value), plain.WriteTag(id, value));
            } else if (action == 1) {
                const auto id = static_cast<std::uint32_t>(pick(count));
                ASSERT_EQ(fast.ReadTag(id), plain.ReadTag(id));
            } else if (action == 2) {
                fast.ForceQueued();
                plain.ForceQueued();
            } else if (action == 3) {
                // A value from anywhere else, such as a board class that reads some tags its own way.
                const auto id = static_cast<std::uint32_t>(pick(count));
                const Value value = Value::Integer(pick(2));
                fast.SetTagValue(*fast.FindTag(id), value);
                plain.SetTagValue(*plain.FindTag(id), value);
            }
            const auto step = static_cast<std::uint32_t>(pick(30));
            clock.Advance(step);
            otherClock.Advance(step);
            fast.ScanStep();
            plain.ScanStep();
            ASSERT_EQ(Reports(fast), Reports(plain)) << round << "/" << call;
            ASSERT_EQ(Values(fast), Values(plain)) << round << "/" << call;
        }
    }
}
