// Runs a fixed number of steady-state OnDataRead steps of one layout and tag count, for the
// instruction-count check (ScanCostCheck.cmake runs it under callgrind, which counts the instructions of
// the steps alone). Exits 1 when the steps allocate or report anything: the steady state does neither.
// With "traced" the port trace is on (into FILE): its batches are handed to the trace's own thread, so
// the steps may allocate then.
//   scan_cost LAYOUT TAGS STEPS [traced FILE]     (LAYOUT: shared or device)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "boards/PortTrace.h"

#include "Layouts.h"
#include "support/FakeClock.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

int main(int argc, char** argv) {
    const bool traced = argc == 6 && std::string(argv[4]) == "traced";
    if (argc != 4 && !traced) {
        std::fprintf(stderr, "usage: scan_cost shared|device TAGS STEPS [traced FILE]\n");
        return 2;
    }
    try {
        const korax::bench::Layout layout = korax::bench::LayoutNamed(argv[1]);
        const int count = std::stoi(argv[2]);
        const int steps = std::stoi(argv[3]);
        korax::test::FakeClock clock;
        std::optional<korax::boards::TraceFile> trace; // outlives the object
        if (traced) trace.emplace(korax::boards::TraceSettings{.File = argv[5]}, clock);
        korax::bench::SteadyObject steady(layout, count, clock);
        if (trace) steady.object.TraceTo(*trace);
        const std::uint64_t before = korax::bench::Allocations();
        CALLGRIND_START_INSTRUMENTATION;
        for (int i = 0; i < steps; ++i) steady.Step(clock);
        CALLGRIND_STOP_INSTRUMENTATION;
        const std::uint64_t allocations = korax::bench::Allocations() - before;
        std::printf("%s %d tags, %zu requests: %d steps, %llu allocations, %lld reports\n", argv[1], count,
                    steady.object.PollList().size(), steps, static_cast<unsigned long long>(allocations),
                    static_cast<long long>(steady.sink.reports));
        return (allocations == 0 || traced) && steady.sink.reports == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan_cost: %s\n", error.what());
        return 2;
    }
}
