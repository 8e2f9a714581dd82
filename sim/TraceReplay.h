#pragma once
// Replay of a recorded port trace: a bus that answers every read with the byte the trace recorded and
// checks every write against the recorded write, so the real driver code runs unchanged against what a
// board in the field once answered. The first access that differs ends the comparison; what happened is
// handed over once, as a one-line report that the port I/O library stand-in writes to a file for the host.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boards/PortBus.h"
#include "sim/TraceReader.h"

namespace korax::sim {

// The accesses a replay follows: the port records of the thread that made the trace's first one (one
// driver object), as indexes into Trace::Records.
struct ReplayPlan {
    std::uint64_t Thread = 0;
    std::vector<std::size_t> Accesses;
    std::size_t OtherThreads = 0; // threads with port records that the replay leaves out
};
ReplayPlan PlanReplay(const Trace& trace);

enum class ReplayEnd : std::uint8_t {
    Matched,  // the driver made every recorded access, in order
    Diverged, // an access differed from the recorded one
    Stopped,  // the run ended before the trace did
    Failed,   // the trace could not be read
};

struct ReplayReport {
    ReplayEnd End = ReplayEnd::Matched;
    std::size_t Matched = 0; // accesses that matched; on divergence, the index of the one that did not
    // The access the driver made instead (Diverged).
    TraceKind ActualKind = TraceKind::Write;
    std::uint16_t ActualPort = 0;
    std::uint8_t ActualValue = 0;
    std::string Reason; // Failed
    bool operator==(const ReplayReport&) const = default;
};

// "matched 120", "diverged 17 W 0x0326 0x05", "stopped 40", "failed <reason>".
std::string FormatReplayReport(const ReplayReport& report);
std::optional<ReplayReport> ParseReplayReport(std::string_view text);

// One expected access of a replay.
struct ExpectedAccess {
    TraceKind Kind; // Write or Read
    std::uint16_t Port;
    std::uint8_t Value;
};
std::vector<ExpectedAccess> ExpectedAccesses(const Trace& trace, const ReplayPlan& plan);

class TraceReplay : public boards::PortBus {
public:
    using Finished = std::function<void(const ReplayReport&)>;
    // finished is called once: when the last access matched, at the first divergence, or (Stopped) when
    // the replay is destroyed before either.
    TraceReplay(std::vector<ExpectedAccess> expected, Finished finished);
    ~TraceReplay() override;
    TraceReplay(const TraceReplay&) = delete;
    TraceReplay& operator=(const TraceReplay&) = delete;

    void Write(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t Read(std::uint16_t port) override;
    void Delay(std::uint32_t) override {}

private:
    void Finish(ReplayReport report);

    std::vector<ExpectedAccess> expected_;
    Finished finished_;
    std::size_t next_ = 0;
    bool done_ = false;
};

} // namespace korax::sim
