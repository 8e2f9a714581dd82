// The trace reader takes what the driver's trace writer produces and refuses anything else with the line
// and the reason; the replay answers and checks port accesses from what it read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/TraceReader.h"
#include "sim/TraceReplay.h"

namespace {

using namespace korax::sim;

constexpr const char* Header = "# korax24 trace 1\r\n";

TEST(TraceReader, RecordLinesAreReadFieldByField) {
    struct Case {
        const char* Line;
        TraceKind Kind;
        std::uint64_t Us;
        std::uint64_t Thread;
        std::uint16_t Port;
        std::uint8_t Value;
        std::uint32_t Units;
        const char* Text;
        const char* Decoded;
    };
    const Case cases[] = {
        {"1532 T4120 W 0x0226 0x05  ; board 0 KRX-A100 0x226 <- 0x05: AD channel select = 5",
         TraceKind::Write, 1532, 4120, 0x226, 0x05, 0, "",
         "board 0 KRX-A100 0x226 <- 0x05: AD channel select = 5"},
        {"1540 T4120 R 0x0225 0x80", TraceKind::Read, 1540, 4120, 0x225, 0x80, 0, "", ""},
        {"0 T1 R 0xffff 0xa", TraceKind::Read, 0, 1, 0xFFFF, 0x0A, 0, "", ""},
        {"18446744073709551615 T18446744073709551615 D 4294967295", TraceKind::Delay, UINT64_MAX, UINT64_MAX,
         0, 0, UINT32_MAX, "", ""},
        {"7 T2 Q board 0 AD ch 3: AD3 Temp  ; not decoded", TraceKind::Request, 7, 2, 0, 0, 0,
         "board 0 AD ch 3: AD3 Temp  ; not decoded", ""},
        {"8 T2 V AD3 Temp=1234", TraceKind::Value, 8, 2, 0, 0, 0, "AD3 Temp=1234", ""},
        {"9 T2 M \xCD\xA8\xD0\xC5", TraceKind::Message, 9, 2, 0, 0, 0, "\xCD\xA8\xD0\xC5", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        const TraceRecord record = ParseTraceLine(c.Line, 5);
        EXPECT_EQ(record.Kind, c.Kind);
        EXPECT_EQ(record.Us, c.Us);
        EXPECT_EQ(record.Thread, c.Thread);
        EXPECT_EQ(record.Port, c.Port);
        EXPECT_EQ(record.Value, c.Value);
        EXPECT_EQ(record.Units, c.Units);
        EXPECT_EQ(record.Text, c.Text);
        EXPECT_EQ(record.Decoded, c.Decoded);
        EXPECT_EQ(record.Line, c.Line);
    }
}

TEST(TraceReader, MalformedLinesAreRefusedWithTheLineAndTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"12x T1 W 0x0220 0x01", "line 4: time \"12x\" is not a decimal number"},
        {"-1 T1 W 0x0220 0x01", "line 4: time \"-1\" is not a decimal number"},
        {"18446744073709551616 T1 D 1", "line 4: time \"18446744073709551616\" is not a decimal number"},
        {"1 4120 W 0x0220 0x01", "line 4: thread \"4120\" is not T followed by its id"},
        {"1 T W 0x0220 0x01", "line 4: thread \"T\" is not T followed by its id"},
        {"1 T1", "line 4: missing the record kind"},
        {"1 T1 X 0x0220 0x01", "line 4: unknown record kind \"X\" (W, R, D, Q, V or M)"},
        {"1 T1 w 0x0220 0x01", "line 4: unknown record kind \"w\" (W, R, D, Q, V or M)"},
        {"1 T1 W", "line 4: missing the port"},
        {"1 T1 W 0x0220", "line 4: missing the value"},
        {"1 T1 W 220 0x01", "line 4: port \"220\" is not 0x followed by hexadecimal digits"},
        {"1 T1 W 0x10000 0x01", "line 4: port \"0x10000\" has more than 4 hexadecimal digits"},
        {"1 T1 W 0x0220 0x100", "line 4: value \"0x100\" has more than 2 hexadecimal digits"},
        {"1 T1 R 0x0220 0xG1", "line 4: value \"0xG1\" is not 0x followed by hexadecimal digits"},
        {"1 T1 R 0x0220 0x01 0x02",
         "line 4: unexpected \"0x02\" after the fields (decoded text follows \"  ; \")"},
        {"1 T1 D many", "line 4: delay units \"many\" is not a decimal number"},
        {"1 T1 D 4294967296", "line 4: delay units \"4294967296\" is not a decimal number"},
        {"1 T1 Q", "line 4: missing the request's text"},
        {"1 T1 V Temp", "line 4: \"Temp\" is not <tag name>=<value>"},
        {"1 T1 V =5", "line 4: \"=5\" is not <tag name>=<value>"},
        {"1 T1 M ", "line 4: missing the message"},
    };
    for (const auto& [line, reason] : cases) {
        SCOPED_TRACE(line);
        Trace trace;
        try {
            ReadTraceSegment(std::string(Header) + "# c\n\n" + line + "\n", "", trace);
            ADD_FAILURE() << "accepted";
        } catch (const TraceError& error) {
            EXPECT_EQ(error.Line(), 4);
            EXPECT_STREQ(error.what(), reason);
        }
    }
}

TEST(TraceReader, SegmentsAreHeaderCheckedAndCommentsSkipped) {
    const std::pair<const char*, const char*> refused[] = {
        {"", "seg: empty: not a korax24 trace"},
        {"1 T1 R 0x0220 0x01\n",
         "seg line 1: not a korax24 trace: it does not begin with \"# korax24 trace 1\""},
        {"# korax24 trace 2\n",
         "seg line 1: format \"# korax24 trace 2\"; this reader knows \"# korax24 trace 1\""},
    };
    for (const auto& [text, reason] : refused) {
        Trace trace;
        try {
            ReadTraceSegment(text, "seg", trace);
            ADD_FAILURE() << text;
        } catch (const TraceError& error) {
            EXPECT_STREQ(error.what(), reason);
        }
    }

    // LF or CRLF, comments and blank lines between records; a last line the writer was still at when the
    // file was copied is left out and noted, while a complete last line without its end is read.
    Trace trace;
    ReadTraceSegment("# korax24 trace 1\n# wrapped\n\n  \r\n1 T1 R 0x0220 0x01\r\n# note\n2 T1 W 0x0220 0x02",
                     "a", trace);
    ReadTraceSegment(std::string(Header) + "3 T1 W 0x0221 0x03\r\n4 T1 W 0x02", "b", trace);
    ASSERT_EQ(trace.Records.size(), 3u);
    EXPECT_EQ(trace.Records[1].LineNumber, 7);
    EXPECT_EQ(trace.Records[2].Segment, 1u);
    EXPECT_EQ(trace.Records[2].LineNumber, 2);
    EXPECT_TRUE(trace.BeginningLost) << "the first segment read is not the trace's first";
    EXPECT_TRUE(trace.CutOff);
    EXPECT_EQ(trace.Sources, (std::vector<std::string>{"a", "b"}));
}

TEST(TraceReader, WholeTraceIsTheOlderSegmentThenTheCurrent) {
    const std::filesystem::path path = "trace_reader_test.trace";
    std::filesystem::path older = path;
    older += ".1";
    std::ofstream(older, std::ios::binary) << Header << "1 T1 R 0x0220 0x01\r\n";
    std::ofstream(path, std::ios::binary) << Header << "# wrapped\r\n2 T1 R 0x0220 0x02\r\n";
    const Trace trace = ReadTraceFiles(path);
    std::filesystem::remove(older);
    ASSERT_EQ(trace.Records.size(), 2u);
    EXPECT_EQ(trace.Records[0].Value, 0x01);
    EXPECT_EQ(trace.Records[1].Value, 0x02);
    EXPECT_FALSE(trace.BeginningLost);
    std::filesystem::remove(path);
    EXPECT_THROW(ReadTraceFiles(path), TraceError);
}

TEST(TraceReplay, ReadsAreAnsweredWritesComparedAndTheEndReportedOnce) {
    Trace trace;
    ReadTraceSegment(std::string(Header) +
                         "1 T9 W 0x0220 0x01\n2 T5 R 0x0300 0x44\n3 T9 Q x\n4 T9 R 0x0221 0x7E\n"
                         "5 T9 W 0x0222 0x02\n",
                     "", trace);
    const ReplayPlan plan = PlanReplay(trace);
    EXPECT_EQ(plan.Thread, 9u);
    EXPECT_EQ(plan.Accesses, (std::vector<std::size_t>{0, 3, 4}));
    EXPECT_EQ(plan.OtherThreads, 1u);

    std::vector<std::string> reports;
    const auto replay = [&] {
        return TraceReplay(ExpectedAccesses(trace, plan), [&](const ReplayReport& report) {
            reports.push_back(FormatReplayReport(report));
        });
    };
    {
        TraceReplay run = replay();
        run.Write(0x220, 0x01);
        EXPECT_EQ(run.Read(0x221), 0x7E);
        run.Write(0x222, 0x02);
        run.Write(0x222, 0x02); // past the end: no second report
    }
    {
        TraceReplay run = replay();
        run.Write(0x220, 0x01);
        EXPECT_EQ(run.Read(0x231), 0xFF);
        EXPECT_EQ(run.Read(0x221), 0xFF) << "after a divergence nothing is compared or answered";
    }
    {
        TraceReplay run = replay();
        run.Write(0x220, 0x09);
    }
    {
        TraceReplay run = replay();
        run.Write(0x220, 0x01);
    }
    EXPECT_EQ(reports, (std::vector<std::string>{"matched 3", "diverged 1 R 0x0231 0x00",
                                                 "diverged 0 W 0x0220 0x09", "stopped 1"}));
    for (const std::string& text : reports) EXPECT_EQ(FormatReplayReport(*ParseReplayReport(text)), text);
    for (const char* bad :
         {"", "matched", "matched x", "matched 1 2", "diverged 1", "diverged 1 D 5", "ended 3"})
        EXPECT_FALSE(ParseReplayReport(bad)) << bad;
}

} // namespace
