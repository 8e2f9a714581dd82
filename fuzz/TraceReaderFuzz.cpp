// Arbitrary text through the trace reader, as a segment of a recorded trace and as a replay report. Beyond
// the sanitizers it insists on what the replay relies on: a port access read from a line reads back the
// same from the fields written for it, a replay of the accesses read ends matched, and a report read back
// from its own text is the same report.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/TraceReader.h"
#include "sim/TraceReplay.h"

namespace {

using namespace korax::sim;

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckTrace(std::string_view text) {
    Trace trace;
    try {
        ReadTraceSegment(text, "fuzz", trace);
    } catch (const TraceError& error) {
        Require(error.Line() >= 0);
        return;
    }
    for (const TraceRecord& record : trace.Records) {
        Require(record.LineNumber > 1 && record.Segment == 0);
        if (!record.IsPortAccess()) continue;
        const TraceRecord again =
            ParseTraceLine("0 T0 " + PortAccessFields(record.Kind, record.Port, record.Value), 1);
        Require(again.Kind == record.Kind && again.Port == record.Port && again.Value == record.Value);
    }
    const ReplayPlan plan = PlanReplay(trace);
    const auto expected = ExpectedAccesses(trace, plan);
    ReplayReport outcome;
    bool finished = false;
    {
        TraceReplay replay(expected, [&](const ReplayReport& report) {
            Require(!finished);
            finished = true;
            outcome = report;
        });
        for (const ExpectedAccess& access : expected) {
            if (access.Kind == TraceKind::Write) {
                replay.Write(access.Port, access.Value);
            } else {
                Require(replay.Read(access.Port) == access.Value);
            }
        }
    }
    Require(finished && outcome.End == ReplayEnd::Matched && outcome.Matched == expected.size());
}

void CheckReport(std::string_view text) {
    const auto report = ParseReplayReport(text);
    if (!report) return;
    const auto again = ParseReplayReport(FormatReplayReport(*report));
    Require(again && *again == *report);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckTrace(text);
    CheckReport(text);
    return 0;
}
