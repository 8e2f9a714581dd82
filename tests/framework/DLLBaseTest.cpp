#include "framework/DLLBase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "boards/DLLRealize.h"
#include "config/DevicePDB.h"
#include "support/FakeClock.h"
#include "support/TagDefinitions.h"

using namespace korax::framework;
using korax::config::DevicePDB;
using korax::test::Definitions;
using korax::test::FakeClock;

namespace {

std::unique_ptr<DevicePDB> BlockWithBoards(std::initializer_list<int> slots) {
    auto block = std::make_unique<DevicePDB>();
    korax::config::FillDefaultPDB(*block);
    for (auto& entry : block->Boards) entry.DevType = korax::config::NoBoard;
    for (const int slot : slots) block->Boards[slot].DevType = 1;
    return block;
}

// Makes one request per tag, as a board class would, so the scan plan has something to weigh.
class PollingObject : public TBaseDLLObject {
public:
    using TBaseDLLObject::TBaseDLLObject;

    RequestPtr MakeRequest(TagItem& tag, PollListType&, bool) override {
        auto request = std::make_unique<PollRequest>();
        request->Interval = tag.ScanInterval;
        request->TypeName = tag.TagName;
        return request;
    }
    void SendRequest(PollRequest& request) override {
        sent.push_back(&request);
        TBaseDLLObject::SendRequest(request);
    }
    void CloseDriver() override {
        ++closes;
        TBaseDLLObject::CloseDriver();
    }
    // Rejects every tag it is asked to validate, the way a bad address is rejected.
    void ValidateTag(TagPtr& item) override {
        if (!rejectAll) return;
        SetDevMsg("bad " + item->TagAddress);
        item.reset();
    }

    std::vector<const PollRequest*> sent;
    int closes = 0;
    bool rejectAll = false;
};

class DLLBase : public ::testing::Test {
protected:
    FakeClock clock;
    std::unique_ptr<DevicePDB> block = BlockWithBoards({0});
};

std::vector<std::int32_t> Weights(const TBaseDLLObject& obj) {
    std::vector<std::int32_t> weights;
    for (const RequestPtr& request : obj.PollList()) weights.push_back(request->Weight);
    return weights;
}

} // namespace

TEST_F(DLLBase, ConstructionStartsIdleWithItsDocumentedValues) {
    TBaseDLLObject base(clock, false);
    EXPECT_FALSE(base.FirstInstance());
    EXPECT_EQ(base.ScanTime(), 500);
    EXPECT_TRUE(base.EnLog());
    EXPECT_TRUE(base.CommLinkState());
    EXPECT_TRUE(base.EnCommLinkState());
    EXPECT_FALSE(base.Active());
    EXPECT_FALSE(base.Closed());
    EXPECT_FALSE(base.PDBLoaded());
    EXPECT_EQ(base.TagCount(), 0);
    EXPECT_EQ(base.AlarmEvent(), nullptr);
    EXPECT_EQ(base.CurrentRequest(), nullptr);

    korax::boards::TDLLObject board(clock, true);
    EXPECT_TRUE(board.FirstInstance());
    EXPECT_FALSE(board.EnLog());
    EXPECT_EQ(board.ScanTime(), 500);
    EXPECT_TRUE(board.CommLinkState());
    EXPECT_FALSE(board.Active());
}

TEST_F(DLLBase, LoadPDBTakesTheLowestBoardAsDefaultStation) {
    TBaseDLLObject obj(clock, true);
    Definitions defs;
    defs.Add(1);
    EXPECT_FALSE(obj.Initialise(nullptr, defs.List()));
    EXPECT_FALSE(obj.PDBLoaded());
    EXPECT_FALSE(obj.Active());
    EXPECT_EQ(obj.TagCount(), 0);

    auto two = BlockWithBoards({7, 3});
    two->Boards[1].DevType = 9; // not a model code: an unused slot, however low its number
    EXPECT_TRUE(obj.LoadPDB(two.get()));
    EXPECT_TRUE(obj.PDBLoaded());
    EXPECT_EQ(obj.DefaultStation(), 3);
    // The object works on its own copy: later changes to the host's block do not reach it.
    two->Boards[7].DevType = 5;
    EXPECT_EQ(obj.PDB().Boards[7].DevType, 1);

    auto none = BlockWithBoards({});
    EXPECT_TRUE(obj.LoadPDB(none.get()));
    EXPECT_EQ(obj.DefaultStation(), 31);
}

TEST_F(DLLBase, TagIdentifiersIndexTheirTags) {
    TBaseDLLObject obj(clock, true);
    Definitions dense;
    for (std::uint32_t id = 0; id < 10; ++id) dense.Add(id);
    ASSERT_TRUE(obj.Initialise(block.get(), dense.List()));
    EXPECT_EQ(obj.TagCount(), 10);
    for (std::uint32_t id = 0; id < 10; ++id) {
        const TagItem* tag = obj.FindTag(id);
        ASSERT_NE(tag, nullptr) << id;
        EXPECT_EQ(tag->TagId, id);
        EXPECT_EQ(tag->ListIndex, static_cast<std::int32_t>(id));
    }
    EXPECT_EQ(obj.FindTag(10), nullptr);

    Definitions sparse;
    sparse.Add(5, "AD0", 100, "FIVE").Add(1000, "AD0", 100, "THOUSAND");
    ASSERT_TRUE(obj.Initialise(block.get(), sparse.List()));
    EXPECT_EQ(obj.TagCount(), 2);
    EXPECT_GE(obj.TagIndex().size(), 1001u);
    ASSERT_NE(obj.FindTag(5), nullptr);
    EXPECT_EQ(obj.FindTag(5)->TagName, "FIVE");
    ASSERT_NE(obj.FindTag(1000), nullptr);
    EXPECT_EQ(obj.FindTag(1000)->TagName, "THOUSAND");
    // Identifiers nobody registered find nothing, not the tag at position 0.
    for (const std::uint32_t unused : {0u, 4u, 6u, 500u, 999u, 1001u}) {
        EXPECT_EQ(obj.FindTag(unused), nullptr) << unused;
        EXPECT_EQ(obj.TagPosition(unused), TBaseDLLObject::NoTag) << unused;
    }
}

TEST_F(DLLBase, DuplicateIdentifiersKeepBothAndIndexTheLater) {
    TBaseDLLObject obj(clock, true);
    Definitions defs;
    defs.Add(7, "AD0", 100, "FIRST").Add(0, "AD1", 100, "ZERO").Add(7, "AD2", 100, "SECOND");
    ASSERT_TRUE(obj.Initialise(block.get(), defs.List()));
    EXPECT_EQ(obj.TagCount(), 3);
    ASSERT_EQ(obj.TagList().size(), 3u);
    EXPECT_EQ(obj.TagList()[0]->TagName, "FIRST");
    ASSERT_NE(obj.FindTag(7), nullptr);
    EXPECT_EQ(obj.FindTag(7)->TagName, "SECOND");
    EXPECT_EQ(obj.TagPosition(7), 2);
    ASSERT_NE(obj.FindTag(0), nullptr);
    EXPECT_EQ(obj.FindTag(0)->TagName, "ZERO");
}

TEST_F(DLLBase, IdentifiersAboveTheSignedRangeAndNilDefinitionsAreRejected) {
    TBaseDLLObject obj(clock, true);
    Definitions defs;
    defs.Add(1).AddNil().Add(0x80000000u).Add(0xFFFFFFFFu).Add(2);
    ASSERT_TRUE(obj.Initialise(block.get(), defs.List()));
    EXPECT_EQ(obj.TagCount(), 2);
    EXPECT_NE(obj.FindTag(1), nullptr);
    EXPECT_NE(obj.FindTag(2), nullptr);
    EXPECT_EQ(obj.FindTag(0x80000000u), nullptr);
    EXPECT_EQ(obj.FindTag(0xFFFFFFFFu), nullptr);
    EXPECT_LT(obj.TagIndex().size(), 100u);

    Definitions more;
    more.Add(3).Add(0x80000000u).AddNil().Add(0xFFFFFFFFu).Add(4);
    std::vector<std::int32_t> results(5, -1);
    EXPECT_EQ(obj.AddTagList(more.List(), results), 1);
    EXPECT_EQ(results, (std::vector<std::int32_t>{0, 1, 1, 1, 0}));
    EXPECT_EQ(obj.TagCount(), 4);
    EXPECT_NE(obj.FindTag(3), nullptr);
    EXPECT_NE(obj.FindTag(4), nullptr);
    EXPECT_EQ(obj.FindTag(0xFFFFFFFFu), nullptr);
}

TEST_F(DLLBase, ManyTagsRegisterInLinearTime) {
    constexpr std::uint32_t Count = 65535;
    Definitions defs;
    defs.records.reserve(Count);
    for (std::uint32_t id = 0; id < Count; ++id) defs.Add(id);
    TBaseDLLObject obj(clock, true);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(obj.Initialise(block.get(), defs.List()));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_EQ(obj.TagCount(), static_cast<std::int32_t>(Count));
    ASSERT_NE(obj.FindTag(Count - 1), nullptr);
    EXPECT_EQ(obj.FindTag(Count - 1)->ListIndex, static_cast<std::int32_t>(Count - 1));
}

TEST_F(DLLBase, SpecialTagsAreRecognisedCaseInsensitivelyAndNeverPolled) {
    PollingObject obj(clock, true);
    Definitions plain;
    plain.Add(1);
    ASSERT_TRUE(obj.Initialise(block.get(), plain.List()));
    EXPECT_FALSE(obj.EnLog()); // loading switches logging off unless an ENLOG tag asks for it

    obj.rejectAll = true;
    Definitions defs;
    defs.Add(1, "encommlink").Add(2, "EnLog.x").Add(3, "COMMLINK").Add(4, "AD0");
    ASSERT_TRUE(obj.Initialise(block.get(), defs.List()));
    EXPECT_TRUE(obj.EnLog());
    // Special tags skip validation: only the ordinary one was rejected.
    EXPECT_EQ(obj.TagCount(), 3);
    EXPECT_EQ(obj.DevMsg(), "bad AD0");
    ASSERT_NE(obj.FindTag(1), nullptr);
    EXPECT_TRUE(obj.FindTag(1)->Special);
    EXPECT_EQ(obj.FindTag(1)->Keyword(), "ENCOMMLINK");
    ASSERT_NE(obj.FindTag(2), nullptr);
    EXPECT_EQ(obj.FindTag(2)->Keyword(), "ENLOG.X");
    EXPECT_TRUE(obj.FindTag(3)->Special);

    obj.rejectAll = false;
    Definitions mixed;
    mixed.Add(1, "ENLOG").Add(2, "AD0").Add(3, "commlink");
    ASSERT_TRUE(obj.Initialise(block.get(), mixed.List()));
    ASSERT_EQ(obj.PollList().size(), 1u);
    EXPECT_EQ(obj.PollList()[0]->TypeName, "T2");
    EXPECT_FALSE(obj.FindTag(2)->Special);
}

TEST_F(DLLBase, CreateTagFillsDefaultsByDataType) {
    clock.tick = 123456;
    TBaseDLLObject obj(clock, true);
    TagDefinition def;
    def.TagId = 42;
    def.Name = std::string(40, 'N');
    def.Address = std::string(70, 'A');
    def.ScanInterval = 250;

    def.DataType = static_cast<std::uint8_t>(DataType::Real);
    TagPtr real = obj.CreateTag(&def);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->TagId, 42u);
    EXPECT_EQ(real->TagName, std::string(32, 'N'));
    EXPECT_EQ(real->TagAddress, std::string(64, 'A'));
    EXPECT_EQ(real->ScanInterval, 250u);
    EXPECT_EQ(real->LastReportTick, 123456u);
    EXPECT_EQ(real->Countdown, 5);
    EXPECT_EQ(real->ChangeFlag, 0u);
    EXPECT_FALSE(real->Special);
    EXPECT_EQ(real->Value.GetKind(), Value::Kind::Real);
    EXPECT_EQ(real->Value.ToDouble(), 0.0);
    EXPECT_EQ(real->Bit, 1);
    // Nothing was reported yet: the first report must see a change.
    EXPECT_TRUE(real->LastValue.IsEmpty());

    def.DataType = static_cast<std::uint8_t>(DataType::Boolean);
    TagPtr boolean = obj.CreateTag(&def);
    ASSERT_NE(boolean, nullptr);
    EXPECT_EQ(boolean->DataType, 1);
    EXPECT_EQ(boolean->Value.GetKind(), Value::Kind::Boolean);
    EXPECT_FALSE(boolean->Value.ToBool());

    def.DataType = static_cast<std::uint8_t>(DataType::Text);
    TagPtr text = obj.CreateTag(&def);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Value.GetKind(), Value::Kind::Text);
    EXPECT_EQ(text->Value.ToText(), "");
    EXPECT_EQ(text->Bit, 1);

    def.DataType = static_cast<std::uint8_t>(DataType::Real);
    def.InitialValue = Value::Integer(17);
    TagPtr given = obj.CreateTag(&def);
    ASSERT_NE(given, nullptr);
    EXPECT_EQ(given->Value.GetKind(), Value::Kind::Integer);
    EXPECT_EQ(given->Value.ToInteger(), 17);
    EXPECT_EQ(given->LastValue.GetKind(), Value::Kind::Integer);
    EXPECT_EQ(given->LastValue.ToInteger(), 17);

    def.DataType = static_cast<std::uint8_t>(DataType::Text);
    def.InitialValue = Value::Text("hello");
    TagPtr givenText = obj.CreateTag(&def);
    ASSERT_NE(givenText, nullptr);
    EXPECT_EQ(givenText->Value.ToText(), "hello");

    EXPECT_EQ(obj.CreateTag(nullptr), nullptr);
}

TEST_F(DLLBase, ATableWithNoSurvivingTagClosesTheObject) {
    TBaseDLLObject obj(clock, true);
    Definitions rejected;
    rejected.AddNil().Add(0x80000000u);
    EXPECT_TRUE(obj.Initialise(block.get(), rejected.List()));
    EXPECT_FALSE(obj.Active());
    EXPECT_TRUE(obj.Closed());
    EXPECT_EQ(obj.TagCount(), 0);

    Definitions good;
    good.Add(1);
    ASSERT_TRUE(obj.Initialise(block.get(), good.List()));
    ASSERT_TRUE(obj.Active());
    Definitions empty;
    EXPECT_TRUE(obj.Initialise(block.get(), empty.List()));
    EXPECT_FALSE(obj.Active());
    EXPECT_TRUE(obj.Closed());
    EXPECT_EQ(obj.TagCount(), 0);
    EXPECT_EQ(obj.FindTag(1), nullptr);
}

TEST_F(DLLBase, InitialiseOnAnActiveObjectClosesAndRebuilds) {
    PollingObject obj(clock, true);
    Definitions first;
    first.Add(1).Add(2);
    ASSERT_TRUE(obj.Initialise(block.get(), first.List()));
    EXPECT_EQ(obj.closes, 0);
    EXPECT_TRUE(obj.Active());

    Definitions second;
    second.Add(3);
    ASSERT_TRUE(obj.Initialise(block.get(), second.List()));
    EXPECT_EQ(obj.closes, 1);
    EXPECT_TRUE(obj.Active());
    EXPECT_FALSE(obj.Closed());
    EXPECT_EQ(obj.TagCount(), 1);
    EXPECT_EQ(obj.FindTag(1), nullptr);
    ASSERT_NE(obj.FindTag(3), nullptr);
    EXPECT_EQ(obj.FindTag(3)->ListIndex, 0);
    EXPECT_EQ(obj.PollList().size(), 1u);

    // Closing leaves no stale index entry behind that could reach a released tag.
    obj.CloseDriver();
    EXPECT_TRUE(obj.Closed());
    EXPECT_FALSE(obj.Active());
    EXPECT_TRUE(obj.TagList().empty());
    EXPECT_TRUE(obj.PollList().empty());
    EXPECT_EQ(obj.CurrentRequest(), nullptr);
    EXPECT_EQ(obj.FindTag(3), nullptr);
}

TEST_F(DLLBase, AddTagListAppendsAndReportsEachDefinition) {
    TBaseDLLObject obj(clock, true);
    Definitions first;
    first.Add(1).Add(2);
    ASSERT_TRUE(obj.Initialise(block.get(), first.List()));
    const std::size_t indexBefore = obj.TagIndex().size();

    Definitions more;
    more.Add(3).Add(0xFFFFFFFFu).Add(1, "AD0", 100, "AGAIN");
    std::vector<std::int32_t> results(3, -1);
    EXPECT_EQ(obj.AddTagList(more.List(), results), 1);
    EXPECT_EQ(results, (std::vector<std::int32_t>{0, 1, 0}));
    EXPECT_EQ(obj.TagCount(), 4);
    EXPECT_GE(obj.TagIndex().size(), indexBefore + 4);
    ASSERT_NE(obj.FindTag(2), nullptr);
    EXPECT_EQ(obj.FindTag(2)->ListIndex, 1);
    // New tags take their real place at the end of the table.
    ASSERT_NE(obj.FindTag(3), nullptr);
    EXPECT_EQ(obj.FindTag(3)->ListIndex, 2);
    EXPECT_EQ(obj.FindTag(1)->TagName, "AGAIN");
    EXPECT_EQ(obj.FindTag(1)->ListIndex, 3);

    Definitions fine;
    fine.Add(9);
    std::vector<std::int32_t> one(1, -1);
    EXPECT_EQ(obj.AddTagList(fine.List(), one), 0);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(obj.TagCount(), 5);
}

TEST_F(DLLBase, AddTagListOnAClosedObjectStartsAFreshTable) {
    TBaseDLLObject obj(clock, true);
    Definitions first;
    first.Add(1).Add(2).Add(50);
    ASSERT_TRUE(obj.Initialise(block.get(), first.List()));
    obj.CloseDriver();
    ASSERT_TRUE(obj.Closed());

    Definitions added;
    added.Add(3);
    std::vector<std::int32_t> results(1, -1);
    EXPECT_EQ(obj.AddTagList(added.List(), results), 0);
    EXPECT_TRUE(obj.Active());
    EXPECT_FALSE(obj.Closed());
    EXPECT_FALSE(obj.EnLog());
    EXPECT_EQ(obj.TagCount(), 1);
    for (const std::uint32_t old : {1u, 2u, 50u}) EXPECT_EQ(obj.FindTag(old), nullptr) << old;
    ASSERT_NE(obj.FindTag(3), nullptr);
    EXPECT_EQ(obj.FindTag(3)->ListIndex, 0);
}

TEST_F(DLLBase, StartScanRestartsTheStatisticsAndSendsTheFirstRequest) {
    clock.now = 45123.25;
    PollingObject obj(clock, true);
    Definitions defs;
    defs.Add(1, "AD0", 400).Add(2, "AD1", 100);
    ASSERT_TRUE(obj.Initialise(block.get(), defs.List()));
    EXPECT_EQ(obj.ScanTime(), 10);
    EXPECT_EQ(obj.ResetTime(), 45123.25);
    EXPECT_EQ(obj.CycleCount(), 0);
    ASSERT_EQ(obj.PollList().size(), 2u);
    EXPECT_EQ(obj.CurrentRequest(), obj.PollList()[0].get());
    ASSERT_EQ(obj.sent.size(), 1u);
    EXPECT_EQ(obj.sent[0], obj.PollList()[0].get());

    // Adding tags rebuilds the poll list over all tags and restarts the statistics.
    clock.Advance(60000);
    Definitions more;
    more.Add(3, "AD2", 200);
    std::vector<std::int32_t> results(1);
    EXPECT_EQ(obj.AddTagList(more.List(), results), 0);
    EXPECT_EQ(obj.PollList().size(), 3u);
    EXPECT_EQ(obj.ResetTime(), clock.now);
    EXPECT_EQ(obj.CurrentRequest(), obj.PollList()[0].get());
}

TEST_F(DLLBase, PlanScanWeighsRequestsByInterval) {
    PollingObject obj(clock, true);
    const auto plan = [&](std::initializer_list<std::uint32_t> intervals) {
        Definitions defs;
        std::uint32_t id = 0;
        for (const std::uint32_t interval : intervals) defs.Add(id++, "AD0", interval);
        EXPECT_TRUE(obj.Initialise(block.get(), defs.List()));
    };

    plan({100, 200, 400});
    EXPECT_EQ(Weights(obj), (std::vector<std::int32_t>{1, 2, 4}));
    EXPECT_EQ(obj.AvgCycleMs(), 37.0);
    EXPECT_EQ(obj.MinCycleMs(), 1000.0);
    EXPECT_EQ(obj.MaxCycleMs(), 1000.0);
    EXPECT_EQ(obj.FastestRequest(), 0);
    for (const RequestPtr& request : obj.PollList()) EXPECT_EQ(request->Countdown, 3);

    plan({20, 40});
    EXPECT_EQ(Weights(obj), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(obj.AvgCycleMs(), 10.0);

    plan({400, 200, 100, 300});
    EXPECT_EQ(obj.FastestRequest(), 2);
    EXPECT_EQ(Weights(obj), (std::vector<std::int32_t>{4, 2, 1, 3}));
    // Slow requests only: the fastest is still one of this list, not a stale position of the last plan,
    // or no selection would ever end a cycle.
    plan({5000, 2000});
    EXPECT_LT(obj.FastestRequest(), 2);
    plan({5000});
    EXPECT_EQ(obj.FastestRequest(), 0);

    // Base 4 gives the factor 2.5, which rounds to the even 2.
    plan({8, 16});
    EXPECT_EQ(Weights(obj), (std::vector<std::int32_t>{1, 4}));
    EXPECT_EQ(obj.AvgCycleMs(), 10.0);

    // A zero interval must not divide by zero.
    plan({0, 50});
    EXPECT_EQ(Weights(obj), (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(obj.AvgCycleMs(), 10.0);
}

TEST_F(DLLBase, PlanScanGivesTestRequestsTheirOwnWeightAfterTheSum) {
    PollingObject obj(clock, true);
    Definitions defs;
    defs.Add(1, "AD0", 100, "TEST").Add(2, "AD1", 100);
    ASSERT_TRUE(obj.Initialise(block.get(), defs.List()));
    ASSERT_EQ(obj.PollList().size(), 2u);
    EXPECT_EQ(obj.PollList()[0]->Countdown, 1);
    EXPECT_EQ(obj.PollList()[0]->Weight, 2);
    EXPECT_EQ(obj.PollList()[1]->Countdown, 3);
    EXPECT_EQ(obj.PollList()[1]->Weight, 1);
    // The sum counted the request at weight 1: 100 / 3 -> 34.
    EXPECT_EQ(obj.AvgCycleMs(), 34.0);

    // Without requests (a write-only tag is never polled) the plan keeps its 1000 ms base.
    TBaseDLLObject idle(clock, true);
    Definitions one;
    one.Add(1, "CountTarget0");
    DevicePDB defaults{};
    korax::config::FillDefaultPDB(defaults); // a KRX-A100 in slot 0, which has a counter target
    ASSERT_TRUE(idle.Initialise(&defaults, one.List()));
    EXPECT_TRUE(idle.PollList().empty()) << idle.DevMsg();
    EXPECT_EQ(idle.AvgCycleMs(), 1000.0) << idle.DevMsg();
    EXPECT_EQ(idle.ScanTime(), 10);
    EXPECT_EQ(idle.CurrentRequest(), nullptr);
}
