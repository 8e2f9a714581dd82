// The tag list korax-host reads, and the values people type: what is taken, and that every bad line is
// refused with its number and the reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostRun.h"
#include "host/TagFile.h"

namespace {

using namespace korax::tools::host;

TEST(TagFile, TakesHeaderCommentsQuotesAndLineEndsOfEveryKind) {
    const std::string text = "\xEF\xBB\xBF"
                             "id, name, address, type, interval, initial\r\n"
                             "# analog inputs\r\n"
                             "\r\n"
                             "0, Sine, AD0:0, real, 200\r\n"
                             "7,\"Lamp, left\", DO0:3, BOOL, 100, on\n"
                             "  9 , Text , DI1:2 , string , 0 , \" two  words \"\n"
                             "12,Level,AD3,0,4294967295,-2.5e3";
    const auto parsed = ParseTagFile(text, "tags.csv");
    ASSERT_TRUE(parsed) << parsed.Error().Text;
    const std::vector<TagListEntry>& tags = *parsed;
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_EQ(tags[0].Id, 0u);
    EXPECT_EQ(tags[0].Name, "Sine");
    EXPECT_EQ(tags[0].Address, "AD0:0");
    EXPECT_EQ(tags[0].Type, DataType::Real);
    EXPECT_EQ(tags[0].ScanInterval, 200u);
    EXPECT_FALSE(tags[0].Initial);
    EXPECT_EQ(tags[0].Line, 4);
    EXPECT_EQ(tags[1].Name, "Lamp, left");
    EXPECT_EQ(tags[1].Type, DataType::Boolean);
    ASSERT_TRUE(tags[1].Initial);
    EXPECT_TRUE(tags[1].Initial->Truth);
    EXPECT_EQ(tags[2].Id, 9u);
    EXPECT_EQ(tags[2].Name, "Text");
    EXPECT_EQ(tags[2].Type, DataType::Text);
    ASSERT_TRUE(tags[2].Initial);
    EXPECT_EQ(tags[2].Initial->Text, " two  words ") << "a quoted field keeps its spaces";
    EXPECT_EQ(tags[3].ScanInterval, 4294967295u);
    ASSERT_TRUE(tags[3].Initial);
    EXPECT_EQ(tags[3].Initial->Real, -2500.0);
    EXPECT_EQ(tags[3].Line, 7);
}

struct BadLine {
    const char* Line;
    const char* Reason;
};

TEST(TagFile, BadLinesAreRefusedWithTheirNumber) {
    const BadLine cases[] = {
        {"3, Level, AD3, real", "expected 5 or 6 fields"},
        {"3, Level, AD3, real, 100, 1, 2", "expected 5 or 6 fields"},
        {"x, Level, AD3, real, 100", "id \"x\" is not a number 0..65535"},
        {"-1, Level, AD3, real, 100", "id \"-1\" is not a number"},
        {"65536, Level, AD3, real, 100", "id \"65536\" is not a number 0..65535"},
        {"1, Other, AD3, real, 100", "id 1 is already used on line 2"},
        {"3, Sine, AD3, real, 100", "the name \"Sine\" is already used on line 2"},
        {"3, , AD3, real, 100", "the name is empty"},
        {"3, a=b, AD3, real, 100", "holds '='"},
        {"3, ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456, AD3, real, 100", "longer than 32 bytes"},
        {"3, Level, , real, 100", "the address is empty"},
        {"3, Level, AD3, integer, 100", "data type \"integer\" is not real, bool or string"},
        {"3, Level, AD3, real, 1.5", "scan interval \"1.5\" is not a number of milliseconds"},
        {"3, Level, AD3, real, 4294967296", "scan interval"},
        {"3, Level, AD3, real, 100, nan", "initial value: \"nan\" is not a number"},
        {"3, Level, AD3, bool, 100, maybe", "initial value: \"maybe\" is not a Boolean"},
        {"3, \"Level, AD3, real, 100", "a quote is not closed"},
    };
    for (const BadLine& bad : cases) {
        const std::string text = "# tags\n1, Sine, AD0:0, real, 200\n" + std::string(bad.Line) + "\n";
        const auto tags = ParseTagFile(text, "tags.csv");
        if (tags) {
            ADD_FAILURE() << "taken: " << bad.Line;
            continue;
        }
        EXPECT_EQ(tags.Error().Line, 3) << bad.Line;
        const std::string what = tags.Error().Text;
        EXPECT_EQ(what.rfind("tags.csv line 3: ", 0), 0u) << what;
        EXPECT_NE(what.find(bad.Reason), std::string::npos) << what;
    }
}

TEST(TagFile, ValuesFollowTheDataType) {
    EXPECT_EQ(ParseValue(DataType::Real, " 1e3 ")->Real, 1000.0);
    EXPECT_FALSE(ParseValue(DataType::Real, "inf"));
    EXPECT_FALSE(ParseValue(DataType::Real, "12abc"));
    EXPECT_FALSE(ParseValue(DataType::Real, ""));
    for (const char* yes : {"true", "TRUE", "1", "on", "Yes"})
        EXPECT_TRUE(ParseValue(DataType::Boolean, yes)->Truth);
    for (const char* no : {"false", "0", "OFF", "no"}) EXPECT_FALSE(ParseValue(DataType::Boolean, no)->Truth);
    EXPECT_FALSE(ParseValue(DataType::Boolean, "2"));
    EXPECT_EQ(ParseValue(DataType::Text, "")->Text, "");
    EXPECT_EQ(ValueText(*ParseValue(DataType::Real, "0.1")), "0.1");
    EXPECT_EQ(ValueText(*ParseValue(DataType::Real, "4095")), "4095");
}

TEST(TagFile, WriteOptionsTakeAnOptionalMoment) {
    const auto now = ParseWriteOption("Lamp=1");
    ASSERT_TRUE(now);
    EXPECT_EQ(now->Name, "Lamp");
    EXPECT_EQ(now->Value, "1");
    EXPECT_EQ(now->AtMs, 0u);
    const auto later = ParseWriteOption("Note=a@b@2.5");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->Value, "a@b") << "only the last '@' starts the moment";
    EXPECT_EQ(later->AtMs, 2500u);
    EXPECT_FALSE(ParseWriteOption("Lamp"));
    EXPECT_FALSE(ParseWriteOption("=1"));
    EXPECT_FALSE(ParseWriteOption("Lamp=1@soon"));
    EXPECT_FALSE(ParseWriteOption("Lamp=1@-2"));
}

} // namespace
