#include "sim/TraceReplay.h"

#include <array>
#include <charconv>
#include <set>

namespace korax::sim {

namespace {

// What a read answers once the replay is over: an empty bus.
constexpr std::uint8_t FloatingBus = 0xFF;

struct EndWord {
    ReplayEnd End;
    std::string_view Word;
};
constexpr std::array<EndWord, 4> EndWords = {{
    {ReplayEnd::Matched, "matched"},
    {ReplayEnd::Diverged, "diverged"},
    {ReplayEnd::Stopped, "stopped"},
    {ReplayEnd::Failed, "failed"},
}};

std::optional<std::size_t> Count(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

ReplayReport Ended(ReplayEnd end, std::size_t matched) {
    ReplayReport report;
    report.End = end;
    report.Matched = matched;
    return report;
}

ReplayReport Diverged(std::size_t matched, TraceKind kind, std::uint16_t port, std::uint8_t value) {
    ReplayReport report = Ended(ReplayEnd::Diverged, matched);
    report.ActualKind = kind;
    report.ActualPort = port;
    report.ActualValue = value;
    return report;
}

} // namespace

ReplayPlan PlanReplay(const Trace& trace) {
    ReplayPlan plan;
    std::set<std::uint64_t> others;
    bool first = true;
    for (std::size_t i = 0; i < trace.Records.size(); ++i) {
        const TraceRecord& record = trace.Records[i];
        if (!record.IsPortAccess()) continue;
        if (first) {
            plan.Thread = record.Thread;
            first = false;
        }
        if (record.Thread == plan.Thread) {
            plan.Accesses.push_back(i);
        } else {
            others.insert(record.Thread);
        }
    }
    plan.OtherThreads = others.size();
    return plan;
}

std::vector<ExpectedAccess> ExpectedAccesses(const Trace& trace, const ReplayPlan& plan) {
    std::vector<ExpectedAccess> expected;
    expected.reserve(plan.Accesses.size());
    for (const std::size_t index : plan.Accesses) {
        const TraceRecord& record = trace.Records[index];
        expected.push_back({record.Kind, record.Port, record.Value});
    }
    return expected;
}

std::string FormatReplayReport(const ReplayReport& report) {
    std::string text;
    for (const EndWord& row : EndWords) {
        if (row.End == report.End) text = row.Word;
    }
    if (report.End == ReplayEnd::Failed) return text + " " + report.Reason;
    text += " " + std::to_string(report.Matched);
    if (report.End == ReplayEnd::Diverged)
        text += " " + PortAccessFields(report.ActualKind, report.ActualPort, report.ActualValue);
    return text;
}

std::optional<ReplayReport> ParseReplayReport(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view word = text.substr(0, space);
    const std::string_view rest = text.substr(space + 1);
    ReplayReport report;
    const EndWord* found = nullptr;
    for (const EndWord& row : EndWords) {
        if (row.Word == word) found = &row;
    }
    if (found == nullptr) return std::nullopt;
    report.End = found->End;
    if (report.End == ReplayEnd::Failed) {
        report.Reason = std::string(rest);
        return report;
    }
    const std::size_t countEnd = rest.find(' ');
    const auto matched = Count(rest.substr(0, countEnd));
    if (!matched) return std::nullopt;
    report.Matched = *matched;
    if (report.End != ReplayEnd::Diverged) {
        if (countEnd != std::string_view::npos) return std::nullopt;
        return report;
    }
    if (countEnd == std::string_view::npos) return std::nullopt;
    try {
        const TraceRecord access = ParseTraceLine("0 T0 " + std::string(rest.substr(countEnd + 1)), 1);
        if (!access.IsPortAccess() || !access.Decoded.empty()) return std::nullopt;
        report.ActualKind = access.Kind;
        report.ActualPort = access.Port;
        report.ActualValue = access.Value;
    } catch (const TraceError&) {
        return std::nullopt;
    }
    return report;
}

TraceReplay::TraceReplay(std::vector<ExpectedAccess> expected, Finished finished)
    : expected_(std::move(expected)), finished_(std::move(finished)) {
    if (expected_.empty()) Finish(Ended(ReplayEnd::Matched, 0));
}

TraceReplay::~TraceReplay() {
    if (!done_) Finish(Ended(ReplayEnd::Stopped, next_));
}

void TraceReplay::Finish(ReplayReport report) {
    done_ = true;
    if (finished_) finished_(report);
}

void TraceReplay::Write(std::uint16_t port, std::uint8_t value) {
    if (done_) return;
    const ExpectedAccess& expected = expected_[next_];
    if (expected.Kind != TraceKind::Write || expected.Port != port || expected.Value != value) {
        Finish(Diverged(next_, TraceKind::Write, port, value));
        return;
    }
    if (++next_ == expected_.size()) Finish(Ended(ReplayEnd::Matched, next_));
}

std::uint8_t TraceReplay::Read(std::uint16_t port) {
    if (done_) return FloatingBus;
    const ExpectedAccess& expected = expected_[next_];
    if (expected.Kind != TraceKind::Read || expected.Port != port) {
        Finish(Diverged(next_, TraceKind::Read, port, 0));
        return FloatingBus;
    }
    if (++next_ == expected_.size()) Finish(Ended(ReplayEnd::Matched, next_));
    return expected.Value;
}

} // namespace korax::sim
