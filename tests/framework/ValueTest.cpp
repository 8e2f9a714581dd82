#include "framework/Value.h"

#include <gtest/gtest.h>

#include <cmath>

#include <cstdint>
#include <limits>
#include <string>

using korax::framework::ParseInt32;
using korax::framework::Value;

namespace {

constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Int64Min = std::numeric_limits<std::int64_t>::min();

} // namespace

TEST(Value, ToDoubleReadsOnlyWholeNumbersFromText) {
    EXPECT_DOUBLE_EQ(Value::Text(" 12.5 ").ToDouble(), 12.5);
    EXPECT_DOUBLE_EQ(Value::Text("+3").ToDouble(), 3.0);
    EXPECT_DOUBLE_EQ(Value::Text("-2e3").ToDouble(), -2000.0);
    // Anything that is not a number as a whole is 0, never a partial parse or an exception.
    EXPECT_EQ(Value::Text("abc").ToDouble(), 0.0);
    EXPECT_EQ(Value::Text("12abc").ToDouble(), 0.0);
    EXPECT_EQ(Value::Text("").ToDouble(), 0.0);
    EXPECT_EQ(Value::Text("+").ToDouble(), 0.0);
    EXPECT_EQ(Value::Text("+-5").ToDouble(), 0.0);
    EXPECT_EQ(Value::Text("1e999").ToDouble(), 0.0);
    EXPECT_EQ(Value::Text("nan").ToDouble(), 0.0);
    EXPECT_EQ(Value::Text("-inf").ToDouble(), 0.0);
    EXPECT_FALSE(Value::Text("nan").ToBool());
    EXPECT_EQ(Value().ToDouble(), 0.0);
    EXPECT_EQ(Value::Boolean(true).ToDouble(), 1.0);
    EXPECT_EQ(Value::Boolean(false).ToDouble(), 0.0);
    EXPECT_EQ(Value::Integer(-7).ToDouble(), -7.0);
}

TEST(Value, ToBoolAcceptsWordsInAnyCaseAndNumbers) {
    EXPECT_TRUE(Value::Text("TRUE").ToBool());
    EXPECT_TRUE(Value::Text(" tRuE ").ToBool());
    EXPECT_FALSE(Value::Text("false").ToBool());
    EXPECT_FALSE(Value::Text("FALSE").ToBool());
    EXPECT_TRUE(Value::Text("2").ToBool());
    EXPECT_FALSE(Value::Text("0").ToBool());
    EXPECT_FALSE(Value::Text("yes").ToBool());
    EXPECT_FALSE(Value().ToBool());
    EXPECT_TRUE(Value::Real(0.25).ToBool());
    EXPECT_FALSE(Value::Real(0.0).ToBool());
    EXPECT_TRUE(Value::Integer(-1).ToBool());
}

TEST(Value, ToIntegerTruncatesAndSaturates) {
    EXPECT_EQ(Value::Real(2.9).ToInteger(), 2);
    EXPECT_EQ(Value::Real(-2.9).ToInteger(), -2);
    EXPECT_EQ(Value::Text("12.7").ToInteger(), 12);
    EXPECT_EQ(Value::Boolean(true).ToInteger(), 1);
    EXPECT_EQ(Value::Integer(Int64Min).ToInteger(), Int64Min);
    EXPECT_EQ(Value::Real(std::numeric_limits<double>::quiet_NaN()).ToInteger(), 0);
    EXPECT_EQ(Value::Real(1e300).ToInteger(), Int64Max);
    EXPECT_EQ(Value::Real(9223372036854775808.0).ToInteger(), Int64Max); // 2^63, first value out of range
    EXPECT_EQ(Value::Real(-1e300).ToInteger(), Int64Min);
    EXPECT_EQ(Value::Real(std::numeric_limits<double>::infinity()).ToInteger(), Int64Max);
    EXPECT_EQ(Value::Real(-std::numeric_limits<double>::infinity()).ToInteger(), Int64Min);
}

TEST(Value, ToTextUsesGeneralFormatForReals) {
    EXPECT_EQ(Value::Real(0.1).ToText(), "0.1");
    EXPECT_EQ(Value::Real(100.0).ToText(), "100");
    EXPECT_EQ(Value::Real(-0.5).ToText(), "-0.5");
    // Two-digit exponent on every platform, not the three digits some C runtimes print.
    EXPECT_EQ(Value::Real(1e20).ToText(), "1E+20");
    EXPECT_EQ(Value::Real(1.5e-7).ToText(), "1.5E-07");
    EXPECT_EQ(Value::Real(123456789012345678.0).ToText(), "1.23456789012346E+17");
    EXPECT_EQ(Value::Integer(-42).ToText(), "-42");
    EXPECT_EQ(Value::Boolean(true).ToText(), "True");
    EXPECT_EQ(Value::Boolean(false).ToText(), "False");
    EXPECT_EQ(Value().ToText(), "");
}

TEST(Value, DiffersComparesNumbersByValueAndTextByBytes) {
    EXPECT_FALSE(Value::Integer(5).Differs(Value::Real(5.0)));
    EXPECT_FALSE(Value::Real(5.0).Differs(Value::Integer(5)));
    EXPECT_TRUE(Value::Real(5.0).Differs(Value::Real(5.5)));
    // A value that stays NaN is unchanged, or a NaN tag would be reported on every call.
    EXPECT_FALSE(Value::Real(std::nan("")).Differs(Value::Real(std::nan(""))));
    EXPECT_TRUE(Value::Real(std::nan("")).Differs(Value::Real(0.0)));
    EXPECT_FALSE(Value::Boolean(true).Differs(Value::Integer(1)));
    // Integers beyond a double's precision still compare exactly with each other.
    EXPECT_TRUE(Value::Integer(9007199254740993).Differs(Value::Integer(9007199254740992)));

    EXPECT_TRUE(Value::Text("5").Differs(Value::Integer(5)));
    EXPECT_TRUE(Value::Integer(5).Differs(Value::Text("5")));

    EXPECT_FALSE(Value().Differs(Value()));
    EXPECT_TRUE(Value().Differs(Value::Integer(0)));
    EXPECT_TRUE(Value::Real(0.0).Differs(Value()));
    EXPECT_TRUE(Value().Differs(Value::Text("")));

    EXPECT_FALSE(Value::Text("abc").Differs(Value::Text("abc")));
    EXPECT_TRUE(Value::Text("abc").Differs(Value::Text("ABC")));
    EXPECT_TRUE(Value::Text("abc").Differs(Value::Text("abc ")));
    EXPECT_TRUE(Value::Text(std::string("a\0b", 3)).Differs(Value::Text(std::string("a\0c", 3))));
}

TEST(ParseInt32, AcceptsSignedDecimalsThatFit) {
    std::int32_t out = 0;
    EXPECT_TRUE(ParseInt32("12", out));
    EXPECT_EQ(out, 12);
    EXPECT_TRUE(ParseInt32("-7", out));
    EXPECT_EQ(out, -7);
    EXPECT_TRUE(ParseInt32("+3", out));
    EXPECT_EQ(out, 3);
    EXPECT_TRUE(ParseInt32("2147483647", out));
    EXPECT_EQ(out, 2147483647);
    EXPECT_TRUE(ParseInt32("-2147483648", out));
    EXPECT_EQ(out, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(ParseInt32("007", out));
    EXPECT_EQ(out, 7);

    for (const char* bad : {"", "-", "+", "1a", " 1", "1 ", "--1", "+-1", "2147483648", "-2147483649",
                            "99999999999999999999999"}) {
        EXPECT_FALSE(ParseInt32(bad, out)) << '"' << bad << '"';
    }
}

// Short texts live inside the value and longer ones beside it; either way a copy is a text of its own
// and comparison, conversion and "different" read the whole text.
TEST(Value, TextsAroundSevenBytesCopyAndCompareWhole) {
    for (const std::string& text : std::initializer_list<std::string>{
             "", "1234567", "12345678", "通信线路正常", std::string(300, 'x')}) {
        const Value value = Value::Text(text);
        Value copy = value;
        EXPECT_EQ(copy.ToText(), text);
        EXPECT_TRUE(copy.SameAs(value));
        EXPECT_FALSE(copy.Differs(value));
        EXPECT_EQ(value.Different().ToText(), text + "\r");
        Value moved = std::move(copy);
        EXPECT_EQ(moved.ToText(), text);
        copy = moved; // a moved-from value can be assigned again
        EXPECT_EQ(copy.ToText(), text);
        EXPECT_TRUE(Value::Text(text + "!").Differs(value));
    }
    EXPECT_EQ(Value::Text("12345678").ToInteger(), 12345678);
    EXPECT_FALSE(Value::Integer(1).SameAs(Value::Real(1.0))) << "equal numbers of two kinds";
    EXPECT_FALSE(Value::Real(0.0).SameAs(Value::Real(-0.0)));
}
