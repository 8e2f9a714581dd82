// Tag addresses: the type table look-up, the parsers, the validation messages and the tag editor's check.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "config/DevicePDB.h"
#include "framework/DLLBase.h"
#include "support/FakeClock.h"

using namespace korax::framework;
using korax::config::DevicePDB;
using korax::test::FakeClock;

namespace {

constexpr std::uint8_t A100 = 0, A200 = 1, B100 = 2, C100 = 3, C200 = 4, NoBoard = 7;

// Entry 0 KRX-A100, 1 KRX-C200, 2 KRX-A200, 3 KRX-C100; entry 5 unused but still named; the rest unused.
std::unique_ptr<DevicePDB> TestBlock() {
    auto block = std::make_unique<DevicePDB>();
    korax::config::FillDefaultPDB(*block);
    const auto board = [&](int slot, std::uint8_t kind, std::string_view name) {
        block->Boards[slot].DevType = kind;
        korax::config::SetShortString(block->Boards[slot].DevName, korax::config::DevNameSize, name);
    };
    board(1, C200, "KRX-C200");
    board(2, A200, "KRX-A200");
    board(3, C100, "KRX-C100");
    board(5, NoBoard, "旧板卡");
    return block;
}

class TagAddress : public ::testing::Test {
protected:
    FakeClock clock;
    std::unique_ptr<DevicePDB> block = TestBlock();
    TBaseDLLObject fresh{clock, false}; // has loaded no block: DefaultStation 0
};

// --- type look-up ---

TEST_F(TagAddress, TypeNamesMatchWithoutCaseAndTheLongestWins) {
    EXPECT_EQ(fresh.FindTagType("AD3"), 2);
    EXPECT_EQ(fresh.FindTagType("ad3"), 2);
    EXPECT_EQ(fresh.FindTagType("COUNTTARGET0"), 9);
    EXPECT_EQ(fresh.FindTagType("countTarget0"), 9);
    EXPECT_EQ(fresh.FindTagType("COUNT0"), 3);
    EXPECT_EQ(fresh.FindTagType("COUNTTARGE"), 3) << "a cut-off longer name falls back to the shorter";
    EXPECT_EQ(fresh.FindTagType("RunCount1"), 10);
    EXPECT_EQ(fresh.FindTagType("event_no2"), 0);
    EXPECT_EQ(fresh.FindTagType("XYZ1"), -1);
    EXPECT_EQ(fresh.FindTagType("A"), -1);
    EXPECT_EQ(fresh.FindTagType(""), -1);
    EXPECT_EQ(fresh.FindTagType(" AD3"), -1);

    EXPECT_EQ(fresh.AddressKeyword("countTarget2"), "COUNTTARGET");
    EXPECT_EQ(fresh.AddressKeyword("do5.7"), "DO");
    EXPECT_EQ(fresh.AddressKeyword("XYZ"), "");
}

// --- parsers ---

TEST_F(TagAddress, StationComesBeforeTheColonOrIsTheDefault) {
    TBaseDLLObject loaded(clock, true);
    block->Boards[0].DevType = NoBoard; // the lowest board is now entry 1
    ASSERT_TRUE(loaded.LoadPDB(block.get()));
    EXPECT_EQ(loaded.ParseStation("AD3"), 1);
    EXPECT_EQ(fresh.ParseStation("AD3"), 0);
    EXPECT_EQ(fresh.ParseStation("DI1:5.7"), 1);
    EXPECT_EQ(fresh.ParseStation("AD99:0"), 99);
    EXPECT_EQ(fresh.ParseStation("AD-4:0"), -4);
    EXPECT_EQ(fresh.ParseStation("AD:3"), -1);
    EXPECT_EQ(fresh.ParseStation("ADx:3"), -1);
    EXPECT_EQ(fresh.ParseStation("AD1:2:3"), 1) << "the first colon counts";
    EXPECT_EQ(fresh.ParseStation("XYZ1:3"), -1);
}

TEST_F(TagAddress, SlotComesBeforeTheComma) {
    EXPECT_EQ(fresh.ParseSlot("AD3", A100), 0);
    EXPECT_EQ(fresh.ParseSlot("AD1,3", A100), 1);
    EXPECT_EQ(fresh.ParseSlot("AD2:4,5", A100), 4);
    EXPECT_EQ(fresh.ParseSlot("AD2:,5", A100), -1);
    EXPECT_EQ(fresh.ParseSlot("AD0:0.3.0", A100), 0);
    EXPECT_EQ(fresh.ParseSlot("AD1,3", NoBoard), -1);
    EXPECT_EQ(fresh.ParseSlot("AD1,3", 200), -1) << "a kind outside the model table is no board";
    EXPECT_EQ(fresh.ParseSlot("XYZ1,3", A100), -1);
}

TEST_F(TagAddress, ChannelFollowsStationAndSlot) {
    EXPECT_EQ(fresh.ParseChannel("AD3", A100), 3);
    EXPECT_EQ(fresh.ParseChannel("ad3", A100), 3);
    EXPECT_EQ(fresh.ParseChannel("DI1:5.7", A100), 5);
    EXPECT_EQ(fresh.ParseChannel("DO5.7", A100), 5);
    EXPECT_EQ(fresh.ParseChannel("AD1,3", A100), 3);
    EXPECT_EQ(fresh.ParseChannel("AD0:0.3.0", A100), 0) << "the editor's form reads back with channel 0";
    EXPECT_EQ(fresh.ParseChannel("AD", A100), 0) << "no channel: the kind's minimum";
    EXPECT_EQ(fresh.ParseChannel("AD2:", A100), 0);
    EXPECT_EQ(fresh.ParseChannel("AD-5", A100), -5);
    EXPECT_EQ(fresh.ParseChannel("AD3x", A100), -1);
    EXPECT_EQ(fresh.ParseChannel("AD2147483647", A100), 2147483647);
    EXPECT_EQ(fresh.ParseChannel("AD2147483648", A100), -1) << "does not fit 32 bits: not an integer";
    EXPECT_EQ(fresh.ParseChannel("AD3", B100), -1) << "the kind has no analog inputs";
    EXPECT_EQ(fresh.ParseChannel("AD3", NoBoard), -1);
    EXPECT_EQ(fresh.ParseChannel("XYZ3", A100), -1);
}

TEST_F(TagAddress, BitFollowsTheFirstDotOnlyWithoutStationOrSlot) {
    EXPECT_EQ(fresh.ParseBit("DO5.7", A100), 7);
    EXPECT_EQ(fresh.ParseBit("DI1:5.7", A100), 0) << "after a station the bit is read one dot later";
    EXPECT_EQ(fresh.ParseBit("DI1:5.7.3", A100), 3);
    EXPECT_EQ(fresh.ParseBit("AD1,3.4", A100), 0);
    EXPECT_EQ(fresh.ParseBit("AD0:0.3.0", A100), 0);
    EXPECT_EQ(fresh.ParseBit("AD3", A100), 0);
    EXPECT_EQ(fresh.ParseBit("DO5.", A100), -1);
    EXPECT_EQ(fresh.ParseBit("DO5.x", A100), -1);
    EXPECT_EQ(fresh.ParseBit("DO5.7", NoBoard), -1);
    EXPECT_EQ(fresh.ParseBit("XYZ5.7", A100), -1);
}

TEST_F(TagAddress, AddressesAreReadUpTo255Characters) {
    // 255 characters end on a zero; what follows is never read.
    const std::string bitAddress = "DO1." + std::string(251, '0');
    ASSERT_EQ(bitAddress.size(), 255u);
    EXPECT_EQ(fresh.ParseBit(bitAddress + "9", A100), 0);
    EXPECT_EQ(fresh.ParseBit(bitAddress + "x", A100), 0);
    const std::string channelAddress = "AD" + std::string(253, '0');
    EXPECT_EQ(fresh.ParseChannel(channelAddress + "5", A100), 0);
    EXPECT_EQ(fresh.ParseStation(channelAddress + ":1"), 0) << "the colon lies beyond the cut";
    std::string edited = channelAddress + "5:1,2.3";
    EXPECT_TRUE(fresh.CheckTagAddress(block.get(), edited));
    EXPECT_EQ(edited, "AD0:0.0.0");
}

// --- validation ---

class Validation : public TagAddress {
protected:
    void SetUp() override { ASSERT_TRUE(object.Initialise(block.get(), {})); }

    // Adds one tag; returns whether it was accepted.
    bool Add(std::string address, std::uint8_t dataType = 1, bool undecodedInitial = false) {
        TagDefinition def;
        def.TagId = 1;
        def.Name = "Tag1";
        def.Address = std::move(address);
        def.DataType = dataType;
        def.InitialUndecoded = undecodedInitial;
        const TagDefinition* list[] = {&def};
        std::int32_t result = -1;
        object.AddTagList(list, std::span(&result, 1));
        return result == 0;
    }
    // The whole message a rejected address leaves.
    std::string Rejected(const std::string& address, std::string_view tail) {
        return korax::platform::FormatDateTime(clock.now) + "：标签Tag1错误：标签地址" + address +
               std::string(tail);
    }
    void ExpectRejected(const std::string& address, std::string_view tail) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(Add(address));
        EXPECT_EQ(object.DevMsg(), Rejected(address, tail));
        EXPECT_EQ(object.sErrEvent(), "");
    }

    TBaseDLLObject object{clock, true};
};

TEST_F(Validation, AcceptedTagsCarryTheirParsedAddress) {
    ASSERT_TRUE(Add("ad3"));
    const TagItem& tag = *object.TagList().back();
    EXPECT_EQ(tag.Keyword(), "AD");
    EXPECT_EQ(tag.TypeIndex, 2);
    EXPECT_EQ(tag.Station, 0);
    EXPECT_EQ(tag.DevKind, A100);
    EXPECT_EQ(tag.Slot, 0);
    EXPECT_EQ(tag.Channel, 3);
    EXPECT_EQ(tag.Bit, 0);
    EXPECT_EQ(tag.Access, 2);
    EXPECT_EQ(object.DevMsg(), "");

    ASSERT_TRUE(Add("DI1:5.7"));
    EXPECT_EQ(object.TagList().back()->Channel, 5);
    EXPECT_EQ(object.TagList().back()->Bit, 0);
    EXPECT_TRUE(Add("COUNTTARGET3:2"));
    EXPECT_TRUE(Add("DO15.15"));
    // A real tag without an initial value gets bit 1 whatever its address says.
    EXPECT_TRUE(Add("DO5.x", 0));
}

TEST_F(Validation, FirstFailingCheckEndsTheValidation) {
    ExpectRejected("XYZ1", "指定不存在的标签类型。");
    ExpectRejected("AD5:1", "站号错误，指定的硬件设备旧板卡不存在。");
    ExpectRejected("AD40:1", "站号错误，指定的硬件设备不存在。");
    ExpectRejected("DI32:0", "站号错误，指定的硬件设备不存在。"); // one past the 32 board entries
    ExpectRejected("AD-3:1", "站号错误，指定的硬件设备不存在。");
    ExpectRejected("ADx:1", "站号错误，指定的硬件设备不存在。");
    ExpectRejected("AD0:x,3", "槽号错误，KRX-A100不存在此标签。");
    ExpectRejected("AD0:3x", "通道号错误，KRX-A100不存在此标签。");
    ExpectRejected("AD-1", "通道号错误，KRX-A100不存在此标签。");
    // The base parsers give no channel for a type the kind lacks, so that is a channel error.
    ExpectRejected("DI2:3", "通道号错误，KRX-A200不存在此标签。");
    ExpectRejected("DO5.x", "位号错误，KRX-A100不存在此标签。");
    ExpectRejected("DO0:5.1.x", "位号错误，KRX-A100不存在此标签。");
}

TEST_F(Validation, RangeChecksReportTheirLimit) {
    ExpectRejected("AD1,3", "的槽号超出KRX-A100的最大范围0");
    ExpectRejected("AD-2,3", "的槽号超出KRX-A100的最小范围0");
    ExpectRejected("AD16", "的通道号超出KRX-A100的最大范围15");
    ExpectRejected("AD2147483647", "的通道号超出KRX-A100的最大范围15");
    ExpectRejected("AD-2", "的通道号超出KRX-A100的最小范围0");
    ExpectRejected("COUNT3:3", "的通道号超出KRX-C100的最大范围2");
    ExpectRejected("DO5.16", "的位号超出KRX-A100的最大范围15");
    ExpectRejected("DO5.-2", "的位号超出最小范围KRX-A100的最小范围0");
}

// A real or string tag without an initial value takes bit 1, so its address's bit goes unchecked; one
// whose initial value the driver could not decode keeps its bit and is checked like any other.
TEST_F(Validation, OnlyATagWithoutInitialValueSkipsItsBitCheck) {
    for (const std::uint8_t dataType : {0, 2}) {
        SCOPED_TRACE(dataType);
        EXPECT_TRUE(Add("DO5.99", dataType));
        EXPECT_EQ(object.TagList().back()->Bit, 1);
        EXPECT_EQ(object.TagList().back()->Value.ToText(), dataType == 0 ? "0" : "");
        EXPECT_FALSE(Add("DO5.99", dataType, true));
        EXPECT_EQ(object.DevMsg(), Rejected("DO5.99", "的位号超出KRX-A100的最大范围15"));
        EXPECT_TRUE(Add("DO5.7", dataType, true));
        EXPECT_EQ(object.TagList().back()->Bit, 7);
        EXPECT_EQ(object.TagList().back()->Value.ToText(), dataType == 0 ? "0" : "") << "the type's default";
    }
}

TEST_F(Validation, OfSeveralRangeErrorsTheLastCheckedNamesTheReason) {
    // Bit 16 and channel 99 too high, slot -2 too low: the slot minimum is checked last.
    ExpectRejected("DO0:-2,99.1.16", "的槽号超出KRX-A100的最小范围0");
    ExpectRejected("DO0:99.1.16", "的通道号超出KRX-A100的最大范围15");
}

TEST_F(Validation, ARejectionKeepsTheOtherTagsAndTheLastMessage) {
    ASSERT_TRUE(Add("AD1"));
    EXPECT_FALSE(Add("AD99"));
    const std::string reason = object.DevMsg();
    EXPECT_TRUE(Add("AD2"));
    EXPECT_EQ(object.TagCount(), 2);
    EXPECT_EQ(object.DevMsg(), reason) << "an accepted tag leaves the message alone";
    EXPECT_EQ(object.sErrEvent(), "");
}

// A board class may read channels its own way; the framework then still refuses a type the kind lacks.
class OwnChannels : public TBaseDLLObject {
public:
    using TBaseDLLObject::TBaseDLLObject;
    std::int32_t ParseChannel(std::string_view, std::uint8_t) override { return 0; }
};

TEST_F(TagAddress, TypeMissingOnTheBoardIsReportedWhenTheChannelParsed) {
    OwnChannels object(clock, true);
    ASSERT_TRUE(object.Initialise(block.get(), {}));
    TagDefinition def;
    def.Name = "Tag1";
    def.Address = "DI2:0";
    def.DataType = 1;
    const TagDefinition* list[] = {&def};
    std::int32_t result = 0;
    EXPECT_EQ(object.AddTagList(list, std::span(&result, 1)), 1);
    EXPECT_EQ(object.DevMsg(), korax::platform::FormatDateTime(clock.now) +
                                   "：标签Tag1错误：标签地址DI2:0指定KRX-A200中不存在的标签类型");
}

TEST_F(TagAddress, ValidationNeverLooksOutsideItsTables) {
    ASSERT_TRUE(fresh.LoadPDB(block.get()));
    const std::string prefix = korax::platform::FormatDateTime(clock.now) + "：标签T错误：标签地址A";
    auto item = std::make_unique<TagItem>();
    item->TagName = "T";
    item->TagAddress = "A";
    item->TypeIndex = 11;
    fresh.ValidateTag(item);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(fresh.DevMsg(), prefix + "指定不存在的标签类型。");

    item = std::make_unique<TagItem>();
    item->TagName = "T";
    item->TagAddress = "A";
    item->TypeIndex = 2;
    item->Station = 0;
    item->DevKind = 9;
    fresh.ValidateTag(item);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(fresh.DevMsg(), prefix + "站号错误，指定的硬件设备KRX-A100不存在。");

    TagPtr none;
    fresh.ValidateTag(none);
    EXPECT_EQ(none, nullptr);
}

// --- the tag editor's check ---

TEST_F(TagAddress, EditorCheckRewritesToTheNormalForm) {
    const auto check = [&](std::string address, const DevicePDB* with) {
        const bool known = fresh.CheckTagAddress(with, address);
        return std::make_pair(known, address);
    };
    using Result = std::pair<bool, std::string>;
    EXPECT_EQ(check("AD3", block.get()), Result(true, "AD0:0.3.0"));
    EXPECT_EQ(check("XYZ", block.get()), Result(false, "EVENT_NO-1:-1.-1.-1"));
    EXPECT_EQ(check("", block.get()), Result(false, "EVENT_NO-1:-1.-1.-1"));
    EXPECT_EQ(check("countTarget2", block.get()), Result(true, "COUNTTARGET0:0.2.0"));
    EXPECT_EQ(check("DI1:5.7", block.get()), Result(true, "DI1:0.5.0"));
    EXPECT_EQ(check("DO5.7", block.get()), Result(true, "DO0:0.5.7"));
    EXPECT_EQ(check("AD0:0.3.0", block.get()), Result(true, "AD0:0.0.0"))
        << "the normal form does not survive";
    EXPECT_EQ(check("AD5:3", block.get()), Result(true, "AD5:-1.-1.-1")) << "unused board entry";
    EXPECT_EQ(check("AD40:3", block.get()), Result(true, "AD40:-1.-1.-1"));
    EXPECT_EQ(check("AD3", nullptr), Result(true, "AD0:-1.-1.-1"));
    EXPECT_EQ(fresh.DevMsg(), "");
    EXPECT_EQ(fresh.sErrEvent(), "");
}

TEST_F(TagAddress, EditorCheckReadsTheBlockItIsGiven) {
    TBaseDLLObject loaded(clock, false);
    auto own = TestBlock();
    own->Boards[0].DevType = B100; // no analog inputs in the object's own copy
    ASSERT_TRUE(loaded.LoadPDB(own.get()));
    std::string address = "AD3";
    EXPECT_TRUE(loaded.CheckTagAddress(block.get(), address));
    EXPECT_EQ(address, "AD0:0.3.0");
}

} // namespace
