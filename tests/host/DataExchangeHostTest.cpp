// Tag values crossing the boundary as a host moves them: value records read at their fixed byte offsets,
// writes by record, one-off reads, tags added while scanning and the special tags. Scans run in real time
// with short intervals; what is asserted leaves room for a slow machine, and holds whether or not the
// values of readable inputs move, so only written outputs, special tags and encodings are exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/HostHarness.h"

namespace {

using namespace korax::hosttest;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

const std::string InitFailed = "通讯设备初始化失败";
const std::string Timeout = "通讯超时错，期待设备应答";
const std::string SeriousFault = "严重故障：连续通讯失败，请检查线路和设备";
const std::string LinkNormal = "通信线路正常";

constexpr std::size_t RecordSize = 28;
constexpr std::uint8_t Untouched = 0xCD; // fills the host's array before each call

// One value record as the host finds it, read at the record's fixed offsets.
struct Report {
    std::int32_t TagId = 0;
    double Stamp = 0;
    std::uint32_t Status = 0;
    std::uint8_t DataType = 0;
    double Real = 0;                 // data type 0
    std::int32_t Word = 0;           // data type 1
    std::optional<std::string> Text; // data type 2, its block released
};
using Calls = std::vector<std::vector<Report>>; // the reports of each OnDataRead call

template <typename T>
T At(const std::uint8_t* bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

Report Parse(const std::uint8_t* record) {
    Report report;
    report.TagId = At<std::int32_t>(record, 0);
    report.Stamp = At<double>(record, 4); // unaligned on purpose: the record is packed
    report.Status = At<std::uint32_t>(record, 12);
    report.DataType = record[16];
    switch (report.DataType) {
    case RealType:
        report.Real = At<double>(record, 20);
        break;
    case BooleanType:
        report.Word = At<std::int32_t>(record, 20);
        break;
    case TextType: {
        char* text = At<char*>(record, 20);
        report.Text = Take(text);
        break;
    }
    default:
        ADD_FAILURE() << "record of data type " << int{report.DataType};
    }
    return report;
}

std::vector<Report> ReportsOf(const Calls& calls, std::int32_t tagId) {
    std::vector<Report> found;
    for (const auto& call : calls) {
        for (const Report& report : call) {
            if (report.TagId == tagId) found.push_back(report);
        }
    }
    return found;
}

// The local date-time of the host's own clock, in days since 1899-12-30.
double LocalNow() {
    const std::time_t now = std::time(nullptr);
    const std::tm local = *std::localtime(&now);
    using namespace std::chrono;
    const sys_days today{year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
    const auto days = (today - sys_days{year{1899} / 12 / 30}).count();
    return static_cast<double>(days) + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

class DataExchange : public HostTest {
protected:
    // One OnDataRead into an array of `capacity` records and one more that must stay untouched.
    std::vector<Report> Read(std::size_t capacity) {
        std::vector<std::uint8_t> bytes((capacity + 1) * RecordSize, Untouched);
        std::int32_t count = -1;
        char* message = nullptr;
        EXPECT_EQ(driver->OnDataRead(&count, reinterpret_cast<TagValueRec*>(bytes.data()), &message), 1);
        Note(message);
        EXPECT_GE(count, 0);
        EXPECT_LE(count, static_cast<std::int32_t>(capacity));
        const auto used = static_cast<std::size_t>(std::clamp<std::int32_t>(count, 0, capacity));
        std::vector<Report> reports;
        for (std::size_t i = 0; i < used; ++i) reports.push_back(Parse(bytes.data() + i * RecordSize));
        EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(used * RecordSize), bytes.end(),
                                [](std::uint8_t b) { return b == Untouched; }))
            << "bytes past the counted records were written";
        return reports;
    }

    // OnDataRead every 10 ms, as a host's timer would, until `done` holds for the reports so far or the
    // time is up. Now and then the pending message is collected by GetDeviceStatus instead.
    Calls Scan(std::size_t capacity, std::chrono::milliseconds span,
               const std::function<bool(const Calls&)>& done = nullptr) {
        Calls calls;
        const auto end = SteadyClock::now() + span;
        for (int i = 0; SteadyClock::now() < end; ++i) {
            calls.push_back(Read(capacity));
            if (done && done(calls)) break;
            if (i % 4 == 3) {
                char* message = nullptr;
                EXPECT_EQ(driver->GetDeviceStatus(&message), 1);
                Note(message);
            }
            std::this_thread::sleep_for(10ms);
        }
        return calls;
    }

    // The next report of a tag, within half a second.
    std::optional<Report> NextReport(std::int32_t tagId, std::size_t capacity) {
        const Calls calls = Scan(capacity, 500ms, [tagId](const Calls& so) {
            return std::any_of(so.back().begin(), so.back().end(),
                               [tagId](const Report& r) { return r.TagId == tagId; });
        });
        const auto reports = ReportsOf(calls, tagId);
        if (reports.empty()) return std::nullopt;
        return reports.front();
    }

    bool Write(const std::vector<TagValueRec>& records) {
        char* message = nullptr;
        const bool result =
            driver->OnDataWrite(static_cast<std::int32_t>(records.size()), records.data(), &message) != 0;
        Note(message);
        return result;
    }

    // Takes a message handed over while scanning; only link supervision has anything to say here.
    void Note(char*& message) {
        if (const auto text = Take(message)) {
            EXPECT_TRUE(*text == Timeout || *text == SeriousFault) << *text;
        }
    }
};

TEST_F(DataExchange, OnDataReadWithoutObjectOrArrayHandsOutTheFailure) {
    std::vector<std::uint8_t> bytes(2 * RecordSize, Untouched);
    auto* records = reinterpret_cast<TagValueRec*>(bytes.data());
    std::int32_t count = 5;
    char* message = nullptr;
    EXPECT_EQ(driver->OnDataRead(&count, records, &message), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Take(message), InitFailed);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == Untouched; }));

    TagSet tags{{1, "DA0"}};
    tags.Typed(1, RealType, 20);
    ASSERT_TRUE(Initialise(tags));
    count = 5;
    EXPECT_EQ(driver->OnDataRead(&count, nullptr, &message), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Take(message), InitFailed);
    EXPECT_EQ(driver->OnDataRead(nullptr, records, &message), 1) << "a nil count cell is tolerated";
    EXPECT_EQ(Take(message), InitFailed);
}

TEST_F(DataExchange, ScanReportsRecordsByteByByte) {
    TagSet tags{{1, "AD0"},        {300, "DA0"},    {3, "DO0"}, {4, "DO1"},
                {5, "ENCOMMLINK"}, {6, "COMMLINK"}, {7, "DA1"}};
    tags.Typed(1, RealType, 20)
        .Typed(300, RealType, 20)
        .Initial(300, 3.0)
        .Typed(3, BooleanType, 20)
        .Initial(3, true)
        .Typed(4, TextType, 20)
        .Typed(5, TextType, 20)
        .Typed(6, BooleanType, 20)
        .Typed(7, RealType, 1000);
    ASSERT_TRUE(Initialise(tags));
    const Calls calls = Scan(tags.Records.size(), 600ms);
    const double now = LocalNow();

    std::map<std::int32_t, std::size_t> position;
    for (std::size_t i = 0; i < tags.Records.size(); ++i)
        position[static_cast<std::int32_t>(tags.Records[i].TagId)] = i;
    for (const auto& call : calls) {
        std::optional<std::size_t> previous;
        for (const Report& report : call) {
            ASSERT_TRUE(position.contains(report.TagId)) << report.TagId;
            const std::size_t at = position[report.TagId];
            EXPECT_TRUE(!previous || *previous < at) << "reports follow the tag table, each tag once";
            previous = at;
            EXPECT_NEAR(report.Stamp, now, 5.0 / 86400) << "local date-time in days since 1899-12-30";
            EXPECT_EQ(report.Status, 0u);
            EXPECT_EQ(report.DataType, tags.Records[at].DataType);
        }
    }

    // Unchanged tags: the six reports every new tag gets, then nothing.
    const auto da = ReportsOf(calls, 300);
    EXPECT_EQ(da.size(), 6u);
    for (const Report& r : da) EXPECT_EQ(r.Real, 3.0);
    const auto boolean = ReportsOf(calls, 3);
    EXPECT_EQ(boolean.size(), 6u);
    for (const Report& r : boolean) EXPECT_EQ(r.Word, 1) << "true is the word 1, whatever the host sent";
    const auto empty = ReportsOf(calls, 4);
    EXPECT_EQ(empty.size(), 6u);
    for (const Report& r : empty) EXPECT_EQ(r.Text, std::nullopt) << "an empty text is a nil pointer";
    EXPECT_GE(ReportsOf(calls, 1).size(), 6u) << "an input may move, so it may be reported more often";
    EXPECT_TRUE(ReportsOf(calls, 7).empty()) << "not due before its interval has passed";

    // The link tags show the link's state from the first completed step on.
    const auto enable = ReportsOf(calls, 5);
    ASSERT_GE(enable.size(), 6u);
    for (const Report& r : enable) EXPECT_TRUE(!r.Text || *r.Text == LinkNormal) << *r.Text;
    EXPECT_EQ(enable.back().Text, LinkNormal);
    const auto link = ReportsOf(calls, 6);
    ASSERT_GE(link.size(), 6u);
    for (const Report& r : link) EXPECT_TRUE(r.Word == 0 || r.Word == 1) << r.Word;
    EXPECT_EQ(link.back().Word, 1);
}

TEST_F(DataExchange, OnDataWriteAnswersTheLastAttemptedWrite) {
    TagSet tags{{1, "DA0"}, {2, "DI0"}};
    tags.Typed(1, RealType, 20).Typed(2, RealType, 20);
    ASSERT_TRUE(Initialise(tags));
    const auto shown = NextReport(1, 2);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->Real, 0.0);

    EXPECT_FALSE(Write({WordRecord(1, 1)})) << "a Boolean record for a real tag is skipped";
    const auto unchanged = NextReport(1, 2);
    ASSERT_TRUE(unchanged);
    EXPECT_EQ(unchanged->Real, 0.0) << "the skipped record wrote nothing";

    EXPECT_TRUE(Write({RealRecord(1, 5.0)}));
    const auto written = NextReport(1, 2);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->Real, 5.0);

    EXPECT_FALSE(Write({RealRecord(1, 6.0), RealRecord(2, 1.0)})) << "the refused input write came last";
    EXPECT_TRUE(Write({RealRecord(2, 1.0), RealRecord(1, 6.0), WordRecord(1, 1), RealRecord(99, 1.0)}))
        << "skipped records after the last attempted write do not count";
    EXPECT_FALSE(Write({RealRecord(99, 1.0)})) << "an unknown tag is skipped: no write attempted";
}

TEST_F(DataExchange, OnDataWriteWithoutObjectOrRecordsFails) {
    const TagValueRec record = RealRecord(1, 5.0);
    char* message = nullptr;
    EXPECT_EQ(driver->OnDataWrite(1, &record, &message), 0);
    EXPECT_EQ(Take(message), InitFailed);

    TagSet tags{{1, "DA0"}};
    tags.Typed(1, RealType, 20);
    ASSERT_TRUE(Initialise(tags));
    for (const std::int32_t count : {0, -1}) {
        EXPECT_EQ(driver->OnDataWrite(count, &record, &message), 0) << count;
        EXPECT_EQ(Take(message), InitFailed) << count;
    }
    EXPECT_EQ(driver->OnDataWrite(1, nullptr, &message), 0);
    EXPECT_EQ(Take(message), InitFailed);
    const auto shown = NextReport(1, 1);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->Real, 0.0);
}

TEST_F(DataExchange, WriteTagsAnswersOneForAnyRefusedWrite) {
    const TagValueRec good = RealRecord(1, 5.0);
    EXPECT_EQ(driver->WriteTags(1, &good, 0), 1) << "no driver object";

    TagSet tags{{1, "DA0"}, {2, "DI0"}, {3, "DO0"}};
    tags.Typed(1, RealType, 20).Typed(2, RealType, 20).Typed(3, BooleanType, 20);
    ASSERT_TRUE(Initialise(tags));
    EXPECT_EQ(driver->WriteTags(1, nullptr, 0), 1);
    EXPECT_EQ(driver->WriteTags(0, &good, 0), 1);
    const TagValueRec toInput = RealRecord(2, 1.0);
    EXPECT_EQ(driver->WriteTags(1, &toInput, 0), 1) << "DI is not writable";
    EXPECT_EQ(driver->WriteTags(1, &good, 0), 0);
    const std::vector<TagValueRec> unknownAndGood = {RealRecord(77, 1.0), good};
    EXPECT_EQ(driver->WriteTags(2, unknownAndGood.data(), 0), 0) << "an unknown tag is skipped";
    const std::vector<TagValueRec> refusedThenGood = {toInput, good};
    EXPECT_EQ(driver->WriteTags(2, refusedThenGood.data(), 0), 1) << "any refusal counts, not only the last";
    const TagValueRec mismatch = WordRecord(1, 1);
    EXPECT_EQ(driver->WriteTags(1, &mismatch, 0), 0) << "a skipped record is no failure";

    // The whole Boolean word counts: a bit in its second byte is true, reported as the word 1.
    const TagValueRec high = WordRecord(3, 0x100);
    EXPECT_EQ(driver->WriteTags(1, &high, 0), 0);
    const auto output = NextReport(3, 3);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->Word, 1);
    const auto analog = NextReport(1, 3);
    ASSERT_TRUE(analog);
    EXPECT_EQ(analog->Real, 5.0);
}

TEST_F(DataExchange, ReadTagsAnswersOnlyForTheArray) {
    const std::int32_t ids[] = {1, 2, 77};
    EXPECT_EQ(driver->ReadTags(3, ids, 0), 0) << "a valid array without a driver object";
    EXPECT_EQ(driver->ReadTags(0, ids, 0), 1);
    EXPECT_EQ(driver->ReadTags(3, nullptr, 0), 1);

    TagSet tags{{1, "AD0"}, {2, "RunCount0"}};
    tags.Typed(1, RealType, 20).Typed(2, RealType, 20);
    ASSERT_TRUE(Initialise(tags));
    EXPECT_EQ(driver->ReadTags(3, ids, 0), 0) << "the single reads' answers are not passed on";
    EXPECT_EQ(driver->ReadTags(0, ids, 0), 1);
    EXPECT_FALSE(ReportsOf(Scan(2, 200ms), 1).empty()) << "scanning goes on with the reads queued";
}

// After FreeDriver the object stays in the slot, closed, with no tags: no records, every write skipped
// (OnDataWrite attempted none, so false), the scan time kept.
TEST_F(DataExchange, ExportsAfterFreeDriverReportAndWriteNothing) {
    TagSet tags{{1, "DA0"}, {2, "ENLOG"}};
    tags.Typed(1, RealType, 0).Typed(2, RealType, 0);
    ASSERT_TRUE(Initialise(tags));
    EXPECT_EQ(driver->FreeDriver(), 1);
    EXPECT_TRUE(Read(2).empty());
    EXPECT_FALSE(Write({RealRecord(1, 5.0)}));
    EXPECT_FALSE(Write({RealRecord(2, 0.0)})) << "nor are special tags written";
    const TagValueRec record = RealRecord(1, 5.0);
    EXPECT_EQ(driver->WriteTags(1, &record, 0), 0) << "a record of no registered tag is skipped, not refused";
    EXPECT_TRUE(Read(2).empty());
    EXPECT_EQ(driver->DetectScanTime(), 10);
}

TEST_F(DataExchange, AddedTagIsReported) {
    TagSet first{{1, "AD0"}};
    first.Typed(1, RealType, 20);
    ASSERT_TRUE(Initialise(first));
    TagSet more{{9, "DA1"}};
    more.Typed(9, RealType, 20).Initial(9, 7.0);
    std::int32_t cell = 5;
    EXPECT_EQ(driver->AddTags(1, more.Array(), &cell), 0);
    EXPECT_EQ(cell, 0);

    const Calls calls = Scan(2, 500ms);
    const auto added = ReportsOf(calls, 9);
    EXPECT_EQ(added.size(), 6u);
    for (const Report& r : added) {
        EXPECT_EQ(r.DataType, RealType);
        EXPECT_EQ(r.Real, 7.0);
    }
    EXPECT_FALSE(ReportsOf(calls, 1).empty()) << "the tag from IniDriver is still scanned";
}

TEST_F(DataExchange, TextWritesAreCopiedAndAnEmptyOneIsNil) {
    TagSet tags{{1, "DO1"}};
    tags.Typed(1, TextType, 20);
    ASSERT_TRUE(Initialise(tags));
    char text[] = "开";
    EXPECT_TRUE(Write({TextRecord(1, text)}));
    std::memset(text, 'x', sizeof text - 1); // the host's string is its own again after the call
    const auto written = NextReport(1, 1);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->Text, "开");

    EXPECT_TRUE(Write({TextRecord(1, nullptr)}));
    const auto cleared = NextReport(1, 1);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->Text, std::nullopt);
}

// Special tags alone make no poll requests, so no scan step refreshes them: what is reported is exactly
// what the write left in the tag.
TEST_F(DataExchange, RealWriteToEnLogShowsOneOrZero) {
    TagSet tags{{1, "ENLOG"}};
    tags.Typed(1, RealType, 20);
    ASSERT_TRUE(Initialise(tags));
    EXPECT_TRUE(Write({RealRecord(1, 2.5)}));
    const auto on = NextReport(1, 1);
    ASSERT_TRUE(on);
    EXPECT_EQ(on->Real, 1.0);
    EXPECT_TRUE(Write({RealRecord(1, 0.0)}));
    const auto off = NextReport(1, 1);
    ASSERT_TRUE(off);
    EXPECT_EQ(off->Real, 0.0);
}

TEST_F(DataExchange, CommLinkWrittenFalseHoldsUntilTheLinkIsHeardFrom) {
    TagSet tags{{1, "COMMLINK"}};
    tags.Typed(1, BooleanType, 20).Initial(1, true);
    ASSERT_TRUE(Initialise(tags));
    const auto initial = NextReport(1, 1);
    ASSERT_TRUE(initial);
    EXPECT_EQ(initial->Word, 1);
    EXPECT_TRUE(Write({WordRecord(1, 0)}));
    const auto held = ReportsOf(Scan(1, 150ms), 1);
    EXPECT_FALSE(held.empty());
    for (const Report& r : held) EXPECT_EQ(r.Word, 0);

    // A polled tag starts the scan steps; the link comes back with them.
    TagSet polled{{2, "AD0"}};
    polled.Typed(2, RealType, 20);
    std::int32_t cell = 5;
    ASSERT_EQ(driver->AddTags(1, polled.Array(), &cell), 0);
    const auto link = ReportsOf(Scan(2, 1000ms,
                                     [](const Calls& so) {
                                         const auto reports = ReportsOf(so, 1);
                                         return !reports.empty() && reports.back().Word == 1;
                                     }),
                                1);
    ASSERT_FALSE(link.empty());
    EXPECT_EQ(link.back().Word, 1);
    for (const Report& r : link) EXPECT_TRUE(r.Word == 0 || r.Word == 1) << r.Word;
}

} // namespace
