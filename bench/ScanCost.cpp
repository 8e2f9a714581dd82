// Runs a fixed number of steady-state OnDataRead steps of one layout and tag count, for the
// instruction-count check (ScanCostCheck.cmake runs it under callgrind, which counts the instructions of
// the steps alone). Exits 1 when the steps allocate or report anything: the steady state does neither.
//   scan_cost LAYOUT TAGS STEPS     (LAYOUT: shared or device)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "Layouts.h"
#include "support/FakeClock.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: scan_cost shared|device TAGS STEPS\n");
        return 2;
    }
    try {
        const korax::bench::Layout layout = korax::bench::LayoutNamed(argv[1]);
        const int count = std::stoi(argv[2]);
        const int steps = std::stoi(argv[3]);
        korax::test::FakeClock clock;
        korax::bench::SteadyObject steady(layout, count, clock);
        const std::uint64_t before = korax::bench::Allocations();
        CALLGRIND_START_INSTRUMENTATION;
        for (int i = 0; i < steps; ++i) steady.Step(clock);
        CALLGRIND_STOP_INSTRUMENTATION;
        const std::uint64_t allocations = korax::bench::Allocations() - before;
        std::printf("%s %d tags, %zu requests: %d steps, %llu allocations, %lld reports\n", argv[1], count,
                    steady.object.PollList().size(), steps, static_cast<unsigned long long>(allocations),
                    static_cast<long long>(steady.sink.reports));
        return allocations == 0 && steady.sink.reports == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan_cost: %s\n", error.what());
        return 2;
    }
}
