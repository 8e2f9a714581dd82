#include "driver/HostRecords.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "driver/HostMemory.h"
#include "host/HostHarness.h"

using namespace korax::driver;
using korax::framework::Value;

namespace {

// A zeroed record, as the host's editor leaves the bytes it does not set.
std::unique_ptr<HostTagDef> Record() {
    auto record = std::make_unique<HostTagDef>();
    std::memset(record.get(), 0, sizeof(HostTagDef));
    return record;
}

template <typename T>
Value Initial(std::uint16_t type, T bytes) {
    static_assert(sizeof(T) <= sizeof(HostTagDef::InitialValue));
    auto record = Record();
    record->InitialType = type;
    std::memcpy(record->InitialValue, &bytes, sizeof bytes);
    return ReadInitialValue(*record);
}

Value InitialPointer(std::uint16_t type, const void* pointer) {
    auto record = Record();
    record->InitialType = type;
    std::memcpy(record->InitialValue, &pointer, sizeof(void*));
    return ReadInitialValue(*record);
}

} // namespace

TEST(HostRecords, NameAndAddressStopAtTheFirstZeroOrTheFieldEnd) {
    auto record = Record();
    record->TagId = 0xFFFFFFFFu;
    std::memcpy(record->Name, "Pump\0Old", 8);
    std::memcpy(record->Address, "AD3", 3);
    record->DataType = 2;
    record->ScanInterval = 4000000000u;
    const auto def = ReadTagDefinition(*record);
    EXPECT_EQ(def.TagId, 0xFFFFFFFFu);
    EXPECT_EQ(def.Name, "Pump");
    EXPECT_EQ(def.Address, "AD3");
    EXPECT_EQ(def.DataType, 2);
    EXPECT_EQ(def.ScanInterval, 4000000000u);
    EXPECT_TRUE(def.InitialValue.IsEmpty());

    // Full fields with non-zero bytes right behind them: exactly the field, nothing of its neighbour.
    auto full = Record();
    std::memset(full->Name, 'N', sizeof full->Name);
    std::memset(full->Reserved1, 'x', sizeof full->Reserved1);
    std::memset(full->Address, 'A', sizeof full->Address);
    full->DataType = 'y';
    std::memset(full->Reserved2, 'z', sizeof full->Reserved2);
    const auto fullDef = ReadTagDefinition(*full);
    EXPECT_EQ(fullDef.Name, std::string(32, 'N'));
    EXPECT_EQ(fullDef.Address, std::string(64, 'A'));

    EXPECT_TRUE(ReadTagDefinition(*Record()).Name.empty());
}

TEST(HostRecords, IntegerInitialValuesKeepTheirSignedness) {
    const auto integer = [](const Value& v) {
        EXPECT_EQ(v.GetKind(), Value::Kind::Integer);
        return v.ToInteger();
    };
    EXPECT_EQ(integer(Initial<std::int16_t>(2, -5)), -5);
    EXPECT_EQ(integer(Initial<std::int32_t>(3, -70000)), -70000);
    EXPECT_EQ(integer(Initial<std::int8_t>(16, -1)), -1);
    EXPECT_EQ(integer(Initial<std::uint8_t>(17, 255)), 255);
    EXPECT_EQ(integer(Initial<std::uint16_t>(18, 65535)), 65535);
    EXPECT_EQ(integer(Initial<std::uint32_t>(19, 4000000000u)), 4000000000);
    EXPECT_EQ(integer(Initial<std::int64_t>(20, -5000000000)), -5000000000);
    EXPECT_EQ(integer(Initial<std::uint64_t>(21, 5000000000u)), 5000000000);
    EXPECT_EQ(integer(Initial<std::int32_t>(22, -9)), -9);
    EXPECT_EQ(integer(Initial<std::uint32_t>(23, 4000000000u)), 4000000000);

    // Bytes of the value field beyond the type's width are not part of it.
    EXPECT_EQ(integer(Initial<std::uint64_t>(2, 0xFFFFFFFF0000FFFBull)), -5);
    EXPECT_EQ(integer(Initial<std::uint64_t>(17, 0x1234567890ABCDFFull)), 255);

    // An unsigned 64-bit value beyond the signed range stays positive.
    const Value huge = Initial<std::uint64_t>(21, std::numeric_limits<std::uint64_t>::max());
    EXPECT_GT(huge.ToDouble(), 1.8e19);
}

TEST(HostRecords, RealCurrencyAndBooleanInitialValues) {
    const Value single = Initial<float>(4, 1.5f);
    EXPECT_EQ(single.GetKind(), Value::Kind::Real);
    EXPECT_EQ(single.ToDouble(), 1.5);
    const Value dbl = Initial<double>(5, -2.25);
    EXPECT_EQ(dbl.GetKind(), Value::Kind::Real);
    EXPECT_EQ(dbl.ToDouble(), -2.25);
    const Value date = Initial<double>(7, 45000.75);
    EXPECT_EQ(date.GetKind(), Value::Kind::Real);
    EXPECT_EQ(date.ToDouble(), 45000.75);

    // Currency is a count of ten-thousandths.
    const Value money = Initial<std::int64_t>(6, 123456);
    EXPECT_EQ(money.GetKind(), Value::Kind::Real);
    EXPECT_DOUBLE_EQ(money.ToDouble(), 12.3456);
    EXPECT_DOUBLE_EQ(Initial<std::int64_t>(6, -5).ToDouble(), -0.0005);

    for (const std::int16_t truth : {std::int16_t{-1}, std::int16_t{1}, std::int16_t{0x100}}) {
        const Value b = Initial<std::int16_t>(11, truth);
        EXPECT_EQ(b.GetKind(), Value::Kind::Boolean) << truth;
        EXPECT_TRUE(b.ToBool()) << truth;
    }
    const Value no = Initial<std::int16_t>(11, 0);
    EXPECT_EQ(no.GetKind(), Value::Kind::Boolean);
    EXPECT_FALSE(no.ToBool());
}

TEST(HostRecords, StringInitialValuesFollowTheirPointer) {
    static const char16_t wide[] = u"AB中";
    const Value w = InitialPointer(8, wide);
    EXPECT_EQ(w.GetKind(), Value::Kind::Text);
    EXPECT_EQ(w.ToText(), "AB中"); // this file's narrow literals are GBK bytes
    EXPECT_EQ(w.ToText().size(), 4u);

    static const char16_t emptyWide[] = u"";
    const Value we = InitialPointer(8, emptyWide);
    EXPECT_EQ(we.GetKind(), Value::Kind::Text);
    EXPECT_EQ(we.ToText(), "");

    static const char host[] = "xyz";
    const Value h = InitialPointer(0x100, host);
    EXPECT_EQ(h.GetKind(), Value::Kind::Text);
    EXPECT_EQ(h.ToText(), "xyz");

    EXPECT_TRUE(InitialPointer(8, nullptr).IsEmpty());
    EXPECT_TRUE(InitialPointer(0x100, nullptr).IsEmpty());
}

TEST(HostRecords, UnusableInitialValuesCountAsNone) {
    static const std::int32_t target = 77;
    static const char16_t wide[] = u"AB";
    // Empty, null, by-reference and unknown type codes give no value, whatever the value bytes hold.
    EXPECT_TRUE(Initial<std::int32_t>(0, 5).IsEmpty());
    EXPECT_TRUE(Initial<std::int32_t>(1, 5).IsEmpty());
    EXPECT_TRUE(InitialPointer(0x4003, &target).IsEmpty());
    EXPECT_TRUE(InitialPointer(0x4008, wide).IsEmpty());
    EXPECT_TRUE(Initial<std::int32_t>(0x0FFF, 5).IsEmpty());
    EXPECT_TRUE(Initial<std::int32_t>(0x2003, 5).IsEmpty()); // array of int32

    auto record = Record();
    std::memcpy(record->Name, "T", 1);
    record->InitialType = 3;
    const std::int32_t seven = 7;
    std::memcpy(record->InitialValue, &seven, sizeof seven);
    const auto def = ReadTagDefinition(*record);
    EXPECT_EQ(def.InitialValue.GetKind(), Value::Kind::Integer);
    EXPECT_EQ(def.InitialValue.ToInteger(), 7);
}

// Only "empty" and "null" mean no initial value; every other code the driver does not decode is an
// initial value given in a form it cannot read.
TEST(HostRecords, UndecodedInitialValuesAreToldFromNone) {
    const std::pair<std::uint16_t, bool> cases[] = {
        {0, false},
        {1, false},
        {3, false},
        {5, false},
        {11, false},
        {10, true} /* error */,
        {14, true} /* decimal */,
        {0x4003, true},
        {0x2005, true} /* array */,
        {8, true} /* wide string, nil */,
        {0x100, true} /* nil */,
        {0x0FFF, true},
    };
    for (const auto& [type, undecoded] : cases) {
        auto record = Record();
        record->InitialType = type;
        const auto def = ReadTagDefinition(*record);
        EXPECT_EQ(def.InitialUndecoded, undecoded) << std::hex << type;
        EXPECT_EQ(def.InitialValue.IsEmpty(), undecoded || type < 2) << std::hex << type;
    }
}

namespace {

// A record whose every byte is 0xAB, so untouched bytes show.
TagValueRec Filled() {
    TagValueRec record;
    std::memset(&record, 0xAB, sizeof record);
    return record;
}

template <typename T>
T BytesAt(const TagValueRec& record, std::size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(&record) + offset, sizeof value);
    return value;
}

TagValueRec HostRecord(std::uint8_t dataType, const void* value, std::size_t size) {
    TagValueRec record = Filled();
    record.DataType = dataType;
    std::memcpy(record.Value, value, size);
    return record;
}

} // namespace

TEST(HostRecords, ValueRecordFieldsSitAtTheirOffsets) {
    TagValueRec record = Filled();
    WriteValueRecord(record, 0x80000001u, 45000.75, 0, 0, Value::Real(-2.25));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[3], 0x80);
    EXPECT_EQ(BytesAt<std::int32_t>(record, 0), -2147483647) << "read back as signed by the host";
    EXPECT_EQ(BytesAt<double>(record, 4), 45000.75);
    EXPECT_EQ(BytesAt<std::uint32_t>(record, 12), 0u);
    EXPECT_EQ(bytes[16], 0);
    EXPECT_EQ(BytesAt<double>(record, 20), -2.25);

    // A special tag shows its state as an integer; a real record carries it as a double.
    WriteValueRecord(record, 1, 0, 0, 0, Value::Integer(1));
    EXPECT_EQ(BytesAt<double>(record, 20), 1.0);
}

TEST(HostRecords, BooleanRecordsCarryOnlyOneOrZero) {
    const std::pair<Value, std::int32_t> cases[] = {
        {Value::Boolean(true), 1}, {Value::Boolean(false), 0}, {Value::Real(2.5), 1},
        {Value::Real(0.0), 0},     {Value::Integer(-1), 1},    {Value::Integer(256), 1},
    };
    for (const auto& [value, word] : cases) {
        TagValueRec record = Filled();
        WriteValueRecord(record, 7, 0, 0, 1, value);
        EXPECT_EQ(record.DataType, 1);
        EXPECT_EQ(BytesAt<std::int32_t>(record, 20), word) << value.ToText();
    }
}

TEST(HostRecords, DataTypeOutsideTheThreeLeavesTheValueBytes) {
    TagValueRec record = Filled();
    WriteValueRecord(record, 7, 1.5, 0, 3, Value::Real(9.0));
    EXPECT_EQ(record.DataType, 3);
    EXPECT_EQ(BytesAt<double>(record, 4), 1.5);
    for (const std::uint8_t byte : record.Value) EXPECT_EQ(byte, 0xAB);
}

// The texts go through the process-shared memory manager, which the library binds when it is loaded. A
// test executable is not loaded as a library on every system, so the binding is made here explicitly.
TEST(HostRecords, TextRecordsAreBlocksOfTheSharedManagerAndEmptyIsNil) {
    auto& manager = korax::hosttest::Manager::Get();
    ASSERT_TRUE(manager.Library.Loaded());
    const auto pointer = [](const TagValueRec& record) { return BytesAt<char*>(record, 20); };

    UnbindHostMemory(false);
    TagValueRec record = Filled();
    WriteValueRecord(record, 7, 0, 0, 2, Value::Text("开关"));
    EXPECT_EQ(pointer(record), nullptr) << "without the manager nothing can be handed over";

    BindHostMemory();
    const std::int32_t live = manager.LiveBlocks();
    WriteValueRecord(record, 7, 0, 0, 2, Value::Text("开关"));
    char* text = pointer(record);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "开关");
    EXPECT_EQ(manager.FreeMem(text), 0) << "the host must be able to release it";

    WriteValueRecord(record, 7, 0, 0, 2, Value::Real(2.5));
    text = pointer(record);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "2.5");
    EXPECT_EQ(manager.FreeMem(text), 0);

    record = Filled();
    WriteValueRecord(record, 7, 0, 0, 2, Value::Text(""));
    EXPECT_EQ(pointer(record), nullptr);
    EXPECT_EQ(manager.LiveBlocks(), live) << "an empty text takes no block";
}

TEST(HostRecords, ValueRecordsAreReadByTheirDataType) {
    const double real = 5.5;
    const Value r = ReadValueRecord(HostRecord(0, &real, sizeof real));
    EXPECT_EQ(r.GetKind(), Value::Kind::Real);
    EXPECT_EQ(r.ToDouble(), 5.5);

    // The whole first word decides; the bytes behind it do not.
    const std::uint64_t secondByte = 0x100;
    const Value high = ReadValueRecord(HostRecord(1, &secondByte, sizeof secondByte));
    EXPECT_EQ(high.GetKind(), Value::Kind::Boolean);
    EXPECT_TRUE(high.ToBool());
    const std::uint64_t upperWord = 0xFFFFFFFF00000000ull;
    EXPECT_FALSE(ReadValueRecord(HostRecord(1, &upperWord, sizeof upperWord)).ToBool());

    char host[] = "abc";
    const char* hostPointer = host;
    const Value t = ReadValueRecord(HostRecord(2, &hostPointer, sizeof hostPointer));
    host[0] = 'x';
    EXPECT_EQ(t.GetKind(), Value::Kind::Text);
    EXPECT_EQ(t.ToText(), "abc") << "the host's string is copied";
    const char* nil = nullptr;
    const Value none = ReadValueRecord(HostRecord(2, &nil, sizeof nil));
    EXPECT_EQ(none.GetKind(), Value::Kind::Text);
    EXPECT_EQ(none.ToText(), "");

    // An unterminated string is read up to the limit and not a byte further.
    const auto unterminated = std::make_unique<char[]>(65535);
    std::memset(unterminated.get(), 'a', 65535);
    const char* longPointer = unterminated.get();
    EXPECT_EQ(ReadValueRecord(HostRecord(2, &longPointer, sizeof longPointer)).ToText().size(), 65535u);

    for (const std::uint8_t type : {std::uint8_t{3}, std::uint8_t{255}})
        EXPECT_TRUE(ReadValueRecord(HostRecord(type, &real, sizeof real)).IsEmpty()) << int{type};
}
