// What one OnDataRead costs (the scan step and the change detection of the driver object, on a board that
// answers at once) in the steady state (every tag due, nothing changed, forced reports spent), and what
// registering the tags costs in time and memory, for the layouts of Layouts.h. bench/report runs it and
// turns the run into the README's table.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <filesystem>
#include <memory>

#include "boards/PortTrace.h"

#include "Layouts.h"
#include "support/FakeClock.h"

namespace {

using korax::bench::Layout;

const int DeviceChannels = static_cast<int>(korax::bench::DeviceChannels().size());

// Bytes the allocator hands out for a registered object, per tag.
double BytesPerTag(Layout layout, int count) {
    korax::test::FakeClock clock;
    const auto block = korax::bench::BlockFor(layout);
    auto tags = korax::bench::TagsFor(layout, count);
    korax::bench::QuietBus bus;
    const std::size_t before = mallinfo2().uordblks;
    auto object = std::make_unique<korax::boards::TDLLObject>(clock, true, &bus);
    object->Initialise(block.get(), tags.List());
    const std::size_t after = mallinfo2().uordblks;
    return static_cast<double>(after - before) / count;
}

void OnDataRead(benchmark::State& state, Layout layout) {
    const int count = static_cast<int>(state.range(0));
    korax::test::FakeClock clock;
    korax::bench::SteadyObject steady(layout, count, clock);
    const std::uint64_t allocationsBefore = korax::bench::Allocations();
    for (auto _ : state) steady.Step(clock);
    const auto allocations = korax::bench::Allocations() - allocationsBefore;
    if (steady.sink.reports != 0) state.SkipWithError("the steady state reported tags");
    state.counters["tags"] = count;
    state.counters["channels"] = layout == Layout::Device ? DeviceChannels : 16;
    state.counters["requests"] = static_cast<double>(steady.object.PollList().size());
    state.counters["allocs_per_step"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations());
    state.counters["bytes_per_tag"] = BytesPerTag(layout, count);
}

// The same steady state with the port trace on (ports, requests and messages, into a file in the temporary
// folder): the trace must cost at most twice as much again as the step itself.
void OnDataReadTraced(benchmark::State& state, Layout layout) {
    const int count = static_cast<int>(state.range(0));
    korax::test::FakeClock clock;
    const auto file = std::filesystem::temp_directory_path() / "korax24-bench.trace";
    korax::boards::TraceFile trace(korax::boards::TraceSettings{.File = file.string()},
                                   clock); // outlives the object
    korax::bench::SteadyObject steady(layout, count, clock);
    steady.object.TraceTo(trace);
    for (auto _ : state) steady.Step(clock);
    state.counters["tags"] = count;
}

void IniDriver(benchmark::State& state, Layout layout) {
    const int count = static_cast<int>(state.range(0));
    korax::test::FakeClock clock;
    const auto block = korax::bench::BlockFor(layout);
    auto tags = korax::bench::TagsFor(layout, count);
    korax::bench::QuietBus bus;
    for (auto _ : state) {
        auto object = std::make_unique<korax::boards::TDLLObject>(clock, true, &bus);
        const bool loaded = object->Initialise(block.get(), tags.List());
        benchmark::DoNotOptimize(loaded);
        state.PauseTiming();
        object.reset();
        state.ResumeTiming();
    }
    state.counters["tags"] = count;
}

void Register() {
    for (const Layout layout : {Layout::Shared, Layout::Device}) {
        const std::string name(korax::bench::NameOf(layout));
        auto* read = benchmark::RegisterBenchmark(("OnDataRead/" + name).c_str(), OnDataRead, layout);
        read->Arg(100)->Arg(65535);
        if (layout == Layout::Device) read->Arg(DeviceChannels)->Arg(5 * DeviceChannels);
        benchmark::RegisterBenchmark(("OnDataReadTraced/" + name).c_str(), OnDataReadTraced, layout)
            ->Arg(100)
            ->Arg(65535);
        benchmark::RegisterBenchmark(("IniDriver/" + name).c_str(), IniDriver, layout)
            ->Arg(16384)
            ->Arg(65535)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
